// Start-up of intro-tiny, packed against unpacked: the time from the exec of the file to its
// first SDL call, with a stand-in for SDL and OpenGL (stand_in.c) that stops the program there.
// The difference is what unpacking costs: decoding, the in-memory file and the second exec.
#include <benchmark/benchmark.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <string>

namespace {

int64_t now_ns() {
    timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return int64_t(ts.tv_sec) * 1000000000 + ts.tv_nsec;
}

// Nanoseconds from just before the exec to SDL_Init, or -1 when the program did not get there.
int64_t startup(const char* exe) {
    int fds[2];
    if (pipe(fds) != 0) return -1;
    pid_t pid = fork();
    if (pid == 0) {
        close(fds[0]);
        std::string fd = std::to_string(fds[1]);
        setenv("STARTUP_FD", fd.c_str(), 1);
        setenv("LD_LIBRARY_PATH", STAND_IN_DIR, 1);
        int64_t t0 = now_ns();
        if (write(fds[1], &t0, sizeof t0) != sizeof t0) _exit(3);
        execl(exe, exe, static_cast<char*>(nullptr));
        _exit(4);
    }
    close(fds[1]);
    int64_t t[2];
    ssize_t got = read(fds[0], &t[0], sizeof t[0]);
    got += read(fds[0], &t[1], sizeof t[1]);
    close(fds[0]);
    int st = 0;
    waitpid(pid, &st, 0);
    if (got != sizeof t || !WIFEXITED(st) || WEXITSTATUS(st) != 0) return -1;
    return t[1] - t[0];
}

void BM_startup(benchmark::State& state, const char* exe) {
    for (auto _ : state) {
        int64_t ns = startup(exe);
        if (ns < 0) {
            state.SkipWithError("the program did not reach SDL_Init");
            break;
        }
        state.SetIterationTime(double(ns) / 1e9);
    }
}

}  // namespace

BENCHMARK_CAPTURE(BM_startup, unpacked, TINY_UNPACKED)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(30);
BENCHMARK_CAPTURE(BM_startup, packed, TINY_PACKED)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(30);
