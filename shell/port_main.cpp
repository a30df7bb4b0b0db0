// intro-port: start-up, frame loop and quit handling.
#include "../scene/scene.h"
#include "../song/song.h"
#include "../synth_float/synth.h"
#include "winmode.h"

#include <SDL.h>
#include <cstdio>

namespace {

constexpr int rate = 44100;       // output samples per second
constexpr int buffer_frames = 1024;  // frames per audio callback; the scope shows the first 512

// Leaves with status 1 after naming the failed step; nothing else has started yet that needs stopping.
int fail(const char* step)
{
    std::fprintf(stderr, "intro-port: %s failed: %s\n", step, SDL_GetError());
    SDL_Quit();
    return 1;
}

}  // namespace

int main(int argc, char** argv)
{
    Uint32 flags = window_flags(argc, argv);

    if (SDL_Init(SDL_INIT_TIMER | SDL_INIT_AUDIO | SDL_INIT_VIDEO) < 0)
        return fail("SDL_Init");

    // The device opens paused; no obtained record, so SDL converts and the callback always sees this format.
    SDL_AudioSpec want{};
    want.freq = rate;
    want.format = AUDIO_S16LSB;
    want.channels = 2;
    want.samples = buffer_frames;
    want.callback = port::audio_callback;
    if (SDL_OpenAudio(&want, nullptr) < 0)
        return fail("SDL_OpenAudio");

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
