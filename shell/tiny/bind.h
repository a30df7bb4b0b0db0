#pragma once
// intro-tiny links nothing but dlopen and dlsym: SDL and OpenGL are bound by name at start into
// the slot tables of gfx.h, and everything else the shell needs from the system is a raw syscall.
#include <cstdint>

#include "../../scene/gfx.h"

// Library search lists: zero-terminated file names, tried in turn, ended by an empty name.
// The bare development names come first; the versioned run-time names serve where only those exist.
extern const char slib[];
extern const char glib[];

// Names to look up, in slot order (sdl_slots, gl_slots): zero-terminated names, ended by an
// empty name.
extern const char snames[];
extern const char gnames[];

// Opens the first library of the search list that loads (RTLD_NOW) and stores the address of
// each name in the next pointer of table, which holds one pointer per name. When no name of the
// list opens, or a name is not exported: one line on stderr naming the library (by its first
// name) or the function, then the process ends with status 1. No slot is called here.
void load(const char* path, const char* names, void* table);

// Binds SDL into sslots, then OpenGL into gslots.
void dyn_init();

// Writes the line "intro-tiny: <a><b><c>" to stderr with the write syscall.
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

// The SDL calls the shell makes (TDL_Delay is in gfx.h).
inline int TDL_Init(uint32_t flags) { return sslots.init(flags); }
inline void TDL_Quit() { sslots.quit(); }
inline void* TDL_SetVideoMode(int w, int h, int bpp, uint32_t flags) { return sslots.setvideomode(w, h, bpp, flags); }
inline int TDL_ShowCursor(int toggle) { return sslots.showcursor(toggle); }
inline uint32_t TDL_GetTicks() { return sslots.getticks(); }
inline void TDL_GL_SwapBuffers() { sslots.swapbuffers(); }
inline int TDL_PollEvent(void* event) { return sslots.pollevent(event); }
inline int TDL_OpenAudio(audio_spec* want, audio_spec* got) { return sslots.openaudio(want, got); }
inline void TDL_PauseAudio(int pause_on) { sslots.pauseaudio(pause_on); }
inline char* TDL_VideoDriverName(char* buf, int len) { return sslots.videodrivername(buf, len); }
inline const char* TDL_GetError() { return sslots.geterror(); }
inline const char* Tgetenv(const char* name) { return sslots.getenv(name); }
