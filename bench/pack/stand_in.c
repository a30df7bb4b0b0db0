/* Stands in for SDL and OpenGL when the start-up of intro-tiny is timed: it exports every name
   the program binds, and the first SDL call (SDL_Init) writes the monotonic time in nanoseconds
   to the descriptor named by STARTUP_FD, then ends the process. The other functions are never
   reached. */
#include <stdint.h>
#include <stdlib.h>
#include <time.h>
#include <unistd.h>

int SDL_Init(uint32_t flags) {
    (void)flags;
    struct timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    int64_t ns = (int64_t)ts.tv_sec * 1000000000 + ts.tv_nsec;
    const char* fd = getenv("STARTUP_FD");
    if (fd && write(atoi(fd), &ns, sizeof ns) != sizeof ns) _exit(2);
    _exit(0);
}

#define UNUSED(name) void name(void) {}
UNUSED(SDL_Delay) UNUSED(SDL_Quit) UNUSED(SDL_SetVideoMode) UNUSED(SDL_ShowCursor) UNUSED(SDL_GetTicks)
UNUSED(SDL_GL_SwapBuffers) UNUSED(SDL_PollEvent) UNUSED(SDL_OpenAudio) UNUSED(SDL_PauseAudio)
UNUSED(SDL_VideoDriverName) UNUSED(SDL_GetError)
UNUSED(glBegin) UNUSED(glEnd) UNUSED(glVertex3f) UNUSED(glMatrixMode) UNUSED(glLoadIdentity)
UNUSED(glClear) UNUSED(glColor3f) UNUSED(glRotatef) UNUSED(glTranslatef) UNUSED(glEnable) UNUSED(glFrustum)
