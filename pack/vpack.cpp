// vpack: makes a self-unpacking executable. It codes an image (normally an ELF program) with the
// context-mixing coder of cm.h and writes the unpacking stub, with its fields filled in, followed
// by the model set and the coded stream. Run, the file decodes the image in memory, checks its
// length and checksum and executes it in place of itself.
//
//   vpack [--effort N] STUB IMAGE OUTPUT
//
// STUB is the assembled stub.asm (or its dump variant, which writes the image to stdout instead).
// --effort bounds the trial encodings spent tuning the model set for this image (default 300).
#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>

#include "cm.h"
#include "stub_layout.h"

namespace {

// A model set tuned on intro-tiny (greedy growth, then refine): the starting point for any
// image. Pairs that repeat share their counters, which then learn twice as fast.
constexpr model_set start_set = {{
    {0x88, 3}, {0x40, 1}, {0x98, 5}, {0xC0, 2}, {0x20, 1}, {0x85, 4}, {0x00, 1},
    {0xC0, 2}, {0xA0, 4}, {0x4C, 4}, {0x60, 2}, {0x90, 3}, {0x85, 4}, {0x80, 3},
}};

[[noreturn]] void die(const std::string& why) {
    std::fprintf(stderr, "vpack: %s\n", why.c_str());
    std::exit(1);
}

bytes read_file(const char* path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) die(std::string("cannot read ") + path);
    return bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

template <typename T> void put(bytes& b, size_t at, T v) { std::memcpy(&b[at], &v, sizeof v); }

template <typename T> T get(const bytes& b, size_t at) {
    T v;
    std::memcpy(&v, &b[at], sizeof v);
    return v;
}

// The stub must be one this packer knows: its fields still empty where the packer writes.
void check_stub(const bytes& stub) {
    if (stub.size() < stub_layout::code_start + 2 * nmodels || std::memcmp(stub.data(), "\x7F" "ELF\x02", 5) != 0)
        die("the stub is not a 64-bit ELF header with code");
    if (get<uint32_t>(stub, stub_layout::length) || get<uint32_t>(stub, stub_layout::sum) ||
        get<uint64_t>(stub, stub_layout::filesz) || get<uint64_t>(stub, stub_layout::memsz) < stub_layout::memsz_min)
        die("the stub's fields are not where this packer writes them");
    for (size_t i = stub.size() - 2 * nmodels; i < stub.size(); ++i)
        if (stub[i]) die("the stub does not end in an empty model set");
}

}  // namespace

int main(int argc, char** argv) {
    int effort = 300;
    int a = 1;
    if (argc > 2 && std::strcmp(argv[1], "--effort") == 0) {
        effort = std::atoi(argv[2]);
        a = 3;
    }
    if (argc - a != 3) die("usage: vpack [--effort N] STUB IMAGE OUTPUT");
    bytes stub = read_file(argv[a]);
    bytes image = read_file(argv[a + 1]);
    check_stub(stub);
    if (image.empty() || image.size() > stub_layout::max_image) die("the image must hold 1 to 65535 bytes");

    bytes coded = image;
    e8_forward(coded);
    model_set ms = refine(coded, start_set, effort);
    bytes stream = encode(ms, coded);
    // What the stub will do, done here first: a coder fault must not ship.
    bytes back = decode(ms, stream, uint32_t(coded.size()));
    e8_inverse(back);
    if (back != image) die("internal error: the stream does not decode to the image");

    bytes out = stub;
    size_t at = out.size() - 2 * nmodels;
    for (const model& m : ms) {
        out[at++] = m.mask;
        out[at++] = m.weight;
    }
    out.insert(out.end(), stream.begin(), stream.end());
    if (out.size() > stub_layout::max_file) die("the packed file is too large for the stub's memory map");
    put(out, stub_layout::length, uint16_t(image.size()));
    put(out, stub_layout::sum, checksum(coded));
    put(out, stub_layout::filesz, uint64_t(out.size()));

    std::ofstream o(argv[a + 2], std::ios::binary | std::ios::trunc);
    o.write(reinterpret_cast<const char*>(out.data()), std::streamsize(out.size()));
    o.close();
    if (!o || chmod(argv[a + 2], 0755) != 0) die(std::string("cannot write ") + argv[a + 2]);
    std::printf("vpack: %zu-byte image -> %zu-byte stub + %zu models + %zu-byte stream = %zu bytes\n",
                image.size(), stub.size() - 2 * nmodels, size_t(2 * nmodels), stream.size(), out.size());
    return 0;
}
