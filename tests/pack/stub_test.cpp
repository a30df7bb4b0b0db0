// Packed files run for real: the shipping intro-tiny's payload decodes to the program as linked,
// other programs run in place of the stub (same process, arguments, environment, status), and
// a damaged file or a refused system call ends in one line and status 1, never a crash or a hang.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "../../pack/cm.h"
#include "../../pack/stub_layout.h"

namespace {

using bytes_t = std::vector<uint8_t>;

bytes_t read(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return bytes_t((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

std::string write_exe(const std::string& name, const bytes_t& b) {
    std::string path = testing::TempDir() + name;
    std::ofstream(path, std::ios::binary | std::ios::trunc).write(reinterpret_cast<const char*>(b.data()), b.size());
    chmod(path.c_str(), 0755);
    return path;
}

struct result {
    int status = -1;  // exit status, or -1 if the process did not exit
    int signal = 0;   // the signal that ended it
    bool hung = false;
    pid_t pid = 0;
    std::string out, err;
};

// Runs argv[0] with the given arguments and extra environment; killed after 20 s (a hang).
result run(std::vector<std::string> argv, std::vector<std::string> env = {}) {
    int out[2], err[2];
    EXPECT_EQ(pipe2(out, O_CLOEXEC), 0);
    EXPECT_EQ(pipe2(err, O_CLOEXEC), 0);
    std::vector<char*> args, envs;
    for (std::string& a : argv) args.push_back(a.data());
    args.push_back(nullptr);
    for (char** e = environ; *e; ++e) envs.push_back(*e);
    for (std::string& e : env) envs.push_back(e.data());
    envs.push_back(nullptr);
    result r;
    r.pid = fork();
    if (r.pid == 0) {
        dup2(out[1], 1);
        dup2(err[1], 2);
        execve(args[0], args.data(), envs.data());
        _exit(127);
    }
    close(out[1]);
    close(err[1]);
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    pollfd fds[2] = {{out[0], POLLIN, 0}, {err[0], POLLIN, 0}};
    for (int open = 2; open > 0;) {
        int left = int(std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now()).count());
        if (left <= 0 || poll(fds, 2, left) <= 0) {
            r.hung = true;
            kill(r.pid, SIGKILL);
            break;
        }
        for (int i = 0; i < 2; ++i) {
            if (!fds[i].revents) continue;
            char buf[4096];
            ssize_t n = ::read(fds[i].fd, buf, sizeof buf);
            if (n > 0) {
                (i ? r.err : r.out).append(buf, size_t(n));
            } else {
                fds[i].fd = -1;
                open--;
            }
        }
    }
    close(out[0]);
    close(err[0]);
    int st = 0;
    waitpid(r.pid, &st, 0);
    if (WIFEXITED(st)) r.status = WEXITSTATUS(st);
    if (WIFSIGNALED(st)) r.signal = WTERMSIG(st);
    return r;
}

// Packs a file with vpack and the given stub; returns the packed file's path.
std::string pack(const std::string& stub, const std::string& image, const std::string& name) {
    std::string out = testing::TempDir() + name;
    result r = run({VPACK, "--effort", "0", stub, image, out});
    EXPECT_EQ(r.status, 0) << r.err;
    return out;
}

const std::string shipped = TINY_PACKED;

// A stub file's length without its tail: what a packed file starts with.
size_t head_size(const bytes_t& stub) {
    uint16_t tail;
    std::memcpy(&tail, &stub[stub_layout::tail], 2);
    return stub.size() - tail;
}

// The shipping file with its stub swapped for the dump stub: the same fields, models and stream.
bytes_t dump_twin(const bytes_t& packed) {
    bytes_t stub = read(STUB), dump = read(DUMP_STUB);
    size_t models = head_size(stub) - 2 * nmodels;  // the model set follows the stub's code
    EXPECT_GT(packed.size(), head_size(stub));
    bytes_t twin(dump.begin(), dump.begin() + long(head_size(dump) - 2 * nmodels));
    twin.insert(twin.end(), packed.begin() + long(models), packed.end());
    std::memcpy(&twin[stub_layout::length], &packed[stub_layout::length], 2);
    std::memcpy(&twin[stub_layout::sum], &packed[stub_layout::sum], 4);
    uint64_t size = twin.size();
    std::memcpy(&twin[stub_layout::filesz], &size, 8);
    return twin;
}

// The stub's own bytes, as the README's size table gives them: a growth is noticed here, a
// saving updates both.
TEST(Stub, SizeIsPinned) {
    bytes_t stub = read(STUB);
    EXPECT_EQ(head_size(stub) - 2 * nmodels, 400u) << "the stub proper (in the file)";
    EXPECT_EQ(stub.size() - head_size(stub), 164u) << "the tail (coded ahead of the image)";
}

// The program holds every kind of address field the transform changes (calls, calls through
// the binder's slots, RIP-relative loads and SSE operands), so all of them come back here.
TEST(Shipped, PayloadDecodesToTheProgramAsLinked) {
    bytes_t program = read(TINY_UNPACKED);
    for (bytes_t form : {bytes_t{0xE8}, bytes_t{0xFF, 0x15}, bytes_t{0x8B, 0x05}, bytes_t{0xF3, 0x0F, 0x10, 0x05}}) {
        EXPECT_NE(std::search(program.begin(), program.end(), form.begin(), form.end()), program.end())
            << "no " << std::hex << int(form[0]) << " form in the program";
    }
    bytes_t packed = read(shipped);
    ASSERT_EQ(bytes_t(packed.begin(), packed.begin() + 4), (bytes_t{0x7F, 'E', 'L', 'F'}));
    result r = run({write_exe("twin", dump_twin(packed))});
    EXPECT_EQ(r.status, 0) << r.err;
    ASSERT_EQ(r.out.size(), program.size());
    EXPECT_TRUE(std::equal(program.begin(), program.end(), reinterpret_cast<const uint8_t*>(r.out.data())));
}

TEST(Packed, RunsInPlaceOfTheStubWithArgumentsEnvironmentAndStatus) {
    std::string exe = pack(STUB, PROBE, "probe-packed");
    result r = run({exe, "7", "two words", ""}, {"VINTELO_PROBE=seen"});
    EXPECT_EQ(r.signal, 0);
    EXPECT_EQ(r.status, 7);
    EXPECT_EQ(r.out, "pid " + std::to_string(r.pid) + "\narg 7\narg two words\narg \nenv seen\n");
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(run({exe, "0"}).status, 0);
}

TEST(Packed, RandomDataComesBackThroughTheDumpStub) {
    std::mt19937 rng(11);
    size_t room = stub_layout::max_decoded - (read(DUMP_STUB).size() - head_size(read(DUMP_STUB)));
    for (size_t n : {size_t(1), size_t(3), size_t(1000), size_t(20000), room}) {
        bytes_t d(n);
        for (uint8_t& b : d) b = uint8_t(rng() % (n % 2 ? 256 : 5));
        std::string exe = pack(DUMP_STUB, write_exe("random", d), "random-packed");
        result r = run({exe});
        EXPECT_EQ(r.status, 0) << n << " bytes: " << r.err;
        EXPECT_TRUE(r.out.size() == d.size() && std::equal(d.begin(), d.end(), reinterpret_cast<const uint8_t*>(r.out.data())))
            << n << " bytes";
    }
}

// The packer's check through the dump stub: a decoder that differs from the host coder (here the
// dump stub with another hash multiplier) fails the pack with one line, and nothing is written.
TEST(Check, DecoderThatDiffersFromTheCoderFailsThePack) {
    bytes_t drifted = read(DUMP_STUB);
    const uint8_t mul[8] = {0x15, 0x7C, 0x4A, 0x7F, 0xB9, 0x79, 0x37, 0x9E};  // hash_mul, little-endian
    auto at = std::search(drifted.begin(), drifted.end(), mul, mul + 8);
    ASSERT_NE(at, drifted.end());
    *at ^= 2;
    std::string out = testing::TempDir() + "checked";
    unlink(out.c_str());
    result r = run({VPACK, "--effort", "0", "--check", write_exe("drifted", drifted), STUB, PROBE, out});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "vpack: the dump stub does not decode the packed file to the image: the coder and the stub differ\n");
    EXPECT_NE(access(out.c_str(), F_OK), 0);
    r = run({VPACK, "--effort", "0", "--check", DUMP_STUB, STUB, PROBE, out});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(read(out), read(pack(STUB, PROBE, "unchecked")));
}

// Every form of the address transform, and one cut by the end, undone by the stub's own code.
TEST(Packed, EachAddressFormComesBackThroughTheDumpStub) {
    const bytes_t forms = {0xE8, 1, 2, 3, 4, 0xFF, 0x15, 5, 6, 7, 8, 0x8B, 0x05, 9, 0, 0, 0,
                           0x89, 0x3D, 1, 0, 0, 0, 0x8D, 0x0D, 0xF0, 0xFF, 0xFF, 0xFF, 0x8F, 0x05, 2, 0, 0, 0,
                           0x0F, 0x10, 0x05, 3, 0, 0, 0, 0x0F, 0xE8, 0x05, 4, 0, 0, 0, 0x8B, 0xE8, 1, 2, 3, 4};
    for (const bytes_t& end : {bytes_t{}, bytes_t{0xFF, 0x15, 0x34, 0x12}, bytes_t{0x0F, 0x10, 0x05, 0x78}, bytes_t{0x0F}}) {
        bytes_t d;
        for (int i = 0; i < 20; ++i) d.insert(d.end(), forms.begin(), forms.end());
        d.insert(d.end(), end.begin(), end.end());
        std::string exe = pack(DUMP_STUB, write_exe("forms", d), "forms-packed");
        result r = run({exe});
        EXPECT_EQ(r.status, 0) << r.err;
        EXPECT_TRUE(r.out.size() == d.size() && std::equal(d.begin(), d.end(), reinterpret_cast<const uint8_t*>(r.out.data())))
            << "ending in " << end.size() << " bytes of a form";
    }
}

// The image and the tail share the 16-bit length.
TEST(Packed, ImageTooLargeIsRefusedByThePacker) {
    size_t room = stub_layout::max_decoded - (read(STUB).size() - head_size(read(STUB)));
    bytes_t d(room + 1, 0x90);
    result r = run({VPACK, STUB, write_exe("too-large", d), testing::TempDir() + "too-large-packed"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "vpack: the image must hold 1 to " + std::to_string(room) + " bytes\n");
}

// --help is a question, not a mistake: the usage on standard output and status 0. Wrong
// arguments give it on standard error with status 1.
TEST(Packer, HelpOnStandardOutput) {
    for (const char* flag : {"--help", "-h"}) {
        result r = run({VPACK, flag});
        EXPECT_EQ(r.status, 0) << flag;
        EXPECT_EQ(r.out.rfind("usage: vpack [--effort N] [--check DUMP_STUB] STUB IMAGE OUTPUT\n", 0), 0u) << r.out;
        EXPECT_EQ(r.err, "");
    }
    result r = run({VPACK, "stub-only"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err.rfind("vpack: usage: vpack ", 0), 0u) << r.err;
}

void expect_refused(const result& r, const std::string& line) {
    EXPECT_FALSE(r.hung);
    EXPECT_EQ(r.signal, 0);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, line);
    EXPECT_EQ(r.out, "");
}

TEST(Damaged, TruncatedFileIsRefused) {
    bytes_t packed = read(shipped);
    size_t stub_end = head_size(read(STUB));
    for (size_t keep : {packed.size() - 1, packed.size() - 100, (packed.size() + stub_end) / 2, stub_end + 1}) {
        SCOPED_TRACE(keep);
        expect_refused(run({write_exe("cut", bytes_t(packed.begin(), packed.begin() + long(keep)))}),
                       "intro-tiny: damaged file\n");
    }
}

// A model's mask, the stream's first byte, one in its middle. (The stream's last bits may carry
// more precision than the decoder needs: changing them can leave the image intact.)
TEST(Damaged, FlippedPayloadByteIsRefused) {
    bytes_t packed = read(shipped);
    size_t stub_end = head_size(read(STUB));
    for (size_t at : {stub_end - 2 * nmodels, stub_end, (stub_end + packed.size()) / 2}) {
        bytes_t b = packed;
        b[at] ^= 0xFF;
        SCOPED_TRACE(at);
        expect_refused(run({write_exe("flipped", b)}), "intro-tiny: damaged file\n");
    }
}

TEST(Damaged, FlippedLengthByteIsRefused) {
    bytes_t packed = read(shipped);
    for (size_t at : {stub_layout::length, stub_layout::length + 1}) {
        bytes_t b = packed;
        b[at] ^= 0xFF;
        SCOPED_TRACE(at);
        expect_refused(run({write_exe("length", b)}), "intro-tiny: damaged file\n");
    }
}

// The three steps and their messages travel coded ahead of the image: the names are nowhere in
// the file in plain, and still each failing step is named.
TEST(Refused, EachSystemCallThatFailsIsNamed) {
    bytes_t packed = read(shipped);
    for (const char* call : {"memfd_create", "write", "execveat"}) {
        SCOPED_TRACE(call);
        EXPECT_EQ(std::search(packed.begin(), packed.end(), call, call + std::strlen(call)), packed.end());
        expect_refused(run({REFUSE, call, shipped}), std::string("intro-tiny: ") + call + " failed\n");
    }
}

}  // namespace
