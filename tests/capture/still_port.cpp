// Draws chosen frames of the capture's clock the way intro-port draws: in an SDL window of
// 800x600, through intro-port's own slot table (immediate-mode OpenGL on GLX), and writes each
// as raw RGBA, bottom row first, to standard output. The end-to-end tests compare these with
// intro-capture's stills of the same frames.
//
// Usage: still-port FPS FRAME...   (frames in increasing order)
#include <GL/gl.h>
#include <SDL.h>

#include <cstdio>
#include <cstdlib>
#include <vector>

#include "../../capture/batch.h"
#include "../../playback/clock.h"
#include "../../playback/music.h"

int main(int argc, char** argv)
{
    if (argc < 3) {
        std::fprintf(stderr, "usage: still-port FPS FRAME...\n");
        return 2;
    }
    int fps = std::atoi(argv[1]);
    const char* why = "";
    if (!render_music(synth_port, 117 * sample_rate, 117000, &why)) {
        std::fprintf(stderr, "still-port: %s\n", why);
        return 1;
    }
    if (SDL_Init(SDL_INIT_VIDEO) < 0 || !SDL_SetVideoMode(800, 600, 32, SDL_OPENGL)) {
        std::fprintf(stderr, "still-port: no window: %s\n", SDL_GetError());
        return 1;
    }
    GLint depth = 0;
    glGetIntegerv(GL_DEPTH_BITS, &depth);
    std::fprintf(stderr, "still-port: %s, %d depth bits\n", glGetString(GL_RENDERER), depth);

    const gl_slots own = gslots;  // intro-port's table, as shell/port_slots.cpp fills it
    std::vector<uint8_t> rgba(800 * 600 * 4);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadBuffer(GL_BACK);
    for (int i = 2; i < argc; i++) {
        shoot(frame_ms(std::atoll(argv[i]), fps), own);
        glReadPixels(0, 0, 800, 600, GL_RGBA, GL_UNSIGNED_BYTE, rgba.data());
        std::fwrite(rgba.data(), 1, rgba.size(), stdout);
    }
    SDL_Quit();
    return 0;
}
