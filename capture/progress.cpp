// The progress bar, drawn by hand on standard error.
#include "progress.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <sys/ioctl.h>
#include <unistd.h>

#include "eta.h"

namespace {
using clk = std::chrono::steady_clock;

bool active;           // a capture is being reported
bool tty;              // standard error is a terminal: redraw in place
bool open_line;        // the bar's line is on screen without its line feed
int64_t total_frames;  // frames of the capture
int video_fps;         // frames per second of the video
int next_tenth;        // next tenth of the work to report when not on a terminal
clk::time_point started, drawn;  // start of the capture; last redraw of the bar

constexpr int bar_len = 24;      // characters of the bar at its full length
constexpr int min_bar = 10;      // shortest bar worth showing on a narrow terminal
constexpr int field_count = 6;   // fields of the line after the bar
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

// The terminal's width in columns, asked at every redraw so that a resized window is followed;
// COLUMNS, then 80, where the terminal does not say.
int columns()
{
    winsize ws;
    if (ioctl(STDERR_FILENO, TIOCGWINSZ, &ws) == 0 && ws.ws_col > 0)
        return ws.ws_col;
    const char* c = std::getenv("COLUMNS");
    int n = c ? std::atoi(c) : 0;
    return n > 0 ? n : 80;
}

double since(clk::time_point t) { return std::chrono::duration<double>(clk::now() - t).count(); }
}

char* progress_line(char* out, size_t len, int64_t done, int64_t total, int fps, double elapsed, double left,
                    int width)
{
    double part = total > 0 ? static_cast<double>(done) / total : 1;
    double rate = elapsed > 0 ? done / elapsed : 0;
    char el[32], eta[32];
    clock_text(el, sizeof el, elapsed);
    if (left >= 0)
        clock_text(eta, sizeof eta, left);
    else
        std::snprintf(eta, sizeof eta, "-:--");
    // The fields in the order shown.
    char f[field_count][48];
    std::snprintf(f[0], sizeof f[0], "%lld/%lld frames", static_cast<long long>(done), static_cast<long long>(total));
    std::snprintf(f[1], sizeof f[1], "%3d%%", static_cast<int>(part * 100));
    std::snprintf(f[2], sizeof f[2], "%.1f fps", rate);
    std::snprintf(f[3], sizeof f[3], "%s elapsed", el);
    std::snprintf(f[4], sizeof f[4], "ETA %s", eta);
    std::snprintf(f[5], sizeof f[5], "%.2fx real time", rate / fps);
    bool keep[field_count] = {true, true, true, true, true, true};
    int bar = width > 0 ? bar_len : 0;
    auto length = [&] {
        int n = bar > 0 ? bar + 3 : 0;  // "[", the bar, "] "
        bool first = true;
        for (int i = 0; i < field_count; i++)
            if (keep[i]) {
                n += static_cast<int>(std::strlen(f[i])) + (first ? (i == 1 ? -1 : 0) : i == 1 && keep[0] ? 1 : 2);
                first = false;
            }
        return n;
    };
    // What a narrow terminal loses, in this order: real time, rate, elapsed, the bar (-1), the
    // frame count. The line stays one column short of the width: one that fills the last column
    // wraps on some terminals.
    const int losses[] = {5, 2, 3, -1, 0};
    for (size_t k = 0; width > 0; k++) {
        while (bar > min_bar && length() >= width)
            bar--;
        if (length() < width || k == std::size(losses))
            break;
        if (losses[k] < 0)
            bar = 0;
        else
            keep[losses[k]] = false;
        if (bar > 0)
            bar = bar_len;  // room freed may give the bar its length back
    }
    if (width > 0 && length() >= width) {
        // Narrower than percent and time left as they stand: shorter spellings of the two, then
        // percent alone; a field is never cut.
        const char* pct = f[1] + std::strspn(f[1], " ");
        char tries[3][64];
        std::snprintf(tries[0], sizeof tries[0], "%s ETA %s", pct, eta);
        std::snprintf(tries[1], sizeof tries[1], "%s %s", pct, eta);
        std::snprintf(tries[2], sizeof tries[2], "%s", pct);
        out[0] = 0;
        for (const char* t : tries)
            if (static_cast<int>(std::strlen(t)) < width) {
                std::snprintf(out, len, "%s", t);
                break;
            }
        return out;
    }
    size_t at = 0;
    auto put = [&](const char* text) {
        if (at + 1 < len)
            at += static_cast<size_t>(std::snprintf(out + at, len - at, "%s", text));
        if (at >= len)
            at = len - 1;
    };
    if (bar > 0) {
        char bars[bar_len + 4];
        int full = static_cast<int>(part * bar);
        bars[0] = '[';
        for (int i = 0; i < bar; i++)
            bars[1 + i] = i < full ? '#' : '-';
        bars[bar + 1] = ']';
        bars[bar + 2] = ' ';
        bars[bar + 3] = 0;
        put(bars);
    }
    bool first = true;
    for (int i = 0; i < field_count; i++)
        if (keep[i]) {
            put(first ? "" : i == 1 && keep[0] ? " " : "  ");
            const char* text = f[i];
            while (first && *text == ' ')  // the percent's padding, when it leads
                text++;
            put(text);
            first = false;
        }
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
    eta_note(done, since(started));
    char line[256];
    if (tty) {
        if (done < total_frames && since(drawn) < redraw_s)
            return;
        drawn = clk::now();
        double el = since(started);
        progress_line(line, sizeof line, done, total_frames, video_fps, el, eta_left(done, el), columns());
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
    if (reported) {
        double el = since(started);
        std::fprintf(stderr, "intro-capture: %s\n",
                     progress_line(line, sizeof line, done, total_frames, video_fps, el, eta_left(done, el), 0));
    }
}

void progress_break()
{
    if (open_line)
        std::fputc('\n', stderr);
    open_line = false;
}
