// The time-left estimate: its layer schedule against the scene's own drawing, and its
// estimates on a capture whose frames cost what was measured across the show.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <iterator>
#include <vector>

#include "../../capture/eta.h"
#include "../../playback/clock.h"
#include "../../playback/music.h"
#include "../../scene/idle.h"
#include "../../scene/layers.h"
#include "../../scene/scene.h"
#include "../../scene/timeline.h"

namespace {

// Vertices of each glBegin...glEnd batch of the frame being drawn.
std::vector<int32_t> batches;
void count_begin(unsigned) { batches.push_back(0); }
void count_vertex(float, float, float) { batches.back()++; }
gl_slots counting = idle_slots;

// Every frame of the show at 60 fps draws the layers the estimate expects, with its cells.
TEST(Eta, ScheduleIsTheScenes)
{
    const char* why = "";
    ASSERT_TRUE(render_music(synth_port, 117 * sample_rate, 117000, &why)) << why;
    scene_reset();
    counting.begin = count_begin;
    counting.vertex3f = count_vertex;
    for (int64_t n = 0; n < show_frames(60); n++) {
        int32_t t = frame_ms(n, 60);
        batches.clear();
        shoot(t, counting);
        int32_t cells[4];
        layer_cells(t, cells);
        std::vector<int32_t> want;
        for (int32_t c : cells)
            if (c)
                want.push_back(4 * c);  // four vertices a cell
        ASSERT_EQ(batches, want) << "frame " << n << " at " << t << " ms";
    }
}

// CPU ms a frame of the capture at 1280x720, drawing and reading back, measured by
// `capture-bench --profile 1280x720` at every 2 s of the show from 0.5 s; and x264's (veryfast,
// CRF 15) at some seconds of the show (bench/capture/quality.py), each over half a second.
const double drawn[] = {1.7,  2.8,  5.8,  5.7,  5.7,  6.2,  5.8,  5.7,  6.9,  5.8,  6.0,  11.1, 23.5, 23.9, 29.1,
                        28.3, 28.1, 28.0, 26.9, 27.2, 27.5, 26.5, 25.1, 24.6, 24.6, 25.0, 37.1, 49.8, 43.7, 37.5,
                        36.9, 39.9, 42.6, 42.1, 42.1, 44.4, 48.6, 50.0, 46.6, 43.0, 40.6, 47.2, 47.9, 43.1, 38.2,
                        47.7, 54.5, 37.0, 2.7,  2.0,  3.8,  6.7,  12.2, 15.5, 18.7, 18.6, 18.0, 14.5};
const double coded_at[][2] = {{10.25, 25.1}, {22.25, 22.1}, {40.25, 23.4}, {60.25, 34.9}, {70.25, 28.1},
                              {92.25, 18.7}, {97.25, 9.8},  {105.25, 22.7}, {112.25, 16.2}};

// Linear between the points (x, y) of a table, flat beyond its ends.
template <typename T> double between(const T& points, double x)
{
    if (x <= points[0][0])
        return points[0][1];
    for (size_t i = 1; i < std::size(points); i++)
        if (x <= points[i][0])
            return points[i - 1][1] +
                   (points[i][1] - points[i - 1][1]) * (x - points[i - 1][0]) / (points[i][0] - points[i - 1][0]);
    return points[std::size(points) - 1][1];
}

// CPU seconds the capture really spends on the frame at t ms.
double truth(int32_t t)
{
    double drawn_at[std::size(drawn)][2];
    for (size_t i = 0; i < std::size(drawn); i++) {
        drawn_at[i][0] = 0.5 + 2.0 * static_cast<double>(i);
        drawn_at[i][1] = drawn[i];
    }
    return (between(drawn_at, t / 1000.0) + between(coded_at, t / 1000.0)) / 1000;
}

// A whole 1280x720 capture whose frames take the measured times: from a tenth of the frames on,
// every estimate is within 30 % of the time actually left, where one from the frame rate so far
// is not.
TEST(Eta, WithinAThirdOnTheMeasuredShow)
{
    const int64_t total = show_frames(60);
    eta_plan(0, total, 60, 1280, 720, coding_cost(coder_x264, "veryfast"));
    std::vector<double> left(total + 1, 0);
    for (int64_t n = total - 1; n >= 0; n--)
        left[n] = left[n + 1] + truth(frame_ms(n, 60));
    double worst = 0, worst_linear = 0;
    for (int64_t done = 1; done < total; done++) {
        double elapsed = left[0] - left[done];
        eta_note(done, elapsed);
        if (done < total / 10)
            continue;
        double err = std::fabs(eta_left(done, elapsed) - left[done]) / left[done];
        double linear = std::fabs(elapsed / done * (total - done) - left[done]) / left[done];
        worst = std::max(worst, err);
        worst_linear = std::max(worst_linear, linear);
    }
    EXPECT_LT(worst, 0.3);
    EXPECT_GT(worst_linear, 0.6);
    EXPECT_DOUBLE_EQ(eta_left(total, left[0]), 0);
}

// A stretch is planned as its part of the whole show: with frames that cost what the plan says,
// the estimate is the time left exactly, over the last minute as from the start. Nothing is said
// before a frame is done.
TEST(Eta, StretchesAndTheStart)
{
    const int64_t first = 5400, last = 5880;  // 90 s to 98 s: layer 4 joins, 2 and 3 end
    eta_plan(first, last, 60, 640, 480, 10);
    EXPECT_LT(eta_left(0, 0), 0);
    EXPECT_LT(eta_left(0, 1), 0);
    double spent = 0;
    std::vector<double> cost;
    for (int64_t n = first; n < last; n++)
        cost.push_back(frame_cost(frame_ms(n, 60), 640, 480, 10));
    double all = 0;
    for (double c : cost)
        all += c;
    for (size_t k = 0; k < cost.size(); k++) {
        spent += cost[k] / 100;  // as seconds: the run lasts some minutes, so the minute's window is used
        eta_note(static_cast<int64_t>(k + 1), spent);
        EXPECT_NEAR(eta_left(static_cast<int64_t>(k + 1), spent), all / 100 - spent, 1e-6 * all) << k;
    }
    // Layers 2 and 3 give way to a small layer 4 at 95 s: the frames after cost far less.
    EXPECT_GT(frame_cost(94000, 640, 480, 10), 5 * frame_cost(95500, 640, 480, 10));
}

// Other work takes half the machine from 200 s on: a minute later the estimate has the new pace
// exactly, and keeps it.
TEST(Eta, FollowsTheMachinesPaceOfTheLastMinute)
{
    const int64_t total = show_frames(60);
    eta_plan(0, total, 60, 1280, 720, 26);
    double all = 0;
    for (int64_t n = 0; n < total; n++)
        all += frame_cost(frame_ms(n, 60), 1280, 720, 26);
    double pace = 1.0 / 1000, elapsed = 0, spent = 0, slowed_at = -1;  // s per unit of cost
    for (int64_t n = 0; n < total; n++) {
        double c = frame_cost(frame_ms(n, 60), 1280, 720, 26);
        if (elapsed >= 200 && slowed_at < 0) {
            pace *= 2;
            slowed_at = elapsed;
        }
        elapsed += c * pace;
        spent += c;
        eta_note(n + 1, elapsed);
        if (slowed_at >= 0 && elapsed > slowed_at + 61 && n + 1 < total) {
            ASSERT_NEAR(eta_left(n + 1, elapsed), (all - spent) * pace, 1e-6 * all * pace) << n;
        }
    }
    ASSERT_GT(slowed_at, 0);
    ASSERT_GT(elapsed, slowed_at + 120);  // the test saw the slow pace for more than a minute
}

}  // namespace
