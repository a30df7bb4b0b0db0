// libFuzzer target: any text through the song parser; a song it accepts is then mixed for a few
// rows and across the counter's wrap. Besides what ASan and UBSan catch, it aborts when the parser
// or the mixer breaks a promise of its own (see check below).
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <vector>

#include "../song/song.h"
#include "../synth_float/synth.h"

using namespace port;

namespace {

constexpr int rate = 44100;         // the intro's output rate
constexpr int max_frames = 20000;   // frames mixed per input at most: rows can be 264600 frames
constexpr int rows_mixed = 4;       // rows mixed from the start of the song, within max_frames
constexpr int wrap_frames = 2048;   // frames mixed around the counter's wrap, half before it
constexpr int16_t full = 32766;     // largest sample magnitude the clamp lets through

// Chunk sizes for mix_frames, used in turn: the device's 1024 frames and sizes that cut it oddly.
constexpr int chunks[] = {1024, 1, 777, 4096, 3};

#define check(cond)                                                                            \
    do {                                                                                       \
        if (!(cond)) {                                                                         \
            fprintf(stderr, "fuzz-song: %s:%d: failed: %s\n", __FILE__, __LINE__, #cond);    \
            abort();                                                                           \
        }                                                                                      \
    } while (0)

// What an accepted song promises the mixer: sizes that agree, entries inside the tables, and for
// every playing channel an instrument and patterns that exist.
void check_model()
{
    check(row_len >= 1 && echo_len == 3 * row_len);
    for (int n = 0; n < n_slots; n++) {
        check(instr_len[n] >= 0 && instr[n].size() == (size_t)instr_len[n]);
        check(instr_len[n] == 0 || echo[n].size() == (size_t)echo_len);
        int k = 0;
        for (; k < n_entry && trak[n][k] != e_end; k++)
            check(trak[n][k] == e_loop || (trak[n][k] >= 0 && trak[n][k] < n_ptn));
        check(k < n_entry);
        check(trak[n][0] != e_loop);
    }
    for (int n = 0; n < n_ptn; n++) {
        int k = 0;
        while (k < n_entry && ptn[n][k] != e_end)
            k += ptn[n][k] == e_vol || ptn[n][k] == e_sld ? 2 : 1;
        check(k < n_entry && ptn[n][k] == e_end);
    }
    const int np = playing_channels();
    check(np >= 0 && np < n_slots);
    for (int c = 1; c <= np; c++) {
        check(instr_len[c] > 0);
        for (int k = 0; trak[c][k] != e_end; k++)
            check(trak[c][k] == e_loop || ptn[trak[c][k]][0] != e_end);
    }
}

// Mixes frames in changing chunk sizes; every sample must lie within the clamp.
void mix(int frames, int& turn)
{
    static int16_t buf[2 * 4096];
    while (frames > 0) {
        const int n = std::min(frames, chunks[turn++ % std::size(chunks)]);
        mix_frames(buf, n);
        for (int i = 0; i < 2 * n; i++)
            check(buf[i] >= -full && buf[i] <= full);
        frames -= n;
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    synth_start(rate);  // a fresh synthesizer and an empty song for every input

    std::vector<char> text(data, data + size);  // the parser edits its text and needs a NUL
    text.push_back(0);
    if (parse_song(text.data()) != 0) {
        // refused: a message names the reason, and nothing gets played
        check(strncmp(song_error, "song", 4) == 0);
        check(memchr(song_error, 0, sizeof song_error) != nullptr);
        return 0;
    }
    check(song_error[0] == 0);
    check_model();

    int turn = 0;
    const int64_t head = std::min<int64_t>((int64_t)rows_mixed * row_len, max_frames - wrap_frames);
    mix((int)head, turn);
    check(counter == head);

    // The same song hours later: the counter goes back to 0 at a row start.
    counter = counter_wrap() - wrap_frames / 2;
    mix(wrap_frames, turn);
    check(counter == wrap_frames / 2);
    return 0;
}
