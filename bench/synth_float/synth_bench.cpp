// Speed of the float synthesizer: the built-in song rendered through mix_frames in device-sized
// buffers (reported as a multiple of real time), a late stretch where the echo lines hold long
// decayed tails, and start-up (tables, parse, every instrument rendered).
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "../../song/song.h"
#include "../../synth_float/synth.h"

using namespace port;

namespace {

constexpr int rate = 44100;
constexpr int buffer = 1024;  // frames per device callback
constexpr int song_seconds = 116;

void start_song()
{
    synth_start(rate);
    if (parse_builtin_song() != 0)
        std::abort();
}

void render_seconds(std::vector<int16_t>& buf, int seconds)
{
    for (int left = seconds * rate; left > 0; left -= buffer)
        mix_frames(buf.data(), left < buffer ? left : buffer);
    benchmark::DoNotOptimize(buf.data());
}

// The whole intro: 116 s of music per iteration.
void BM_WholeSong(benchmark::State& state)
{
    std::vector<int16_t> buf(2 * buffer);
    for (auto _ : state) {
        state.PauseTiming();
        start_song();
        state.ResumeTiming();
        render_seconds(buf, song_seconds);
    }
    state.counters["x_realtime"] = benchmark::Counter(song_seconds, benchmark::Counter::kIsIterationInvariantRate);
}
BENCHMARK(BM_WholeSong)->Unit(benchmark::kMillisecond)->MinTime(2.0);

// One second per iteration, sixteen seconds from the given start: an early stretch against a
// late one, whose echo lines have decayed through many passes.
void BM_Stretch(benchmark::State& state)
{
    std::vector<int16_t> buf(2 * buffer);
    start_song();
    render_seconds(buf, (int)state.range(0));
    for (auto _ : state)
        render_seconds(buf, 1);
    state.counters["x_realtime"] = benchmark::Counter(1, benchmark::Counter::kIsIterationInvariantRate);
}
BENCHMARK(BM_Stretch)->Arg(0)->Arg(100)->Arg(1000)->Iterations(16)->Repetitions(5)
    ->ReportAggregatesOnly(true)->Unit(benchmark::kMillisecond);

// Ten channels that play one note into their echo lines, then fall silent for good: the tails
// shrink by 0.6 a pass and reach the float denormal range about 88 s after the note, where,
// unflushed, they would stay for ever (0.6 of the smallest denormal rounds back to it).
// Seconds 90 to 98 against seconds 120 to 128.
void BM_FadingEcho(benchmark::State& state)
{
    std::vector<int16_t> buf(2 * buffer);
    synth_start(rate);
    char text[512] = "bpm:89\np1:echo1,c4\n";
    for (int n = 1; n <= 10; n++) {
        const size_t at = strlen(text);
        snprintf(text + at, sizeof text - at, "i%d:saha,2,4,1,20000,0\nt%d:p1\n", n, n);
    }
    if (parse_song(text) != 0)
        std::abort();
    render_seconds(buf, (int)state.range(0));
    for (auto _ : state)
        render_seconds(buf, 1);
    state.counters["x_realtime"] = benchmark::Counter(1, benchmark::Counter::kIsIterationInvariantRate);
}
BENCHMARK(BM_FadingEcho)->Arg(90)->Arg(120)->Iterations(8)->Repetitions(3)
    ->ReportAggregatesOnly(true)->Unit(benchmark::kMillisecond);

// synth_start and parse_song with every instrument rendered.
void BM_StartUp(benchmark::State& state)
{
    for (auto _ : state)
        start_song();
}
BENCHMARK(BM_StartUp)->Unit(benchmark::kMillisecond);

// The heaviest text the parser takes: the slowest tempo (the longest echo lines), then 999
// instrument lines over all 30 slots, ring-modulated sines (the slowest to render) of 8000
// samples, which together come to just under the bound on samples rendered per text.
void BM_HeaviestText(benchmark::State& state)
{
    std::string heavy = "bpm:3\n";
    for (int k = 0; k < 999; k++)
        heavy.append("i").append(std::to_string(k % 30)).append(":sini,7999,0,0,0,100,5\n");
    std::string text;
    for (auto _ : state) {
        state.PauseTiming();
        synth_start(rate);
        text = heavy;
        state.ResumeTiming();
        if (parse_song(text.data()) != 0)
            std::abort();
    }
}
BENCHMARK(BM_HeaviestText)->Iterations(5)->Unit(benchmark::kMillisecond);

}  // namespace
