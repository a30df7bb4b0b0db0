// The built intro-tiny: how the program links (read from the unpacked program), how big the
// shipping file is, and how the shipping file ends when a library, a function or an SDL step
// fails. None of this needs a display.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace {

const std::string exe = TINY_EXE;        // the program as linked
const std::string shipped = TINY_PACKED;  // the shipping file: the program packed

struct run_result {
    int status = -1;   // exit status, or -1 when the process did not exit normally
    int signal = 0;    // the signal that ended it, if one did
    std::string out;   // stdout and stderr together
};

run_result run(const std::string& cmd) {
    run_result r;
    FILE* p = popen((cmd + " 2>&1").c_str(), "r");
    if (!p) return r;
    char buf[512];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, p)) > 0) r.out.append(buf, n);
    int st = pclose(p);
    if (WIFEXITED(st)) r.status = WEXITSTATUS(st);
    if (WIFSIGNALED(st)) r.signal = WTERMSIG(st);
    return r;
}

std::vector<std::string> lines_of(const std::string& text) {
    std::vector<std::string> v;
    std::istringstream in(text);
    for (std::string l; std::getline(in, l);) v.push_back(l);
    return v;
}

std::vector<std::string> needed() {
    std::vector<std::string> libs;
    for (const std::string& l : lines_of(run("readelf -D -d -W " + exe).out)) {
        auto at = l.find("(NEEDED)");
        if (at == std::string::npos) continue;
        auto b = l.find('[', at), e = l.find(']', at);
        libs.push_back(l.substr(b + 1, e - b - 1));
    }
    return libs;
}

// Undefined dynamic symbols, without their version suffix.
std::set<std::string> imports() {
    std::set<std::string> syms;
    for (const std::string& l : lines_of(run("readelf -D -s -W " + exe).out)) {
        std::istringstream f(l);
        std::string num, value, size, type, bind, vis, ndx, name;
        if (!(f >> num >> value >> size >> type >> bind >> vis >> ndx >> name)) continue;
        if (ndx == "UND") syms.insert(name.substr(0, name.find('@')));
    }
    return syms;
}

TEST(LinkShape, NeedsOnlyTheCLibrary) {
    EXPECT_EQ(needed(), std::vector<std::string>{"libc.so.6"});
}

TEST(LinkShape, ImportsExactlyDlopenAndDlsym) {
    EXPECT_EQ(imports(), (std::set<std::string>{"dlopen", "dlsym"}));
}

// Nothing runs static constructors in a program that enters at its own _start, so the loader must
// find none to run either.
TEST(LinkShape, HasNoStartupConstructorsAndNoExecutableStack) {
    std::string dynamic = run("readelf -D -d -W " + exe).out;
    ASSERT_NE(dynamic.find("(NEEDED)"), std::string::npos) << dynamic;
    for (const char* s : {"(INIT)", "(INIT_ARRAY)", "(PREINIT_ARRAY)", "(FINI)", "(FINI_ARRAY)"})
        EXPECT_EQ(dynamic.find(s), std::string::npos) << s;
    std::string segs = run("readelf -l -W " + exe).out;
    bool stack_ok = false;
    for (const std::string& l : lines_of(segs))
        if (l.find("GNU_STACK") != std::string::npos) stack_ok = l.find("RWE") == std::string::npos;
    EXPECT_TRUE(stack_ok) << segs;
}

// The size budget is kept with g++, the toolchain intro-tiny is made with: the file that ships
// holds at most 4096 bytes.
TEST(Size, ShippedFileAtMost4096Bytes) {
    if (!TINY_BY_GCC) GTEST_SKIP() << "intro-tiny built by another compiler; its size budget holds for g++";
    struct stat st {};
    ASSERT_EQ(stat(shipped.c_str(), &st), 0);
    EXPECT_GT(st.st_size, 0);
    EXPECT_LE(st.st_size, 4096);
}

// A shipping file made from a copy of the program with every occurrence of `from` replaced by
// `to` (same length), packed as the build packs the program.
std::string patched(const std::string& from, const std::string& to, const std::string& tag) {
    std::ifstream in(exe, std::ios::binary);
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    int hits = 0;
    for (size_t at = 0; (at = bytes.find(from, at)) != std::string::npos; at += to.size(), hits++) bytes.replace(at, to.size(), to);
    EXPECT_GT(hits, 0) << from;
    std::string path = testing::TempDir() + "intro-tiny-" + tag;
    std::ofstream(path + "-unpacked", std::ios::binary) << bytes;
    run_result r = run(std::string(VPACK) + " --effort 0 " + STUB + " " + path + "-unpacked " + path);
    EXPECT_EQ(r.status, 0) << r.out;
    return path;
}

// Runs a program with the given environment additions, away from any display, bounded in time.
run_result run_tiny(const std::string& path, const std::string& env = "") {
    return run("env -u DISPLAY " + env + " timeout 60 " + path);
}

TEST(BindFailure, UnopenableSdlIsNamedAndStatusIs1) {
    run_result r = run_tiny(patched("libSDL", "libXDL", "nosdl"));
    EXPECT_EQ(r.signal, 0);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "intro-tiny: cannot open libXDL.so\n");
}

TEST(BindFailure, UnopenableGlIsNamedAndStatusIs1) {
    run_result r = run_tiny(patched("libGL.so", "libGX.so", "nogl"));
    EXPECT_EQ(r.signal, 0);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "intro-tiny: cannot open libGX.so\n");
}

TEST(BindFailure, MissingFunctionIsNamedAndStatusIs1) {
    run_result sdl = run_tiny(patched("SDL_PollEvent", "SDL_PollEvenX", "nopoll"));
    EXPECT_EQ(sdl.signal, 0);
    EXPECT_EQ(sdl.status, 1);
    EXPECT_EQ(sdl.out, "intro-tiny: cannot find SDL_PollEvenX\n");
    run_result gl = run_tiny(patched("glFrustum", "glFrustuX", "nofrustum"));
    EXPECT_EQ(gl.status, 1);
    EXPECT_EQ(gl.out, "intro-tiny: cannot find glFrustuX\n");
}

// SDL itself failing: the step is named with SDL's reason, SDL is shut down, status 1. SDL may
// add its own diagnostics, so the step's line is looked for among the others.
bool has_line(const std::string& out, const std::string& start) {
    for (const std::string& l : lines_of(out))
        if (l.rfind(start, 0) == 0 && l.size() > start.size()) return true;
    return false;
}

TEST(SdlFailure, EachFailingStepIsNamedAndStatusIs1) {
    struct step {
        const char* env;
        const char* line;
    } steps[] = {
        {"SDL_VIDEODRIVER=vintelo-none SDL_AUDIODRIVER=dummy", "intro-tiny: SDL_Init failed: "},
        {"SDL_VIDEODRIVER=dummy SDL_AUDIODRIVER=disk SDL_DISKAUDIOFILE=/nonexistent-dir/out.raw", "intro-tiny: SDL_OpenAudio failed: "},
        {"SDL_VIDEODRIVER=dummy SDL_AUDIODRIVER=dummy", "intro-tiny: SDL_SetVideoMode failed: "},  // no OpenGL there
    };
    for (const step& s : steps) {
        run_result r = run_tiny(shipped, s.env);
        EXPECT_EQ(r.signal, 0) << s.line;
        EXPECT_EQ(r.status, 1) << s.line;
        EXPECT_TRUE(has_line(r.out, s.line)) << s.line << " in: " << r.out;
    }
}

}  // namespace
