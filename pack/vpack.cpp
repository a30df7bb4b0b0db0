// vpack: makes a self-unpacking executable. It codes the stub's tail and an image (normally an
// ELF program) with the context-mixing coder of cm.h and writes the unpacking stub, with its
// fields filled in, followed by the model set and the coded stream. Run, the file decodes tail
// and image in memory, checks their length and checksum, and the tail executes the image in
// place of the process.
//
//   vpack [--effort N] [--check DUMP_STUB] STUB IMAGE OUTPUT
//
// STUB is the assembled stub.asm, tail included (or its dump variant, which writes the image to
// stdout instead of running the tail).
// --effort bounds the trial encodings spent tuning the model set for this image (default 300).
// --check runs the packed file's payload through the dump stub, the stub's own decoder, before
// anything is written: a host coder that drifts from the stub then fails here, not in users' hands.
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>

#include "cm.h"
#include "stub_layout.h"

namespace {

// A model set tuned on intro-tiny behind the stub's tail (greedy growth, then refine, then
// refine again from the best found as the tail changed; two more models bought nothing): the
// starting point for any image.
constexpr model_set start_set = {{
    {0x88, 3}, {0x40, 1}, {0x99, 3}, {0xC0, 2}, {0x30, 1}, {0x85, 4},
    {0x00, 1}, {0xA0, 3}, {0x4C, 4}, {0x60, 2}, {0x90, 2}, {0x80, 2},
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

// A stub file split in two: the stub proper, which goes into the packed file, and the tail,
// which is coded ahead of the image.
struct stub_file {
    bytes head, tail;
};

// The stub must be one this packer knows: its fields still empty where the packer writes, and
// the tail's length inside the file.
stub_file split_stub(const bytes& stub) {
    if (stub.size() < stub_layout::code_start + 2 * nmodels || std::memcmp(stub.data(), "\x7F" "ELF\x02", 5) != 0)
        die("the stub is not a 64-bit ELF header with code");
    size_t tail = get<uint16_t>(stub, stub_layout::tail);
    if (get<uint16_t>(stub, stub_layout::length) || get<uint32_t>(stub, stub_layout::sum) ||
        get<uint64_t>(stub, stub_layout::filesz) || get<uint64_t>(stub, stub_layout::memsz) < stub_layout::memsz_min ||
        tail > stub.size() - stub_layout::code_start - 2 * nmodels)
        die("the stub's fields are not where this packer writes them");
    stub_file f{bytes(stub.begin(), stub.end() - long(tail)), bytes(stub.end() - long(tail), stub.end())};
    for (size_t i = f.head.size() - 2 * nmodels; i < f.head.size(); ++i)
        if (f.head[i]) die("the stub does not end in an empty model set");
    return f;
}

// The packed file with its stub swapped for another (the dump stub): the same fields, model set
// and stream.
bytes swap_stub(const bytes& packed, size_t head_size, const bytes& other) {
    bytes twin(other.begin(), other.end() - 2 * nmodels);
    twin.insert(twin.end(), packed.begin() + long(head_size - 2 * nmodels), packed.end());
    std::memcpy(&twin[stub_layout::length], &packed[stub_layout::length], 2);
    std::memcpy(&twin[stub_layout::sum], &packed[stub_layout::sum], 4);
    put(twin, stub_layout::filesz, uint64_t(twin.size()));
    return twin;
}

// Runs an executable held in memory (no file is made) and returns what it writes to stdout, or
// dies when it cannot be run or does not exit with status 0.
bytes run_in_memory(const bytes& exe) {
    int fd = memfd_create("vpack-check", MFD_CLOEXEC);
    int out[2];
    if (fd < 0 || write(fd, exe.data(), exe.size()) != ssize_t(exe.size()) || pipe(out) != 0)
        die(std::string("cannot run the dump stub: ") + std::strerror(errno));
    pid_t pid = fork();
    if (pid == 0) {
        dup2(out[1], 1);
        int null = open("/dev/null", O_WRONLY);  // its own complaint would be a second line
        if (null >= 0) dup2(null, 2);
        char* argv[] = {const_cast<char*>("vpack-check"), nullptr};
        fexecve(fd, argv, environ);
        _exit(127);
    }
    close(out[1]);
    close(fd);
    bytes got;
    uint8_t buf[65536];
    for (ssize_t n; (n = read(out[0], buf, sizeof buf)) != 0;) {
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) break;
        got.insert(got.end(), buf, buf + n);
    }
    close(out[0]);
    int st = 0;
    if (pid < 0 || waitpid(pid, &st, 0) != pid || !WIFEXITED(st) || WEXITSTATUS(st) != 0) return {};
    return got;
}

const char usage[] = "usage: vpack [--effort N] [--check DUMP_STUB] STUB IMAGE OUTPUT";

}  // namespace

int main(int argc, char** argv) {
    if (argc == 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
        std::printf("%s\n"
                    "Packs IMAGE behind STUB into OUTPUT, a file that decodes and runs it; --effort tunes the model\n"
                    "set (0: the built-in one), --check first decodes the result through the dump stub.\n",
                    usage);
        return 0;
    }
    int effort = 300;
    const char* dump_path = nullptr;
    int a = 1;
    for (; argc - a > 3 && argv[a][0] == '-'; a += 2) {
        if (std::strcmp(argv[a], "--effort") == 0)
            effort = std::atoi(argv[a + 1]);
        else if (std::strcmp(argv[a], "--check") == 0)
            dump_path = argv[a + 1];
        else
            break;
    }
    if (argc - a != 3) die(usage);
    stub_file stub = split_stub(read_file(argv[a]));
    bytes image = read_file(argv[a + 1]);
    stub_file dump;
    if (dump_path) {
        dump = split_stub(read_file(dump_path));
        if (dump.tail.size() != stub.tail.size()) die("the dump stub's tail differs from the stub's");
    }
    size_t room = stub_layout::max_decoded - stub.tail.size();
    if (image.empty() || image.size() > room) die("the image must hold 1 to " + std::to_string(room) + " bytes");

    // The tail as it is, then the image transformed where it will lie.
    uint64_t image_addr = image_at + stub.tail.size();
    bytes coded = stub.tail;
    bytes t = image;
    addr_forward(t, image_addr);
    coded.insert(coded.end(), t.begin(), t.end());
    model_set ms = refine(coded, start_set, effort);
    bytes stream = encode(ms, coded);
    // What the stub will do, done here first: a coder fault must not ship.
    bytes back = decode(ms, stream, uint32_t(coded.size()));
    bytes back_image(back.begin() + long(stub.tail.size()), back.end());
    addr_inverse(back_image, image_addr);
    if (!std::equal(stub.tail.begin(), stub.tail.end(), back.begin()) || back_image != image)
        die("internal error: the stream does not decode to the image");

    bytes out = stub.head;
    size_t at = out.size() - 2 * nmodels;
    for (const model& m : ms) {
        out[at++] = m.mask;
        out[at++] = m.weight;
    }
    out.insert(out.end(), stream.begin(), stream.end());
    if (out.size() > stub_layout::max_file) die("the packed file is too large for the stub's memory map");
    put(out, stub_layout::length, uint16_t(coded.size()));
    put(out, stub_layout::sum, checksum(coded));
    put(out, stub_layout::filesz, uint64_t(out.size()));
    if (dump_path && run_in_memory(swap_stub(out, stub.head.size(), dump.head)) != image)
        die("the dump stub does not decode the packed file to the image: the coder and the stub differ");

    std::ofstream o(argv[a + 2], std::ios::binary | std::ios::trunc);
    o.write(reinterpret_cast<const char*>(out.data()), std::streamsize(out.size()));
    o.close();
    if (!o || chmod(argv[a + 2], 0755) != 0) die(std::string("cannot write ") + argv[a + 2]);
    std::printf("vpack: %zu-byte image and %zu-byte tail -> %zu-byte stub + %zu models + %zu-byte stream = %zu bytes\n",
                image.size(), stub.tail.size(), stub.head.size() - 2 * nmodels, size_t(2 * nmodels), stream.size(),
                out.size());
    return 0;
}
