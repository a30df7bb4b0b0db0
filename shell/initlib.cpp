// Run-time binding of SDL 1.2 and OpenGL for intro-tiny, and the syscalls the shell makes
// directly, so that the program's only imports stay dlopen and dlsym.
#include "initlib.h"

#include <dlfcn.h>

slot gslots[g_count];
slot sslots[s_count];

const char slib[] = "libSDL.so\0libSDL-1.2.so.0\0";
const char glib[] = "libGL.so\0libGL.so.1\0";

const char snames[] =
    "SDL_Delay\0SDL_Init\0SDL_Quit\0SDL_SetVideoMode\0SDL_ShowCursor\0SDL_GetTicks\0"
    "SDL_GL_SwapBuffers\0SDL_PollEvent\0SDL_OpenAudio\0SDL_PauseAudio\0"
    "SDL_VideoDriverName\0SDL_GetError\0getenv\0";
const char gnames[] =
    "glBegin\0glEnd\0glVertex3f\0glMatrixMode\0glLoadIdentity\0glClear\0"
    "glColor3f\0glRotatef\0glTranslatef\0glEnable\0glFrustum\0";

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

// The name after the one at p in a list of zero-terminated names.
static const char* next(const char* p) {
    while (*p++) {
    }
    return p;
}

void load(const char* path, const char* names, slot* slots) {
    void* lib = nullptr;
    for (const char* p = path; *p && !(lib = dlopen(p, RTLD_NOW)); p = next(p)) {
    }
    if (!lib) fail("cannot open ", path);
    for (; *names; names = next(names), slots++) {
        *slots = reinterpret_cast<slot>(dlsym(lib, names));
        if (!*slots) fail("cannot find ", names);
    }
}

void dyn_init() {
    load(slib, snames, sslots);
    load(glib, gnames, gslots);
}
