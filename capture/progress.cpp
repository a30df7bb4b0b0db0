// The progress bar, drawn by hand on standard error.
#include "progress.h"

#include <chrono>
#include <cstdio>
#include <unistd.h>

namespace {
using clk = std::chrono::steady_clock;

bool active;           // a capture is being reported
bool tty;              // standard error is a terminal: redraw in place
bool open_line;        // the bar's line is on screen without its line feed
int64_t total_frames;  // frames of the capture
int video_fps;         // frames per second of the video
int next_tenth;        // next tenth of the work to report when not on a terminal
clk::time_point started, drawn;  // start of the capture; last redraw of the bar

constexpr int bar_len = 24;      // characters of the bar
constexpr double redraw_s = 0.1;  // at most ten redraws a second

// h:mm:ss, or m:ss under an hour.
void clock_text(char* out, size_t len, double s)
{
    long t = s < 0 ? 0 : static_cast<long>(s + 0.5);
    if (t >= 3600)
        std::snprintf(out, len, "%ld:%02ld:%02ld", t / 3600, t / 60 % 60, t % 60);
    else
        std::snprintf(out, len, "%ld:%02ld", t / 60, t % 60);
}

double since(clk::time_point t) { return std::chrono::duration<double>(clk::now() - t).count(); }
}

char* progress_line(char* out, size_t len, int64_t done, int64_t total, int fps, double elapsed, bool bar)
{
    double part = total > 0 ? static_cast<double>(done) / total : 1;
    double rate = elapsed > 0 ? done / elapsed : 0;
    char el[32], eta[32], bars[bar_len + 3] = "";
    clock_text(el, sizeof el, elapsed);
    if (rate > 0)
        clock_text(eta, sizeof eta, (total - done) / rate);
    else
        std::snprintf(eta, sizeof eta, "-:--");
    if (bar) {
        int full = static_cast<int>(part * bar_len);
        bars[0] = '[';
        for (int i = 0; i < bar_len; i++)
            bars[1 + i] = i < full ? '#' : '-';
        bars[bar_len + 1] = ']';
        bars[bar_len + 2] = 0;
    }
    std::snprintf(out, len, "%s%s%lld/%lld frames %3d%%  %.1f fps  %s elapsed  ETA %s  %.2fx real time", bars,
                  bar ? " " : "", static_cast<long long>(done), static_cast<long long>(total),
                  static_cast<int>(part * 100), rate, el, eta, rate / fps);
    return out;
}

void progress_start(int64_t total, int fps)
{
    active = true;
    tty = isatty(STDERR_FILENO);
    total_frames = total;
    video_fps = fps;
    next_tenth = 1;
    started = clk::now();
    drawn = started - std::chrono::seconds(1);
    progress_step(0);
}

void progress_step(int64_t done)
{
    if (!active)
        return;
    char line[256];
    if (tty) {
        if (done < total_frames && since(drawn) < redraw_s)
            return;
        drawn = clk::now();
        progress_line(line, sizeof line, done, total_frames, video_fps, since(started), true);
        std::fprintf(stderr, "\r%s\033[K", line);
        open_line = true;
        if (done == total_frames)
            progress_break();
        return;
    }
    bool reported = false;
    while (next_tenth <= 10 && done * 10 >= total_frames * next_tenth) {
        next_tenth++;
        reported = true;
    }
    if (reported)
        std::fprintf(stderr, "intro-capture: %s\n",
                     progress_line(line, sizeof line, done, total_frames, video_fps, since(started), false));
}

void progress_break()
{
    if (open_line)
        std::fputc('\n', stderr);
    open_line = false;
}
