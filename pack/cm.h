#pragma once
// The packer's compressor: a bitwise context-mixing coder small enough to decode in a few hundred
// bytes of machine code. Every bit of the image is predicted by nmodels context models, each
// keeping two small counts (zeros and ones seen) per context; the counts are mixed with fixed
// weights into one probability, and a binary range coder codes the bit with it. Integer
// arithmetic only, so the stub decodes exactly what this encoder assumed on any x86-64 machine.
// The stub (stub.asm) repeats every step here, in the same order; both must change together.
#include <array>
#include <cstdint>
#include <vector>

using bytes = std::vector<uint8_t>;

inline constexpr int nmodels = 12;         // context models, fixed: the stub loops over all of them
inline constexpr int table_bits = 24;      // counter table of 2^24 two-byte entries (32 MiB)
inline constexpr uint64_t hash_mul = 0x9E3779B97F4A7C15;  // hash multiplier: odd, bits well spread
inline constexpr uint32_t sum_mul = 117;   // checksum multiplier
inline constexpr uint64_t image_at = 0x800000;  // where the stub decodes the coded data

// One context model: which of the 8 previous bytes form its context (see context_mask) and how
// much its counts weigh in the mix (1..255). Models with the same mask and weight share counters.
struct model {
    uint8_t mask;
    uint8_t weight;
};
using model_set = std::array<model, nmodels>;

// The bytes of the 8 preceding bytes (as one little-endian word: lowest byte 8 back, highest byte
// 1 back) that mask m selects: bit j of m keeps byte j of the word.
uint64_t context_mask(uint8_t m);

// Address transform of x86 code: relative address fields are replaced by field + its address
// (forward) or back (inverse), the address being where the field lies when the stub has decoded
// b at `at`. Repeated calls or loads of one target then share one byte pattern. The fields: the
// four bytes after E8 (call rel32), and after a RIP-relative ModRM byte (mod 00, r/m 101) that
// follows FF (call/jmp/push/inc/dec r/m), 89, 8B, 8D, 8F (mov, lea, pop) or the two bytes of a
// 0F opcode. The scan reads one byte as the opcode; after 0F it takes the next as the opcode's
// second byte, and after FF, 89, 8B, 8D, 8F or 0F xx the next as the ModRM byte, whatever it
// is; it skips the four bytes it changed. Past the end it reads zeros; near the end only the
// field's bytes inside the data change: the low bytes of a sum do not depend on the high ones.
void addr_forward(bytes& b, uint64_t at = image_at);
void addr_inverse(bytes& b, uint64_t at = image_at);

// Checksum of coded data as the stub computes it while decoding: h = (h + byte) * sum_mul from
// h = 0. The length is fixed and checked apart: each position weighs by its own power of sum_mul.
uint32_t checksum(const bytes& b);

// Codes data with the given models; the bit stream is packed least significant bit first, and
// its trailing zero bits are left out.
bytes encode(const model_set& ms, const bytes& data);
// Length in bits of encode(ms, data), without building the stream (the parameter search's measure).
uint64_t coded_bits(const model_set& ms, const bytes& data);
// Decodes n bytes; reads past the end of the stream as zero bits, as the stub does.
bytes decode(const model_set& ms, const bytes& stream, uint32_t n);

// Improves a model set for data by local moves (one mask bit flipped, a weight changed), keeping
// each move that shortens the stream, until none does or `effort` trial encodings are spent.
// Deterministic: the same data and start give the same set.
model_set refine(const bytes& data, model_set start, int effort);
