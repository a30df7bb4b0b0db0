// intro-port: start-up, frame loop and quit handling.
#include "../scene/scene.h"
#include "../song/song.h"
#include "../synth_float/synth.h"
#include "winmode.h"

#include <SDL.h>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

constexpr int rate = 44100;       // output samples per second
constexpr int buffer_frames = 1024;  // frames per audio callback; the scope shows the first 512

// Leaves with status 1 after naming the failed step, SDL's reason and what to do about it, if
// anything; nothing else has started yet that needs stopping.
int fail(const char* step, const char* hint = "")
{
    std::fprintf(stderr, "intro-port: %s failed: %s%s\n", step, SDL_GetError(), hint);
    SDL_Quit();
    return 1;
}

// SDL turns SIGINT and SIGTERM into a quit request, which the frame loop ignores as it ignores the
// close button. Ctrl+C and a service manager's stop must end the show the usual way instead, so
// the dispositions from before SDL_Init are put back: SDL only takes over a signal left at its
// default, and one the parent left ignored (nohup, a background job) stays ignored.
struct saved_signals {
    struct sigaction sint, sterm;
};

saved_signals keep_signals()
{
    saved_signals s;
    sigaction(SIGINT, nullptr, &s.sint);
    sigaction(SIGTERM, nullptr, &s.sterm);
    return s;
}

void restore_signals(const saved_signals& s)
{
    sigaction(SIGINT, &s.sint, nullptr);
    sigaction(SIGTERM, &s.sterm, nullptr);
}

bool given(const char* name)
{
    const char* v = std::getenv(name);
    return v && *v;
}

// Says that nobody would see the show; false.
bool no_display()
{
    const char* display = std::getenv("DISPLAY");
    if (display && *display)
        std::fprintf(stderr, "intro-port: no display (cannot open DISPLAY=%s)", display);
    else
        std::fprintf(stderr, "intro-port: no display (DISPLAY is not set)");
    std::fprintf(stderr, "; set SDL_VIDEODRIVER=offscreen to run unseen\n");
    return false;
}

// Without a usable display SDL falls back to a video driver that shows nothing, and the show would
// play unseen, with no window to take the keys that end it. Such a driver is refused unless the
// user named one in SDL_VIDEODRIVER. Returns false after saying so.
bool can_be_seen()
{
    char driver[32] = "";
    SDL_VideoDriverName(driver, sizeof driver);
    if (std::strcmp(driver, "offscreen") != 0 && std::strcmp(driver, "dummy") != 0)
        return true;
    return given("SDL_VIDEODRIVER") || no_display();
}

// With no X display named, no Wayland session (its socket is found through XDG_RUNTIME_DIR) and no
// driver asked for, SDL has nothing to open a window on: it would try each driver in turn, and the
// Wayland attempt prints a line of its own ("XDG_RUNTIME_DIR is invalid or not set") before SDL
// falls back to one that shows nothing. Refused here, before SDL starts, in the one line.
bool display_possible()
{
    return given("SDL_VIDEODRIVER") || given("DISPLAY") || given("WAYLAND_DISPLAY") || given("WAYLAND_SOCKET") ||
           given("XDG_RUNTIME_DIR") || no_display();
}

}  // namespace

int main(int argc, char** argv)
{
    Uint32 flags = window_flags(argc, argv);
    if (!display_possible())
        return 1;

    const saved_signals signals = keep_signals();
    if (SDL_Init(SDL_INIT_TIMER | SDL_INIT_AUDIO | SDL_INIT_VIDEO) < 0)
        return fail("SDL_Init");
    restore_signals(signals);
    if (!can_be_seen()) {
        SDL_Quit();
        return 1;
    }

    // The device opens paused; no obtained record, so SDL converts and the callback always sees this format.
    SDL_AudioSpec want{};
    want.freq = rate;
    want.format = AUDIO_S16LSB;
    want.channels = 2;
    want.samples = buffer_frames;
    want.callback = port::audio_callback;
    // No sound card is no reason not to watch: the message says how to play the show silently.
    if (SDL_OpenAudio(&want, nullptr) < 0)
        return fail("SDL_OpenAudio", "; to run silently, set SDL_AUDIODRIVER=dummy");

    port::synth_start(rate);
    if (port::parse_builtin_song() != 0) {
        std::fprintf(stderr, "intro-port: %s\n", port::song_error);
        SDL_Quit();
        return 1;
    }

    if (!SDL_SetVideoMode(800, 600, 32, flags))
        return fail("SDL_SetVideoMode");
    SDL_WM_SetCaption("Vintelo", nullptr);
    SDL_ShowCursor(SDL_DISABLE);

    // The audio thread has existed since SDL_OpenAudio, and unpausing only flips a flag, which
    // orders none of the tables built since. Passing through the device lock, which SDL holds
    // around every callback, hands them over to the audio thread before it reads them.
    SDL_LockAudio();
    SDL_UnlockAudio();
    SDL_PauseAudio(0);
    Uint32 starttick = SDL_GetTicks();  // timeline zero: playback starts here

    SDL_Event event;
    while (!quitnow) {
        magic(static_cast<int32_t>(SDL_GetTicks() - starttick));
        SDL_GL_SwapBuffers();
        while (SDL_PollEvent(&event) > 0)
            if (event.type == SDL_KEYDOWN || event.type == SDL_MOUSEBUTTONDOWN)
                quitnow = 1;
    }

    SDL_Quit();
    return 0;
}
