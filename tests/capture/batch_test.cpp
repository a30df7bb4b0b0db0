// The batching slots against OpenGL's own immediate mode, on the capture's real context:
// the same frames drawn both ways must give the same bytes.
#include <GL/gl.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "../../capture/batch.h"
#include "../../capture/gl.h"
#include "../../playback/clock.h"
#include "../../playback/music.h"
#include "../../scene/gfx.h"
#include "../../scene/scene.h"

namespace {

const gl_slots immediate = {.begin = &glBegin, .end = &glEnd, .vertex3f = &glVertex3f, .matrixmode = &glMatrixMode,
                            .loadidentity = &glLoadIdentity, .clear = &glClear, .color3f = &glColor3f,
                            .rotatef = &glRotatef, .translatef = &glTranslatef, .enable = &glEnable,
                            .frustum = &glFrustum};

constexpr int w = 400, h = 300;

// The frames at the given times of one run through the show, drawn with `draw`.
std::vector<std::vector<uint8_t>> run(const std::vector<int32_t>& times, const gl_slots& draw)
{
    scene_reset();
    std::vector<std::vector<uint8_t>> out;
    for (int32_t t : times) {
        gl_draw_to(0);
        shoot(t, draw);
        gl_done(0);
        out.emplace_back(size_t{w} * h * 4);
        gl_read(0, out.back().data());
    }
    return out;
}

struct Batch : ::testing::Test {
    static void SetUpTestSuite()
    {
        ASSERT_TRUE(gl_open(w, h));
        const char* why = "";
        ASSERT_TRUE(render_music(synth_port, 116500 * sample_rate / 1000, 116500, &why)) << why;
    }
    static void TearDownTestSuite() { gl_close(); }
};

// One time in each section of the schedule, around the layers' growth and at full size.
const std::vector<int32_t> times = {1000,  4950,  12000, 22500,  37000, 52000,
                                    70000, 92500, 98000, 102000, 116000};

TEST_F(Batch, FramesEqualImmediateModeByteForByte)
{
    auto batched = run(times, batch_slots);
    auto direct = run(times, immediate);
    for (size_t i = 0; i < times.size(); i++) {
        size_t differ = 0;
        for (size_t b = 0; b < batched[i].size(); b++)
            differ += batched[i][b] != direct[i][b];
        EXPECT_EQ(differ, 0u) << "bytes differ at t = " << times[i];
        size_t lit = 0;  // a black frame would compare equal whatever the slots did
        for (size_t p = 0; p < direct[i].size(); p += 4)
            lit += direct[i][p] | direct[i][p + 1] | direct[i][p + 2] ? 1 : 0;
        EXPECT_GT(lit, 0u) << "nothing drawn at t = " << times[i];
    }
}

// A batch longer than the arrays hold is drawn in parts of whole quads, still equal to
// immediate mode: 201 x 201 small quads, 161604 vertices, over the whole frame.
void many_quads()
{
    tlClear(0x4100);
    tlMatrixMode(GL_PROJECTION);
    tlLoadIdentity();
    tlMatrixMode(GL_MODELVIEW);
    tlLoadIdentity();
    tlBegin(GL_QUADS);
    const int n = 201;
    for (int i = 0; i < n; i++)
        for (int j = 0; j < n; j++) {
            float x = -1 + 2.0f * i / n, y = -1 + 2.0f * j / n, d = 2.5f / n;  // overlapping neighbours
            tlColor3f(float(i) / n, float(j) / n, float((i * 7 + j * 3) % n) / n);
            tlVertex3f(x, y, float(i - j) / n);
            tlVertex3f(x + d, y, 0);
            tlVertex3f(x + d, y + d, float(j - i) / n);
            tlVertex3f(x, y + d, 0);
        }
    tlEnd();
}

TEST_F(Batch, LongBatchSplitsAtWholeQuads)
{
    static_assert(201 * 201 * 4 > batch_max);
    std::vector<uint8_t> got[2];
    const gl_slots* tables[2] = {&batch_slots, &immediate};
    for (int k = 0; k < 2; k++) {
        gslots = *tables[k];
        gl_draw_to(0);
        many_quads();
        gl_done(0);
        got[k].resize(size_t{w} * h * 4);
        gl_read(0, got[k].data());
    }
    EXPECT_TRUE(got[0] == got[1]);
    EXPECT_GT(std::count(got[1].begin(), got[1].end(), 0), 0);  // the frame has both black
    EXPECT_LT(std::count(got[1].begin(), got[1].end(), 0), long(got[1].size() / 2));  // and much colour
}

}  // namespace
