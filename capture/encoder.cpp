// Running ffmpeg: the encoder check, the spawn, the frame pipe and the exit status.
#include "encoder.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <spawn.h>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include "outputs.h"
#include "report.h"
#include "stop.h"

extern char** environ;

namespace {
// AAC for a master that a video site codes again: at this rate the music's own noise, not the
// coder's, sets what is heard (README).
const char aac_rate[] = "256k";
pid_t enc_pid;          // the running ffmpeg, or 0
int enc_pipe = -1;      // its standard input, or -1
size_t frame_bytes;     // one raw RGBA frame
int enc_log = -1;       // ffmpeg's messages, kept to name its failure
const char* enc_out;    // the file ffmpeg writes

// Spawns ffmpeg with argv in a process group of its own, so a Ctrl+C at the terminal reaches only
// this program, which then stops ffmpeg itself. Without stdin_fd it reads /dev/null; without
// stdout_fd its output goes where this program's goes. Every other descriptor is close-on-exec.
pid_t spawn(const char* const* argv, int stdin_fd, int stdout_fd, int stderr_fd)
{
    posix_spawn_file_actions_t fa;
    posix_spawn_file_actions_init(&fa);
    if (stdin_fd >= 0)
        posix_spawn_file_actions_adddup2(&fa, stdin_fd, 0);
    else
        posix_spawn_file_actions_addopen(&fa, 0, "/dev/null", O_RDONLY, 0);
    if (stdout_fd >= 0)
        posix_spawn_file_actions_adddup2(&fa, stdout_fd, 1);
    posix_spawn_file_actions_adddup2(&fa, stderr_fd, 2);
    posix_spawnattr_t at;
    posix_spawnattr_init(&at);
    posix_spawnattr_setpgroup(&at, 0);
    posix_spawnattr_setflags(&at, POSIX_SPAWN_SETPGROUP);
    pid_t pid = 0;
    int err = posix_spawnp(&pid, "ffmpeg", &fa, &at, const_cast<char* const*>(argv), environ);
    posix_spawn_file_actions_destroy(&fa);
    posix_spawnattr_destroy(&at);
    if (err == ENOENT)
        return fail("ffmpeg not found: the video needs the ffmpeg program (Debian package ffmpeg); "
                    "--wav and --frames work without it"), 0;
    if (err)
        return fail("cannot run ffmpeg: %s", std::strerror(err)), 0;
    return pid;
}

// Waits for pid; its wait status, 0 when it exited with status 0.
int reap(pid_t pid)
{
    int st = 0;
    while (waitpid(pid, &st, 0) < 0 && errno == EINTR) {
    }
    return st;
}

// How a process ended, as a message says it: "status 3", "killed by signal 9, SIGKILL".
const char* ending(int st)
{
    static char text[64];
    if (WIFSIGNALED(st)) {
        const char* name = sigabbrev_np(WTERMSIG(st));
        std::snprintf(text, sizeof text, "killed by signal %d, SIG%s", WTERMSIG(st), name ? name : "?");
    } else {
        std::snprintf(text, sizeof text, "status %d", WEXITSTATUS(st));
    }
    return text;
}

// An unnamed scratch file for ffmpeg's messages.
int scratch()
{
    FILE* f = std::tmpfile();
    if (!f)
        return -1;
    int fd = fcntl(fileno(f), F_DUPFD_CLOEXEC, 0);
    std::fclose(f);
    return fd;
}

// The last non-empty line ffmpeg wrote to its log, into out.
void last_line(int fd, char* out, size_t len)
{
    out[0] = 0;
    char buf[4096];
    off_t end = lseek(fd, 0, SEEK_END);
    off_t from = end > static_cast<off_t>(sizeof buf - 1) ? end - static_cast<off_t>(sizeof buf - 1) : 0;
    ssize_t n = pread(fd, buf, sizeof buf - 1, from);
    if (n <= 0)
        return;
    while (n > 0 && (buf[n - 1] == '\n' || buf[n - 1] == '\r'))
        n--;
    buf[n] = 0;
    const char* start = std::strrchr(buf, '\n');
    start = start ? start + 1 : buf;
    size_t keep = std::min(std::strlen(start), len - 1);
    std::memcpy(out, start, keep);
    out[keep] = 0;
}
}

bool encoder_check(const coding& c)
{
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0)
        return fail("cannot run ffmpeg: %s", std::strerror(errno));
    const char* argv[] = {"ffmpeg", "-hide_banner", "-encoders", nullptr};
    int devnull = open("/dev/null", O_WRONLY | O_CLOEXEC);
    pid_t pid = spawn(argv, -1, fds[1], devnull);
    close(fds[1]);
    close(devnull);
    std::string list;
    char buf[4096];
    ssize_t n;
    while ((n = read(fds[0], buf, sizeof buf)) > 0 || (n < 0 && errno == EINTR))
        if (n > 0)
            list.append(buf, static_cast<size_t>(n));
    close(fds[0]);
    if (!pid)
        return false;
    int st = reap(pid);
    if (st != 0)
        return fail("ffmpeg -encoders failed (%s)", ending(st));
    static const char* const lossy[] = {" libx264 ", " aac "}, * const lossless[] = {" ffv1 ", " flac "};
    for (const char* name : c.lossless ? lossless : lossy)
        if (list.find(name) == std::string::npos)
            return fail("ffmpeg has no%sencoder: install Debian's ffmpeg package", name);
    return true;
}

bool encoder_start(const char* out, const char* muxer, int w, int h, int fps, const char* music, const coding& c)
{
    frame_bytes = size_t{4} * w * h;
    enc_out = out;
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0)
        return fail("cannot run ffmpeg: %s", std::strerror(errno));
    enc_log = scratch();
    if (enc_log < 0) {
        close(fds[0]);
        close(fds[1]);
        return fail("cannot run ffmpeg: no scratch file for its messages: %s", std::strerror(errno));
    }
    char size[32], rate[16], crf[16];
    std::snprintf(size, sizeof size, "%dx%d", w, h);
    std::snprintf(rate, sizeof rate, "%d", fps);
    std::snprintf(crf, sizeof crf, "%d", c.crf);
    std::vector<const char*> argv = {"ffmpeg", "-hide_banner", "-nostats", "-loglevel", "error",
                                     "-f", "rawvideo", "-pix_fmt", "rgba", "-s", size, "-framerate", rate,
                                     "-i", "pipe:0", "-i", music, "-map", "0:v", "-map", "1:a"};
    if (c.lossless)
        // FFV1 version 3, every frame a key frame with checksummed slices, as archives keep it;
        // the slices let two threads code one frame. bgr0 is the frames' RGB without alpha.
        argv.insert(argv.end(), {"-c:v", "ffv1", "-level", "3", "-g", "1", "-slices", "4", "-slicecrc", "1",
                                 "-pix_fmt", "bgr0", "-c:a", "flac"});
    else
        argv.insert(argv.end(), {"-c:v", "libx264", "-preset", c.preset, "-crf", crf, "-pix_fmt", "yuv420p",
                                 "-c:a", "aac", "-b:a", aac_rate});
    // MP4 and MOV put their index first, so a player can start before the whole file is there;
    // Matroska has no such option.
    if (std::strcmp(muxer, "matroska") != 0)
        argv.insert(argv.end(), {"-movflags", "+faststart"});
    argv.insert(argv.end(), {"-f", muxer, "-y", out, nullptr});
    enc_pid = spawn(argv.data(), fds[0], -1, enc_log);
    close(fds[0]);
    if (!enc_pid) {
        close(fds[1]);
        return false;
    }
    enc_pipe = fds[1];
    // A larger pipe lets ffmpeg take a frame in fewer wake-ups; the default is kept if refused.
    fcntl(enc_pipe, F_SETPIPE_SZ, 1 << 20);
    return true;
}

bool encoder_frame(const uint8_t* rgba)
{
    if (write_all(enc_pipe, rgba, frame_bytes))
        return true;
    if (stop_signal)
        return false;
    int err = errno;
    // ffmpeg stopped reading: its own exit says more than the broken pipe.
    close(enc_pipe);
    enc_pipe = -1;
    int st = reap(enc_pid);
    enc_pid = 0;
    char why[512];
    last_line(enc_log, why, sizeof why);
    if (st != 0)
        return fail("ffmpeg failed while encoding (%s)%s%s", ending(st), why[0] ? ": " : "", why);
    return fail("writing frames to ffmpeg failed: %s", std::strerror(err));
}

bool encoder_finish()
{
    if (close(enc_pipe) != 0) {
        enc_pipe = -1;
        encoder_kill();
        return fail("writing frames to ffmpeg failed: %s", std::strerror(errno));
    }
    enc_pipe = -1;
    int st = reap(enc_pid);
    enc_pid = 0;
    char why[512];
    last_line(enc_log, why, sizeof why);
    close(enc_log);
    enc_log = -1;
    if (st != 0)
        return fail("ffmpeg failed (%s)%s%s", ending(st), why[0] ? ": " : "", why);
    struct stat got;
    if (stat(enc_out, &got) != 0 || got.st_size == 0)
        return fail("ffmpeg ended without writing the video");
    return true;
}

void encoder_kill()
{
    if (enc_pipe >= 0) {
        close(enc_pipe);
        enc_pipe = -1;
    }
    if (enc_pid) {
        kill(enc_pid, SIGKILL);
        reap(enc_pid);
        enc_pid = 0;
    }
    if (enc_log >= 0) {
        close(enc_log);
        enc_log = -1;
    }
}
