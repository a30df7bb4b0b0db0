// The ripple grid layers: growth, cell counts, quad shapes, heights and the scope walk.
#include <cmath>

#include "fixture.h"
#include "../../scene/tools.h"

namespace {

void (*const draw[5])(int32_t) = {nullptr, draw1, draw2, draw3, draw4};
const double spacing[5] = {0, 0.15, 0.15, 0.15, 0.25};

// Layer l (1 to 4) drawn at t with the half-size of a layer still growing there.
void draw_at(int l, int32_t t)
{
    halfsize[l - 1] = grown_at(t);
    draw[l](t);
}

// Audio step each cell of layer 3 or 4 saw: vertex 1 sits at h + k, vertex 2 at h.
std::vector<long> steps(const std::vector<cell>& cells)
{
    std::vector<long> out;
    for (const cell& c : cells)
        out.push_back(std::lround(c.v[0][1] - c.v[1][1]));
    return out;
}

// The state step of a frame at t, paced so that a frame is due there.
void step(int32_t t)
{
    lasttick = t - 1 - (((t - 1) % 10) + 10) % 10;
    scene_step(t);
}

using Growth = SceneTest;

TEST_F(Growth, HalfSizeZeroDrawsOneQuad)
{
    for (int l = 1; l <= 4; l++) {
        rec_reset();
        draw[l](10);
        EXPECT_EQ(count(g_begin), 1) << l;
        EXPECT_EQ(count(g_end), 1) << l;
        EXPECT_EQ(count(g_color3f), 1) << l;
        EXPECT_EQ(count(g_vertex3f), 4) << l;
    }
}

TEST_F(Growth, FullSizesAndCellCounts)
{
    struct { int layer; int32_t t; int32_t n; size_t cells; } want[] = {
        {1, 4900, 49, 9801}, {2, 24900, 49, 9801}, {3, 53900, 39, 6241}, {4, 99900, 99, 39601}};
    for (auto w : want) {
        step(w.t);
        EXPECT_EQ(halfsize[w.layer - 1], w.n) << w.layer;
        rec_reset();
        draw[w.layer](w.t);
        EXPECT_EQ(count(g_begin), 1) << w.layer;
        EXPECT_EQ(calls[w.layer == 1 ? 0 : 1].a[0], 7) << w.layer;  // GL_QUADS
        EXPECT_EQ(count(g_end), 1) << w.layer;
        EXPECT_EQ(size_t(count(g_color3f)), w.cells) << w.layer;
        EXPECT_EQ(size_t(count(g_vertex3f)), 4 * w.cells) << w.layer;
        // Every cell is one colour followed by exactly four vertices.
        for (size_t n = calls.size() - 1 - 5 * w.cells, m = 0; m < w.cells; m++, n += 5) {
            ASSERT_EQ(calls[n].fn, g_color3f) << w.layer << " cell " << m;
            for (int v = 1; v <= 4; v++)
                ASSERT_EQ(calls[n + v].fn, g_vertex3f) << w.layer << " cell " << m;
        }
    }
}

TEST_F(Growth, SizeFrozenAtTheLimit)
{
    step(4900);
    step(5000);
    step(24000);
    EXPECT_EQ(halfsize[0], 49);

    // No frame between 4900 and 4999: the size of the last earlier frame stays.
    halfsize[0] = 0;
    step(4850);
    step(5000);
    EXPECT_EQ(halfsize[0], 48);

    step(20001);
    EXPECT_EQ(halfsize[1], 0);
    step(24999);
    EXPECT_EQ(halfsize[1], 49);
    step(25000);
    step(94999);
    EXPECT_EQ(halfsize[1], 49);

    step(99999);
    EXPECT_EQ(halfsize[3], 99);
    step(100000);
    EXPECT_EQ(halfsize[3], 99);
}

TEST_F(Growth, OnlyInFramesThatDrawTheLayer)
{
    step(19990);  // layer 2 not drawn yet: it would be 99
    step(49990);  // nor layer 3
    step(89990);  // nor layer 4
    EXPECT_EQ(halfsize[1] | halfsize[2] | halfsize[3], 0);
}

TEST_F(Growth, FirstFrameAfterLimitKeepsZero)
{
    step(54000);
    step(60000);
    EXPECT_EQ(halfsize[2], 0);
    draw3(60000);
    EXPECT_EQ(count(g_color3f), 1);
}

using Heights = SceneTest;

TEST_F(Heights, RippleValues)
{
    draw_at(1, 10);  // the centre cell only
    EXPECT_NEAR(2 * cells_of(0)[0].r, 0.41232, 5e-6);

    rec_reset();
    draw_at(1, 1000);  // half-size 10: cell (i, j) is number (i + 10) * 21 + j + 10
    auto c = cells_of(0);
    ASSERT_EQ(c.size(), 441u);
    EXPECT_NEAR(2 * c[10 * 21 + 10].r, 0.52855, 5e-6);
    EXPECT_NEAR(2 * c[11 * 21 + 10].r, 0.54798, 5e-6);
    EXPECT_NEAR(2 * c[10 * 21 + 11].r, 0.54798, 5e-6);  // the ripple is round

    halfsize[1] = 49;
    rec_reset();
    draw2(30000);  // half-size 49 kept: cell (10, 10) is number 59 * 99 + 59
    c = cells_of(0);
    ASSERT_EQ(c.size(), 9801u);
    EXPECT_NEAR(2 * c[59 * 99 + 59].r, 0.45847, 5e-6);
}

TEST_F(Heights, EveryCellHasItsOwnRipple)
{
    halfsize[3] = max_half;
    for (int32_t t : {99900, 113000}) {  // a new frame must not reuse the last frame's heights
        rec_reset();
        draw4(t);
        auto c = cells_of(0);
        ASSERT_EQ(c.size(), 39601u);
        size_t m = 0;
        for (int32_t i = -99; i <= 99; i++)
            for (int32_t j = -99; j <= 99; j++, m++) {
                float sum = float(i * i + j * j + 0.0034321 * t);
                float h = float((ttanf(float(0.19 * tsqrtf(sum))) * 35 + 40) / 100);
                ASSERT_EQ(c[m].v[1][1], -h) << t << " cell " << i << "," << j;
            }
    }
}

TEST_F(Heights, Layer4NegatesTheHeight)
{
    for (int32_t t : {10, 1000, 7777}) {
        rec_reset();
        draw_at(3, t);
        auto up = cells_of(0);
        rec_reset();
        draw_at(4, t);
        auto down = cells_of(0);
        ASSERT_EQ(up.size(), down.size());
        // Same cells only at the centre (the spacing differs); compare it.
        size_t mid = up.size() / 2;
        EXPECT_EQ(down[mid].v[1][1], -up[mid].v[1][1]) << t;
        EXPECT_EQ(down[mid].r, -up[mid].r) << t;
        EXPECT_EQ(down[mid].g, -up[mid].g) << t;
        EXPECT_NEAR(down[mid].b, -up[mid].b, 1e-7) << t;
        EXPECT_LT(down[mid].r, 0) << t;  // a positive ripple shows black in layer 4
    }
}

using Quads = SceneTest;

// Checks every cell of a layer against its colour and quad shape, with the audio step pattern k(cell).
void check_shapes(int layer, int32_t n, std::vector<long> k)
{
    const double s = spacing[layer];
    auto cells = cells_of(0);
    ASSERT_EQ(cells.size(), size_t((2 * n + 1) * (2 * n + 1)));
    size_t m = 0;
    for (int32_t i = -n; i <= n; i++)
        for (int32_t j = -n; j <= n; j++, m++) {
            const cell& c = cells[m];
            const float h = 2 * c.r;  // red is h / 2 exactly, with h negated in layer 4
            ASSERT_EQ(c.g, h / 4);
            ASSERT_NEAR(c.b, h / 6, std::fabs(h) * 1e-7);
            const double x0 = s * i - s / 2, z0 = s * j - s / 2;
            const double X = x0 / h, Z = z0 / h;
            const double kk = k[m % k.size()];
            auto v = [&](int n, double x, double y, double z) {
                double tol = 1e-6 * (1 + std::fabs(X) + std::fabs(Z));
                EXPECT_NEAR(c.v[n][0], x, tol) << layer << " cell " << i << "," << j << " vertex " << n + 1;
                EXPECT_NEAR(c.v[n][1], y, tol) << layer << " cell " << i << "," << j << " vertex " << n + 1;
                EXPECT_NEAR(c.v[n][2], z, tol) << layer << " cell " << i << "," << j << " vertex " << n + 1;
            };
            switch (layer) {
            case 1:
                v(0, X, 0.1 * std::cos(h) + 0.1, Z);
                v(1, X + s, kk, Z);
                v(2, X + s, kk, Z + s);
                v(3, X, kk, Z + s);
                break;
            case 2:
                v(0, x0, h, z0);
                v(1, X + s + kk, 0, Z + kk);
                v(2, X + s + kk, 0, Z + s + kk);
                v(3, X + kk, 0, Z + s + kk);
                break;
            default:
                v(0, layer == 3 ? X : x0, h + kk, layer == 3 ? Z : z0);
                v(1, x0 + s, h, z0);
                v(2, x0 + s, h, z0 + s);
                v(3, x0, h, z0 + s);
                break;
            }
            if (::testing::Test::HasFailure())
                return;
        }
}

TEST_F(Quads, EveryCornerOfEveryLayer)
{
    // t = 300: half-size 3, window 20 wide from index 502: reads 502, 510, 518, then again.
    scope.v[502] = 20000;
    scope.v[510] = 0;
    scope.v[518] = -20000;
    for (int l = 1; l <= 4; l++) {
        rec_reset();
        draw_at(l, 300);
        check_shapes(l, 3, {1, 0, -1});
    }
}

using ScopeWalk = SceneTest;

TEST_F(ScopeWalk, NarrowWindowReadsTheMiddle)
{
    fill(-32768);
    scope.v[512] = 20000;
    for (int32_t t = 0; t <= 14; t++) {
        rec_reset();
        draw_at(3, t);
        EXPECT_EQ(steps(cells_of(0)), std::vector<long>{1}) << t;
    }
}

TEST_F(ScopeWalk, HalfWindowRestartsEvery64Cells)
{
    // t = 7500: window 512 wide, indices 256, 264, ..., 760.
    scope.v[256] = 20000;
    scope.v[264] = -20000;
    scope.v[760] = 32767;
    scope.v[260] = scope.v[255] = scope.v[768] = scope.v[761] = -32768;  // never read
    draw_at(3, 7500);
    auto k = steps(cells_of(0));
    ASSERT_EQ(k.size(), 151u * 151u);
    for (size_t m = 0; m < k.size(); m++) {
        long want = m % 64 == 0 ? 1 : m % 64 == 1 ? -1 : m % 64 == 63 ? 1 : 0;
        ASSERT_EQ(k[m], want) << "cell " << m;
    }
}

TEST_F(ScopeWalk, UnevenWindowWidth)
{
    // t = 12345: window 842 wide from 91; positions 0..840, so 106 cells per sweep.
    scope.v[91] = 20000;
    scope.v[931] = -20000;
    scope.v[939] = scope.v[90] = 32767;  // just outside
    draw_at(4, 12345);
    auto k = steps(cells_of(0));
    ASSERT_EQ(k.size(), 47u * 47u);
    for (size_t m = 0; m < k.size(); m++) {
        long want = m % 106 == 0 ? 1 : m % 106 == 105 ? -1 : 0;
        ASSERT_EQ(k[m], want) << "cell " << m;
    }
}

TEST_F(ScopeWalk, FullWindowFrom15000)
{
    scope.v[0] = 20000;
    scope.v[1016] = -20000;
    scope.v[4] = scope.v[1020] = scope.v[1023] = 32767;  // between the read positions
    for (int32_t t : {15000, 60000}) {
        rec_reset();
        draw_at(3, t);
        auto k = steps(cells_of(0));
        ASSERT_FALSE(k.empty());
        for (size_t m = 0; m < k.size(); m++) {
            long want = m % 128 == 0 ? 1 : m % 128 == 127 ? -1 : 0;
            ASSERT_EQ(k[m], want) << t << " cell " << m;
        }
    }
}

TEST_F(ScopeWalk, StepThresholds)
{
    struct { int16_t v; long k; } want[] = {{0, 0},      {19999, 0},  {-19999, 0}, {20000, 1},
                                            {-20000, -1}, {32767, 1}, {-32768, -1}};
    for (auto w : want) {
        scope.v[512] = w.v;
        rec_reset();
        draw_at(3, 10);
        EXPECT_EQ(steps(cells_of(0)), std::vector<long>{w.k}) << w.v;
    }
}

// A timeline time below 0 (the tick count wrapped) opens no window: the cell reads the middle,
// not 170 values past the buffer's end, where a window of -1365 values would have it read.
struct guarded {
    scope_buf s;
    int16_t after[scope_len];  // what lies past the buffer
} guarded_scope;

TEST_F(ScopeWalk, TimeBelowZeroReadsInsideTheBuffer)
{
    for (auto& v : guarded_scope.s.v)
        v.store(0);
    guarded_scope.s.v[512] = 20000;
    for (int16_t& v : guarded_scope.after)
        v = -32768;
    smp.store(&guarded_scope.s);
    for (int32_t t : {-10000, -20000}) {  // half-size (t / 100) % 100 = 0: one cell
        rec_reset();
        draw_at(1, t);  // its second corner lies at the step (the height is NaN here: no root of t < 0)
        const std::vector<cell> c = cells_of(0);
        ASSERT_EQ(c.size(), 1u) << t;
        EXPECT_EQ(c[0].v[1][1], 1.0f) << t;
    }
}

scope_buf later;
int colours_seen;

TEST_F(ScopeWalk, BufferPublishedMidFrameShowsInTheRest)
{
    for (auto& s : later.v)
        s.store(20000);
    // The 100th colour comes after the 100th cell read its sample; switch buffers there.
    colours_seen = 0;
    on_call = [](const call& c) {
        if (c.fn == g_color3f && ++colours_seen == 100)
            smp.store(&later);
    };
    draw_at(3, 15000);
    auto k = steps(cells_of(0));
    ASSERT_EQ(k.size(), 101u * 101u);
    for (size_t m = 0; m < k.size(); m++)
        ASSERT_EQ(k[m], m < 100 ? 0 : 1) << "cell " << m;
}

}  // namespace
