// Reading the text song format into the model. A song the model cannot play safely is refused
// with a message naming its line, before anything of that line is written.
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "song.h"
#include "../synth_float/instrument.h"

namespace port {

char song_error[160];

namespace {

constexpr int max_lines = 1000;        // lines taken from a text; the rest is ignored
constexpr int max_fields = n_entry - 1;  // entries a pattern or track holds before its end marker
// Longest instrument, in samples (about 24 s at 44100 Hz): well inside what the mixer's float
// position counts exactly (2^24), and it keeps the 30 slots' buffers within 120 MiB.
constexpr int64_t max_instr_len = 1 << 20;
// Samples that the instrument lines of one text may render in all: eight of the longest (about
// 190 s of sound). Rendering takes up to 25 ns a sample (a ring-modulated sine), so any text
// parses within about 0.2 s; without this bound, 1000 lines of the longest instruments took 26 s.
constexpr int64_t max_rendered = 8 * max_instr_len;

int line_no;         // line of the text being read, counting every line feed, from 1
int64_t rendered;    // samples rendered by the instrument lines of this text so far
bool echo_ready[n_slots];  // slot's echo line allocated, and still silent, by this parse

// Records the message and gives the parse result for a refused song. Line 0: the song as a whole.
int fail(int line, const char* fmt, ...)
{
    int n = line > 0 ? snprintf(song_error, sizeof song_error, "song line %d: ", line)
                     : snprintf(song_error, sizeof song_error, "song: ");
    va_list ap;
    va_start(ap, fmt);
    vsnprintf(song_error + n, sizeof song_error - n, fmt, ap);
    va_end(ap);
    return 1;
}

// A number as atoi reads it (optional sign, digits up to the first other character, else 0),
// held to the int32 range instead of overflowing.
int32_t num(const char* s)
{
    long v = strtol(s, nullptr, 10);
    if (v > INT32_MAX)
        return INT32_MAX;
    if (v < INT32_MIN)
        return INT32_MIN;
    return (int32_t)v;
}

// Cuts a value part into its comma-separated fields in place, skipping empty ones. Stores at most
// cap field starts in f and returns how many fields there are in all.
int split(char* v, char** f, int cap)
{
    int count = 0;
    while (*v) {
        if (*v == ',') {
            *v++ = 0;
            continue;
        }
        if (count < cap)
            f[count] = v;
        count++;
        while (*v && *v != ',')
            v++;
    }
    return count;
}

int read_bpm(const char* v, int32_t rate)
{
    int32_t tempo = num(v);
    for (int n = 0; n < n_slots; n++)
        if (instr_len[n] > 0)
            return fail(line_no, "bpm line after an instrument line");
    if (tempo < 3)
        return fail(line_no, "tempo %d is below 3", tempo);
    // A row is six ticks of (tempo * 10) / 25 a second, every division truncating: "bpm:89" at
    // 44100 Hz gives 264600 / 35 = 7560 samples. Wide arithmetic: no tempo can overflow it.
    int64_t ticks = (int64_t)tempo * 10 / 25;
    int64_t len = (int64_t)rate * 6 / ticks;
    if (len < 1)
        return fail(line_no, "tempo %d leaves no sample in a row", tempo);
    if (len > INT32_MAX / 3)
        return fail(line_no, "tempo %d makes rows too long", tempo);
    row_len = (int32_t)len;
    echo_len = 3 * row_len;
    return 0;
}

int read_instrument(int32_t n, char* v, int& wave)
{
    static const char* const waves[w_count] = {"kantti", "sini", "saha", "kohina"};
    if (n < 0 || n >= n_slots)
        return fail(line_no, "instrument number %d is outside 0..%d", n, n_slots - 1);
    if (row_len == 0)
        return fail(line_no, "instrument line before the bpm line");
    char* f[9];
    int count = split(v, f, 9);
    if (count < 6)
        return fail(line_no, "instrument line has %d fields, needs 6", count);
    for (int w = 0; w < w_count; w++)
        if (strcmp(f[0], waves[w]) == 0)
            wave = w;  // an unknown name keeps the previous line's waveform
    int32_t len[4];  // attack, decay, sustain, release
    for (int k = 0; k < 4; k++) {
        len[k] = num(f[k + 1]);
        if (len[k] < 0)
            return fail(line_no, "field %d is negative (%d)", k + 2, len[k]);
    }
    if (len[0] == 0 && len[3] == 0)
        return fail(line_no, "attack and release are both 0");
    int64_t total = (int64_t)len[0] + len[1] + len[2] + len[3] + 1;
    if (total > max_instr_len)
        return fail(line_no, "instrument of %lld samples is longer than %lld", (long long)total,
                    (long long)max_instr_len);
    if (rendered + total > max_rendered)
        return fail(line_no, "instrument lines render %lld samples in all, more than %lld",
                    (long long)(rendered + total), (long long)max_rendered);
    int32_t mod = num(f[5]);
    int32_t sweep = count > 6 ? num(f[6]) : 0;
    // Smoothing feeds lowpass times its last output back in: beyond 1 either way the channel
    // grows every frame until its sums are infinite, and the mix turns to NaN.
    int32_t smooth = count > 8 ? num(f[8]) : 0;
    if (smooth < -100 || smooth > 100)
        return fail(line_no, "lowpass %d is outside -100..100", smooth);

    // A slot's echo line is the same silent line for every instrument line of one parse (the row
    // length is fixed before the first): allocated once, not once per line.
    if (!echo_ready[n])
        echo[n].assign(echo_len, 0.0f);
    echo_ready[n] = true;
    rendered += total;
    instr_len[n] = (int32_t)total;
    instr[n].assign(instr_len[n], 0.0f);
    if (count > 7)
        pan[n] = (float)(num(f[7]) / 100.0);
    if (count > 8)
        lowpass[n] = (float)(smooth / 100.0);
    render_instrument(n, wave, len[0], len[1], len[2], len[3], mod, sweep);
    return 0;
}

// The value of a pattern word: its keyword's, or 0 (an empty step) when it is none.
int32_t lookup(const char* w)
{
    for (int k = 0; k < n_names - 1; k++)
        if (strcmp(w, note_names[k]) == 0)
            return notei[k];
    return 0;
}

int read_pattern(int32_t n, char* v)
{
    if (n < 0 || n >= n_ptn)
        return fail(line_no, "pattern number %d is outside 0..%d", n, n_ptn - 1);
    char* f[max_fields];
    int count = split(v, f, max_fields);
    if (count == 0)
        return fail(line_no, "pattern line without any field");
    if (count > max_fields)
        return fail(line_no, "pattern has %d entries, at most %d fit", count, max_fields);
    int32_t e[max_fields];
    for (int k = 0; k < count; k++) {
        e[k] = lookup(f[k]);
        if (e[k] == e_vol || e[k] == e_sld) {
            if (k + 1 == count)
                return fail(line_no, "\"%s\" is the last field; its number is missing", f[k]);
            k++;
            e[k] = num(f[k]);
        }
    }
    for (int k = 0; k < count; k++)
        ptn[n][k] = e[k];
    ptn[n][count] = e_end;
    return 0;
}

int read_track(int32_t n, char* v, int* trak_line)
{
    if (n < 0 || n >= n_slots)
        return fail(line_no, "track number %d is outside 0..%d", n, n_slots - 1);
    char* f[max_fields];
    int count = split(v, f, max_fields);
    if (count > max_fields)
        return fail(line_no, "track has %d entries, at most %d fit", count, max_fields);
    int32_t e[max_fields];
    for (int k = 0; k < count; k++) {
        // "loop", or a pattern reference whose first character is not looked at ("p12": 12)
        if (strcmp(f[k], "loop") == 0) {
            e[k] = e_loop;
            continue;
        }
        e[k] = num(f[k] + 1);
        if (e[k] < 0 || e[k] >= n_ptn)
            return fail(line_no, "pattern number %d is outside 0..%d", e[k], n_ptn - 1);
    }
    if (count > 0 && e[0] == e_loop)
        return fail(line_no, "track starts with \"loop\"");
    for (int k = 0; k < count; k++)
        trak[n][k] = e[k];
    trak[n][count] = e_end;
    trak_line[n] = line_no;
    return 0;
}

// Drops every space and carriage return, closing the gaps.
void compact(char* s)
{
    char* d = s;
    for (; *s; s++)
        if (*s != ' ' && *s != '\r')
            *d++ = *s;
    *d = 0;
}

}  // namespace

int parse_song(char* text)
{
    const int32_t rate = synth_rate();
    if (rate <= 0)
        return fail(0, "the synthesizer is not started");
    song_error[0] = 0;
    compact(text);

    int trak_line[n_slots] = {};  // line of each track read by this parse; 0 for none
    int wave = 0;                 // waveform in force for a line naming none: square at first
    int taken = 0;
    char* p = text;
    line_no = 1;
    rendered = 0;
    for (bool& e : echo_ready)
        e = false;
    while (*p && taken < max_lines) {
        if (*p == '\n') {  // runs of line feeds give no lines
            p++;
            line_no++;
            continue;
        }
        char* line = p;
        while (*p && *p != '\n')
            p++;
        bool lf = *p == '\n';
        *p = 0;
        taken++;

        int r = 0;
        if (line[0] != '#') {
            char* v = strchr(line, ':');
            if (v)
                *v++ = 0;
            else
                v = p;  // no value part: an empty one
            if (strcmp(line, "bpm") == 0)
                r = read_bpm(v, rate);
            else if (line[0] == 'i')
                r = read_instrument(num(line + 1), v, wave);
            else if (line[0] == 'p')
                r = read_pattern(num(line + 1), v);
            else if (line[0] == 't')
                r = read_track(num(line + 1), v, trak_line);
        }
        if (r)
            return r;
        if (lf) {
            p++;
            line_no++;
        }
    }

    // What no single line shows: the tempo, the patterns the tracks name, the instruments of the
    // channels that play.
    if (row_len == 0)
        return fail(0, "no bpm line");
    for (int n = 0; n < n_slots; n++)
        for (int k = 0; trak[n][k] != e_end; k++)
            if (trak[n][k] >= 0 && ptn[trak[n][k]][0] == e_end)
                return fail(trak_line[n], "track %d names pattern %d, which has no line", n, trak[n][k]);
    for (int c = 1; c <= playing_channels(); c++)
        if (instr_len[c] == 0)
            return fail(trak_line[c], "channel %d plays track %d but has no instrument line", c, c);
    return 0;
}

}  // namespace port
