// The run-time binder: its name tables, how many slots load writes, the search list, and the
// one-line report and status 1 when a library or a name is missing.
#include <SDL/SDL.h>
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cstddef>
#include <cstring>
#include <string>
#include <vector>

#include "../../shell/tiny/bind.h"

// The shell's own copies of SDL's records must match the library's layout.
static_assert(sizeof(audio_spec) == sizeof(SDL_AudioSpec));
static_assert(offsetof(audio_spec, format) == offsetof(SDL_AudioSpec, format));
static_assert(offsetof(audio_spec, channels) == offsetof(SDL_AudioSpec, channels));
static_assert(offsetof(audio_spec, silence) == offsetof(SDL_AudioSpec, silence));
static_assert(offsetof(audio_spec, samples) == offsetof(SDL_AudioSpec, samples));
static_assert(offsetof(audio_spec, size) == offsetof(SDL_AudioSpec, size));
static_assert(offsetof(audio_spec, callback) == offsetof(SDL_AudioSpec, callback));
static_assert(offsetof(audio_spec, userdata) == offsetof(SDL_AudioSpec, userdata));
static_assert(event_size >= static_cast<int>(sizeof(SDL_Event)));
static_assert(sdl_keyup == SDL_KEYUP);

namespace {

const char* const want_s[] = {"SDL_Delay", "SDL_Init", "SDL_Quit", "SDL_SetVideoMode", "SDL_ShowCursor",
                              "SDL_GetTicks", "SDL_GL_SwapBuffers", "SDL_PollEvent", "SDL_OpenAudio", "SDL_PauseAudio",
                              "SDL_VideoDriverName", "SDL_GetError", "getenv"};
const char* const want_g[] = {"glBegin", "glEnd", "glVertex3f", "glMatrixMode", "glLoadIdentity", "glClear",
                              "glColor3f", "glRotatef", "glTranslatef", "glEnable", "glFrustum"};

// A name list is a run of zero-terminated names ended by an empty one.
std::vector<std::string> list_of(const char* list) {
    std::vector<std::string> all;
    for (const char* p = list; *p; p += std::char_traits<char>::length(p) + 1) all.push_back(p);
    return all;
}

// The address in the i-th pointer of a slot table.
void* slot_at(const void* table, int i) {
    void* f;
    std::memcpy(&f, static_cast<const char*>(table) + i * sizeof(void*), sizeof f);
    return f;
}

std::string names_of(const char* list) {
    std::string all;
    for (const std::string& n : list_of(list)) all += n + ";";
    return all;
}

// The slots the wrappers call must hold the function of the same name: one name per slot, in
// slot order, and no more.
TEST(NameTables, SdlNamesInSlotOrderThenEnd) {
    ASSERT_EQ(s_count, 13);
    EXPECT_EQ(list_of(snames), std::vector<std::string>(std::begin(want_s), std::end(want_s)));
    EXPECT_EQ(list_of(snames)[s_delay], "SDL_Delay");
    EXPECT_EQ(list_of(snames)[s_pollevent], "SDL_PollEvent");
    EXPECT_EQ(list_of(snames)[s_videodrivername], "SDL_VideoDriverName");
    EXPECT_EQ(list_of(snames)[s_geterror], "SDL_GetError");
    EXPECT_EQ(list_of(snames)[s_getenv], "getenv");
}

TEST(NameTables, GlNamesInSlotOrderThenEnd) {
    ASSERT_EQ(g_count, 11);
    EXPECT_EQ(list_of(gnames), std::vector<std::string>(std::begin(want_g), std::end(want_g)));
    EXPECT_EQ(list_of(gnames)[g_frustum], "glFrustum");
    EXPECT_EQ(list_of(gnames)[g_vertex3f], "glVertex3f");
}

TEST(NameTables, LibrariesBareNameFirstThenRunTimeName) {
    EXPECT_EQ(names_of(slib), "libSDL.so;libSDL-1.2.so.0;");
    EXPECT_EQ(names_of(glib), "libGL.so;libGL.so.1;");
}

void* marker() { return reinterpret_cast<void*>(0x5a5a5a5a); }
int call(void* f) { return reinterpret_cast<int (*)()>(f)(); }

const char three[] = "tf1\0tf2\0tf3\0";

TEST(Load, WritesOneSlotPerNameAndNothingBeyond) {
    void* slots[6];
    for (void*& s : slots) s = marker();
    load(TESTLIB "\0", three, slots + 1);
    EXPECT_EQ(slots[0], marker());
    EXPECT_EQ(call(slots[1]), 11);
    EXPECT_EQ(call(slots[2]), 22);
    EXPECT_EQ(call(slots[3]), 33);
    EXPECT_EQ(slots[4], marker());
    EXPECT_EQ(slots[5], marker());
}

TEST(Load, FallsBackToTheNextLibraryName) {
    void* slots[3] = {};
    load("libvintelo-none.so\0" TESTLIB "\0", three, slots);
    EXPECT_EQ(call(slots[2]), 33);
}

TEST(Load, StopsAtTheFirstLibraryThatOpens) {
    // The test library lacks SDL_Delay; had load gone on to libSDL it would have found it.
    EXPECT_EXIT(load(TESTLIB "\0libSDL-1.2.so.0\0", snames, &sslots), testing::ExitedWithCode(1),
                "^intro-tiny: cannot find SDL_Delay\n$");
}

TEST(LoadFailure, MissingLibraryIsNamedAndEndsWithStatus1) {
    void* slots[3] = {};
    EXPECT_EXIT(load("libvintelo-none.so\0libvintelo-none.so.1\0", three, slots), testing::ExitedWithCode(1),
                "^intro-tiny: cannot open libvintelo-none.so\n$");
}

TEST(LoadFailure, MissingFunctionIsNamedAndEndsWithStatus1) {
    const char names[] = "tf1\0tf9\0tf3\0";
    void* slots[3] = {};
    EXPECT_EXIT(load(TESTLIB "\0", names, slots), testing::ExitedWithCode(1), "^intro-tiny: cannot find tf9\n$");
}

// Against the real libraries: every slot holds exactly the function named in its table entry.
TEST(DynInit, BindsEverySlotToItsNamedFunction) {
    dyn_init();
    void* sdl = dlopen("libSDL-1.2.so.0", RTLD_NOW | RTLD_NOLOAD);
    void* gl = dlopen("libGL.so.1", RTLD_NOW | RTLD_NOLOAD);
    ASSERT_NE(sdl, nullptr);
    ASSERT_NE(gl, nullptr);
    // getenv is found through SDL's own dependencies: the C library's.
    for (int i = 0; i < s_count; i++) EXPECT_EQ(slot_at(&sslots, i), dlsym(sdl, want_s[i])) << want_s[i];
    EXPECT_EQ(reinterpret_cast<void*>(sslots.getenv), dlsym(RTLD_DEFAULT, "getenv"));
    EXPECT_EQ(reinterpret_cast<void*>(sslots.pollevent), dlsym(sdl, "SDL_PollEvent"));
    for (int i = 0; i < g_count; i++) EXPECT_EQ(slot_at(&gslots, i), dlsym(gl, want_g[i])) << want_g[i];
    EXPECT_EQ(reinterpret_cast<void*>(gslots.frustum), dlsym(gl, "glFrustum"));
    dlclose(sdl);
    dlclose(gl);
}

}  // namespace
