#pragma once
// intro-tiny links nothing but dlopen and dlsym: SDL and OpenGL are bound by name at start into
// the slot tables of gfx.h, and everything else the shell needs from the system is a raw syscall.
#include <cstdint>

#include "../scene/gfx.h"

// Library search lists: zero-terminated file names, tried in turn, ended by an empty name.
// The bare development names come first; the versioned run-time names serve where only those exist.
extern const char slib[];
extern const char glib[];

// Names to look up, in slot order: zero-terminated names, ended by an empty name.
extern const char snames[];
extern const char gnames[];

// Opens the first library of the search list that loads (RTLD_NOW) and stores the address of
// each name in the next slot. When no name of the list opens, or a name is not exported: one
// line on stderr naming the library (by its first name) or the function, then the process ends
// with status 1. No slot is called here.
void load(const char* path, const char* names, slot* slots);

// Binds SDL into sslots, then OpenGL into gslots.
void dyn_init();

// Writes the line "intro-tiny: <a><b>" to stderr with the write syscall.
void report(const char* a, const char* b, const char* c);

// Ends the whole process (every thread) with the given status, running no exit handlers.
[[noreturn]] void leave(int status);

// false: saves how SIGINT and SIGTERM are handled; true: puts that back.
void signals(bool back);

// SDL 1.2's audio request record, laid out as the library reads it.
struct audio_spec {
    int32_t freq;                                 // samples per second
    uint16_t format;                              // sample format code (0x8010: signed 16-bit LE)
    uint8_t channels;                             // 1 mono, 2 stereo
    uint8_t silence;                              // computed by SDL
    uint16_t samples;                             // sample frames per callback buffer
    uint16_t padding;
    uint32_t size;                                // buffer size in bytes, computed by SDL
    void (*callback)(void* user, uint8_t* buf, int len);
    void* userdata;
};

// SDL 1.2's event record is a union of at most 24 bytes, 8-byte aligned, on this ABI; only its
// type byte is read.
inline constexpr int event_size = 32;
inline constexpr uint8_t sdl_keyup = 3;  // SDL_KEYUP event type

// The SDL calls the shell makes, typed as SDL 1.2 declares them (TDL_Delay is in gfx.h).
inline int TDL_Init(uint32_t flags) { return as<int (*)(uint32_t)>(sslots[s_init])(flags); }
inline void TDL_Quit() { as<void (*)()>(sslots[s_quit])(); }
inline void* TDL_SetVideoMode(int w, int h, int bpp, uint32_t flags) {
    return as<void* (*)(int, int, int, uint32_t)>(sslots[s_setvideomode])(w, h, bpp, flags);
}
inline int TDL_ShowCursor(int toggle) { return as<int (*)(int)>(sslots[s_showcursor])(toggle); }
inline uint32_t TDL_GetTicks() { return as<uint32_t (*)()>(sslots[s_getticks])(); }
inline void TDL_GL_SwapBuffers() { as<void (*)()>(sslots[s_swapbuffers])(); }
inline int TDL_PollEvent(void* event) { return as<int (*)(void*)>(sslots[s_pollevent])(event); }
inline int TDL_OpenAudio(audio_spec* want, audio_spec* got) {
    return as<int (*)(audio_spec*, audio_spec*)>(sslots[s_openaudio])(want, got);
}
inline void TDL_PauseAudio(int pause_on) { as<void (*)(int)>(sslots[s_pauseaudio])(pause_on); }
inline char* TDL_VideoDriverName(char* buf, int len) {
    return as<char* (*)(char*, int)>(sslots[s_videodrivername])(buf, len);
}
inline const char* TDL_GetError() { return as<const char* (*)()>(sslots[s_geterror])(); }
inline const char* Tgetenv(const char* name) { return as<const char* (*)(const char*)>(sslots[s_getenv])(name); }
