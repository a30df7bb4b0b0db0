// libFuzzer target: the packed file's path through vpack's host decoder. An input is what follows
// the stub in a packed file, with the image length put in front of the stream as the stub finds
// it in its header: the model set (mask and weight of each model), the 16-bit length, the coded
// stream. Any such input must decode without a crash, a hang or a read outside the stream; and
// whatever it decodes to must code and decode back to itself under the same models.
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "cm.h"

namespace {

constexpr size_t set_len = 2 * nmodels;  // mask and weight of each model
constexpr size_t head_len = set_len + 2; // and the image length, 16 bits little-endian
constexpr uint32_t max_fuzz_len = 2048;  // longest image decoded; every step of the decoder is reached well within it

#define check(cond)                                                                            \
    do {                                                                                       \
        if (!(cond)) {                                                                         \
            fprintf(stderr, "fuzz-unpack: %s:%d: failed: %s\n", __FILE__, __LINE__, #cond);  \
            abort();                                                                           \
        }                                                                                      \
    } while (0)

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < head_len)
        return 0;
    model_set ms;
    for (int i = 0; i < nmodels; i++)
        ms[i] = {data[2 * i], data[2 * i + 1]};
    // Every length the header can give would do, but a long one costs the fuzzer time and reaches
    // nothing new: the decoder's steps do not depend on the length. Taken modulo 2049.
    const uint32_t n = (data[set_len] | uint32_t(data[set_len + 1]) << 8) % (max_fuzz_len + 1);
    const bytes stream(data + head_len, data + size);

    const bytes image = decode(ms, stream, n);
    check(image.size() == n);
    checksum(image);  // what the stub compares with the header's sum
    bytes program = image;
    addr_inverse(program);  // the program the stub would run
    addr_forward(program);
    check(program == image);

    // The packer's own check, on any data: what it codes decodes back to it.
    const bytes coded = encode(ms, image);
    check((coded_bits(ms, image) + 7) / 8 == coded.size());
    check(decode(ms, coded, n) == image);
    return 0;
}
