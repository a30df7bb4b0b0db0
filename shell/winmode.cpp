#include "winmode.h"

#include <cstring>

namespace {
constexpr uint32_t sdl_opengl = 0x00000002;
constexpr uint32_t sdl_fullscreen = 0x80000000;
}

uint32_t window_flags(int argc, const char* const* argv)
{
    uint32_t flags = sdl_fullscreen | sdl_opengl;
    if (argc > 1 && argv[1] && std::strcmp(argv[1], "-w") == 0)
        flags = sdl_opengl;
    const char* name = argc > 0 ? argv[0] : nullptr;
    if (name && *name && name[std::strlen(name) - 1] == 'w')
        flags ^= sdl_fullscreen;
    return flags;
}
