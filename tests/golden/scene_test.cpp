// The picture pinned: every slot call the scene makes, with its arguments' bits, at moments that
// cover each layer's growth and full size, the layers drawn together, the camera's rise, the end
// of the timeline and the largest time (where the frame slot wraps). Compiled once against the
// scene as intro-port builds it and once as intro-tiny builds it (SCENE_BUILD names the golden).
#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "fixture.h"
#include "golden.h"

namespace {

// Slot name and argument count of a recorded call: the golden does not depend on slot numbers.
struct kind {
    const char* name;
    int args;
};

kind kind_of(int fn)
{
    switch (fn) {
    case g_begin: return {"glBegin", 1};
    case g_end: return {"glEnd", 0};
    case g_vertex3f: return {"glVertex3f", 3};
    case g_matrixmode: return {"glMatrixMode", 1};
    case g_loadidentity: return {"glLoadIdentity", 0};
    case g_clear: return {"glClear", 1};
    case g_color3f: return {"glColor3f", 3};
    case g_rotatef: return {"glRotatef", 4};
    case g_translatef: return {"glTranslatef", 3};
    case g_enable: return {"glEnable", 1};
    case g_frustum: return {"glFrustum", 6};
    case r_delay: return {"SDL_Delay", 1};
    }
    return {"unknown", 6};
}

// One call as text: its name and each argument exactly, as a hexadecimal float.
std::string text_of(const call& c)
{
    const kind k = kind_of(c.fn);
    std::string s = k.name;
    char a[40];
    for (int n = 0; n < k.args; n++) {
        std::snprintf(a, sizeof a, " %a", c.a[n]);
        s += a;
    }
    return s;
}

// 64-bit FNV-1a over every call's text, each ended by a line feed.
uint64_t hash_calls()
{
    uint64_t h = fnv_basis;
    for (const call& c : calls) {
        const std::string t = text_of(c) + "\n";
        h = fnv1a(t.data(), t.size(), h);
    }
    return h;
}

// A scope with every audio step: values from -32768 up in uneven strides, so cells read -1, 0
// and 1 in no simple pattern.
void fill_scope()
{
    for (int k = 0; k < scope_len; k++)
        scope.v[k].store((int16_t)(k * 7919 % 65536 - 32768), std::memory_order_relaxed);
}

struct moment {
    int32_t t;    // timeline ms of the call
    bool pinned;  // its calls go into the golden; the others only bring the scene's state along
};

const moment moments[] = {
    {14, true},                  // layer 1, one cell; the scope window still closed
    {1234, true},                // layer 1 growing (12), window part open
    {4950, true},                // layer 1 at full size (49)
    {22000, true},               // layers 1 and 2, layer 2 growing (20)
    {24950, true},               // layer 2 at full size, layer 1 kept at 49
    {52000, true},               // layers 2 and 3, layer 3 growing (20)
    {53950, true},               // layer 3 at full size (39)
    {80000, true},               // the last frame before the camera rises
    {80100, false}, {80200, false}, {80300, false}, {80400, false}, {80500, false},
    {80600, false}, {80700, false}, {80800, false}, {80900, false},
    {81000, true},               // the tenth frame of the rise
    {92000, true},               // layers 2, 3 and 4, layer 4 growing (20)
    {99950, true},               // layer 4 alone at full size (99)
    {115999, true},              // the last frame before the end
    {116005, true},              // past the end of the timeline: quitnow raised
    {INT32_MAX, true},           // the largest time: the frame slot wraps past it
};

std::string golden_name() { return std::string("expected/scene-") + SCENE_BUILD + ".golden"; }

using SceneGolden = SceneTest;

TEST_F(SceneGolden, CallsAtEachMomentMatch)
{
    fill_scope();
    std::vector<std::string> lines;
    for (const moment& m : moments) {
        rec_reset();
        magic(m.t);
        if (!m.pinned)
            continue;
        char l[96];
        std::snprintf(l, sizeof l, "t %" PRId32 " calls %zu fnv1a64 %016" PRIx64, m.t, calls.size(),
                      hash_calls());
        lines.push_back(l);
        if (m.t == 14)  // the one-cell frame in full: a change shows call by call
            for (const call& c : calls)
                lines.push_back("  " + text_of(c));
    }
    expect_golden_lines(golden_name(), lines);
}

}  // namespace
