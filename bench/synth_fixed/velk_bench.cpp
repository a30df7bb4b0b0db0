// Start-up cost of the synthesizer and the speed of the audio callback, as a multiple of real time.
#include <benchmark/benchmark.h>

#include <vector>

#include "../../synth_fixed/velk_reset.h"
#include "../../synth_fixed/velk_tiny.h"

using namespace tiny;

// Note table, four 65536-entry wave tables and the ten instruments.
static void BM_velk_init(benchmark::State& state) {
    for (auto _ : state) {
        state.PauseTiming();
        velk_reset();  // reseeds the noise and the sine angle
        state.ResumeTiming();
        velk_init();
        benchmark::DoNotOptimize(instr[10][0]);
    }
}
BENCHMARK(BM_velk_init)->Unit(benchmark::kMillisecond);

// The whole timeline (116 s) in the device's 1024-sample buffers; x_realtime is seconds of sound
// per second of CPU time on one core.
static void BM_song(benchmark::State& state) {
    constexpr int buffers = 116 * 44100 / 1024;
    velk_reset();
    velk_init();
    std::vector<uint8_t> buf(2048);
    for (auto _ : state) {
        state.PauseTiming();
        velk_reset();  // back to the first sample; the tables stay built
        state.ResumeTiming();
        for (int b = 0; b < buffers; ++b) velk_play(nullptr, buf.data(), int(buf.size()));
        benchmark::DoNotOptimize(buf.data());
    }
    double audio_s = double(buffers) * 1024 / 44100;
    state.counters["x_realtime"] = benchmark::Counter(audio_s * double(state.iterations()),
                                                      benchmark::Counter::kIsRate);
}
BENCHMARK(BM_song)->Unit(benchmark::kMillisecond);
