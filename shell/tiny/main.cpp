// intro-tiny's entry and frame loop: no C runtime start-up, SDL and OpenGL reached only through
// the slots that dyn_init fills, always full screen, ends on a key release or the end of the scene.
#include <cstdint>

#include "../../scene/scene.h"
#include "../../synth_fixed/velk_tiny.h"
#include "bind.h"

// Audio request: 44100 Hz, signed 16-bit little-endian (0x8010), mono, 1024-sample buffers.
// Writable: with no record for the obtained format, SDL fills in silence and size here.
static audio_spec synth_spec = {44100, 0x8010, 1, 0, 1024, 0, 0, tiny::velk_play, nullptr};

alignas(8) static uint8_t event[event_size];  // the last event taken off the queue; type byte first, 0 at start
static uint32_t starttick;         // SDL_GetTicks at playback start, ms: the zero of the timeline

static constexpr uint32_t init_flags = 0x31;         // timer | audio | video
static constexpr uint32_t video_flags = 0x80000003;  // full screen | OpenGL | hardware surface

// SDL is up (or half up): one line "intro-tiny: <a><b><c>", shut SDL down, end with status 1.
[[noreturn]] static void stop(const char* a, const char* b, const char* c) {
    report(a, b, c);
    TDL_Quit();
    leave(1);
}

// A failed SDL step is named with SDL's reason.
[[noreturn]] static void fail(const char* step) { stop(step, " failed: ", TDL_GetError()); }

// The refusal without a display; its tail is the name of the variable it points to.
static const char no_display[] = "no display; to run unseen, set SDL_VIDEODRIVER";

// Without a usable display SDL falls back to a video driver that shows nothing ("offscreen",
// "dummy"), and the show would play unseen with no window to end it from. That is refused, before
// any sound, unless SDL_VIDEODRIVER asked for a driver.
static void must_be_seen() {
    char driver[16];
    TDL_VideoDriverName(driver, sizeof driver);
    uint32_t head;  // the name's first four letters
    __builtin_memcpy(&head, driver, 4);
    const char* asked = Tgetenv(no_display + 31);  // "SDL_VIDEODRIVER"
    if ((head == 0x7366666f /* "offs" */ || head == 0x6d6d7564 /* "dumm" */) && !(asked && *asked))
        stop(no_display, "=offscreen", "");
}

// Called from _start with the stack 16-byte aligned. No argc/argv: the command line is ignored.
// environ and __progname need no setting up here: on glibc the dynamic loader runs libc's own
// initialiser (which fills them from the initial stack) before jumping to _start, so dlopen and
// SDL's getenv work as in any program.
extern "C" [[noreturn]] [[gnu::used]] void tiny_main() {
    dyn_init();
    tiny::velk_init();
    // SDL turns SIGINT and SIGTERM into a quit request, which this loop ignores as it ignores the
    // close button. Putting back what was there lets Ctrl+C and a stop end the show the usual way;
    // one the parent left ignored stays ignored, as SDL takes over only signals at their default.
    signals(false);
    if (TDL_Init(init_flags) < 0) fail("SDL_Init");
    signals(true);
    must_be_seen();
    // No sound card is no reason not to watch: the message says how to play it silently.
    if (TDL_OpenAudio(&synth_spec, nullptr) < 0)
        stop("SDL_OpenAudio failed: ", TDL_GetError(), "; to run silently, set SDL_AUDIODRIVER=dummy");
    if (!TDL_SetVideoMode(800, 600, 32, video_flags)) fail("SDL_SetVideoMode");
    TDL_ShowCursor(0);
    TDL_PauseAudio(0);
    starttick = TDL_GetTicks();
mainloop:
    magic(static_cast<int32_t>(TDL_GetTicks() - starttick));
    if (quitnow) goto end;  // the frame the scene ended on is not shown
    TDL_GL_SwapBuffers();
    TDL_PollEvent(event);  // one event per pass; with none pending, event keeps the last one
    if (event[0] != sdl_keyup) goto mainloop;
end:
    TDL_Quit();
    leave(0);
}

// The kernel enters with rsp pointing at argc and 16-byte aligned; the call then leaves
// tiny_main the usual ABI alignment. A zero frame pointer marks the outermost frame.
asm(".text\n"
    ".globl _start\n"
    ".type _start,@function\n"
    "_start:\n"
    "  xor %ebp, %ebp\n"
    "  and $-16, %rsp\n"
    "  call tiny_main\n");
