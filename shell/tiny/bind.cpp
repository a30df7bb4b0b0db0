// Run-time binding of SDL 1.2 and OpenGL for intro-tiny, and the syscalls the shell makes
// directly, so that the program's only imports stay dlopen and dlsym.
#include "bind.h"

#include <dlfcn.h>

#include <cstddef>

gl_slots gslots;
sdl_slots sslots;

const char slib[] = "libSDL.so\0libSDL-1.2.so.0\0";
const char glib[] = "libGL.so\0libGL.so.1\0";

constexpr char snames[] =
    "SDL_Delay\0SDL_Init\0SDL_Quit\0SDL_SetVideoMode\0SDL_ShowCursor\0SDL_GetTicks\0"
    "SDL_GL_SwapBuffers\0SDL_PollEvent\0SDL_OpenAudio\0SDL_PauseAudio\0"
    "SDL_VideoDriverName\0SDL_GetError\0getenv\0";
constexpr char gnames[] =
    "glBegin\0glEnd\0glVertex3f\0glMatrixMode\0glLoadIdentity\0glClear\0"
    "glColor3f\0glRotatef\0glTranslatef\0glEnable\0glFrustum\0";

// The name after the one at p in a list of zero-terminated names.
static constexpr const char* next(const char* p) {
    while (*p++) {
    }
    return p;
}

// load fills a table by position: the tables must be exactly one pointer per name, each slot at
// the position of its function's name.
static constexpr int names_in(const char* list) {
    int n = 0;
    for (; *list; list = next(list)) n++;
    return n;
}
static constexpr bool named(const char* list, size_t offset, const char* name) {
    for (size_t k = offset / sizeof(void*); k; k--) list = next(list);
    while (*list && *list == *name) list++, name++;
    return *list == *name;
}
static_assert(names_in(snames) * sizeof(void*) == sizeof(sdl_slots));
static_assert(names_in(gnames) * sizeof(void*) == sizeof(gl_slots));
#define BOUND(list, table, field, name) static_assert(named(list, offsetof(table, field), name), name " out of place")
BOUND(snames, sdl_slots, delay, "SDL_Delay");
BOUND(snames, sdl_slots, init, "SDL_Init");
BOUND(snames, sdl_slots, quit, "SDL_Quit");
BOUND(snames, sdl_slots, setvideomode, "SDL_SetVideoMode");
BOUND(snames, sdl_slots, showcursor, "SDL_ShowCursor");
BOUND(snames, sdl_slots, getticks, "SDL_GetTicks");
BOUND(snames, sdl_slots, swapbuffers, "SDL_GL_SwapBuffers");
BOUND(snames, sdl_slots, pollevent, "SDL_PollEvent");
BOUND(snames, sdl_slots, openaudio, "SDL_OpenAudio");
BOUND(snames, sdl_slots, pauseaudio, "SDL_PauseAudio");
BOUND(snames, sdl_slots, videodrivername, "SDL_VideoDriverName");
BOUND(snames, sdl_slots, geterror, "SDL_GetError");
BOUND(snames, sdl_slots, getenv, "getenv");
BOUND(gnames, gl_slots, begin, "glBegin");
BOUND(gnames, gl_slots, end, "glEnd");
BOUND(gnames, gl_slots, vertex3f, "glVertex3f");
BOUND(gnames, gl_slots, matrixmode, "glMatrixMode");
BOUND(gnames, gl_slots, loadidentity, "glLoadIdentity");
BOUND(gnames, gl_slots, clear, "glClear");
BOUND(gnames, gl_slots, color3f, "glColor3f");
BOUND(gnames, gl_slots, rotatef, "glRotatef");
BOUND(gnames, gl_slots, translatef, "glTranslatef");
BOUND(gnames, gl_slots, enable, "glEnable");
BOUND(gnames, gl_slots, frustum, "glFrustum");
#undef BOUND

static long sys_write(int fd, const char* buf, unsigned long len) {
    long r;
    asm volatile("syscall" : "=a"(r) : "0"(1L /* write */), "D"(fd), "S"(buf), "d"(len) : "rcx", "r11", "memory");
    return r;
}

static void say(const char* s) {
    unsigned long n = 0;
    while (s[n]) n++;
    sys_write(2, s, n);
}

void report(const char* a, const char* b, const char* c) {
    say("intro-tiny: ");
    say(a);
    say(b);
    say(c);
    say("\n");
}

void leave(int status) {
    asm volatile("syscall" : : "a"(231L /* exit_group */), "D"(status) : "rcx", "r11", "memory");
    __builtin_unreachable();
}

// The kernel's record of how a signal is handled: handler, flags, restorer, mask.
struct sigrecord {
    uint64_t word[4];
};
static sigrecord sigsaved[2];  // SIGINT's and SIGTERM's handling before SDL_Init

void signals(bool back) {
    for (int i = 0; i < 2; i++) {
        sigrecord* r = &sigsaved[i];
        long ret;
        register long size asm("r10") = sizeof(uint64_t);  // the kernel's signal mask: 64 bits
        asm volatile("syscall"
                     : "=a"(ret)
                     : "0"(13L /* rt_sigaction */), "D"(i ? 15 /* SIGTERM */ : 2 /* SIGINT */),
                       "S"(back ? r : nullptr), "d"(back ? nullptr : r), "r"(size)
                     : "rcx", "r11", "memory");
    }
}

[[noreturn]] static void fail(const char* what, const char* name) {
    report(what, name, "");
    leave(1);
}

void load(const char* path, const char* names, void* table) {
    void* lib = nullptr;
    for (const char* p = path; *p && !(lib = dlopen(p, RTLD_NOW)); p = next(p)) {
    }
    if (!lib) fail("cannot open ", path);
    // Stored as bytes: the table's slots are typed function pointers, reached here by position.
    for (char* slot = static_cast<char*>(table); *names; names = next(names), slot += sizeof(void*)) {
        void* f = dlsym(lib, names);
        if (!f) fail("cannot find ", names);
        __builtin_memcpy(slot, &f, sizeof f);
    }
}

void dyn_init() {
    load(slib, snames, &sslots);
    load(glib, gnames, &gslots);
}
