// intro-port links SDL and OpenGL, so the scene's slots simply hold the linked functions.
#include "../scene/gfx.h"

#include <GL/gl.h>
#include <SDL.h>

#define S(f) reinterpret_cast<slot>(f)

slot gslots[g_count] = {
    S(&glBegin), S(&glEnd), S(&glVertex3f), S(&glMatrixMode),
    S(&glLoadIdentity), S(&glClear), S(&glColor3f), S(&glRotatef),
    S(&glTranslatef), S(&glEnable), S(&glFrustum),
};

// Only the scene's delay is called through its slot; the shell calls SDL directly.
slot sslots[s_count] = {
    S(&SDL_Init), S(&SDL_Quit), S(&SDL_SetVideoMode), S(&SDL_ShowCursor),
    S(&SDL_GetTicks), S(&SDL_GL_SwapBuffers), S(&SDL_PollEvent),
    S(&SDL_OpenAudio), S(&SDL_PauseAudio), S(&SDL_Delay),
};
