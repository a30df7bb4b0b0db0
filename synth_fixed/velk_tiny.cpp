// intro-tiny's synthesizer: wave tables and instrument rendering at start-up, then the
// sequencer, mixer and echo in the audio callback. Integer fixed point throughout, except the
// sine table, computed in double; no library calls of any kind.
#include "velk_tiny.h"

#include "../scene/scope.h"

namespace tiny {

static constexpr int32_t peak = 0x200000;        // envelope level at the end of the attack
static constexpr int32_t sweep_div = 168000;     // sweep counts 1/168000 entry per sample, per sample
static constexpr uint32_t mod_div = 103;         // modulation counts 1/103 sine entry per sample
static constexpr uint32_t mod_frac = 41698711;   // floor(2^32 / 103): one 103rd as a 32-bit fraction
static constexpr uint32_t sine_quarter = 42;     // sine entry holding 32767: the unmodulated scale
static constexpr uint32_t note_div = 262;        // a note of f Hz steps f/262 block entries per sample

int32_t aalto[nblk][blk_len];
int32_t instr[nblk][blk_len];
int32_t echo[nblk][blk_len];

// The instrument being rendered: private to start-up.
static uint32_t ii;        // wave phase, unsigned 16.16: integer part is the wave table entry
static int32_t iip;        // wave phase increment per sample, signed 16.16
static int32_t swp;        // change of iip per sample (pitch sweep), signed 16.16
static int32_t vol;        // envelope level; the attack peaks at 0x200000
static int32_t dv;         // envelope change per sample
static uint32_t op_h, op_l;  // modulation phase increment per sample, 32.32
static uint32_t at;        // next entry of the block to write
uint32_t rndi = rnd_key;
double f_tmp = 0.0;

uint32_t counter = 0;
int32_t ti[nblk] = {-1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1};
int32_t pi[nblk];
uint32_t off[nblk] = {silent, silent, silent, silent, silent, silent, silent, silent, silent, silent, silent};
uint32_t plus[nblk];
int32_t eko[nblk];

// Scratch of the instrument being rendered and of the current mixing run.
static uint32_t oh_h, oh_l;      // modulation phase, 32.32: sine entry (mod 65536) and fraction
static const int32_t* wav;       // wave table of the instrument being rendered
static int32_t* dst;             // its block
static int32_t sum[mix_len];     // mix of each sample of the current run, before clamping
static constexpr double f_plus = 0.0374;   // sine table step, radians per entry
static constexpr double f_mul = 32767.0;   // sine table scale

static scope_buf scope;  // copy of the first scope_len samples of the latest buffer, published via smp

// The design's integer arithmetic wraps at 32 bits; these keep signed wrap-around defined.
static inline int32_t wadd(int32_t a, int32_t b) { return int32_t(uint32_t(a) + uint32_t(b)); }
static inline int32_t wmul(int32_t a, int32_t b) { return int32_t(uint32_t(a) * uint32_t(b)); }

// Signed division by 5 and by 3, truncating toward zero, as a multiply by the rounded-up
// reciprocal: exact for every int32, and it keeps -Os from putting an idiv in the mixing loops.
static inline int32_t div5(int32_t x) { return int32_t(int64_t(x) * 0x66666667 >> 33) - (x >> 31); }
static inline int32_t div3(int32_t x) { return int32_t(int64_t(x) * 0x55555556 >> 32) - (x >> 31); }

// ---- Start-up: note table, wave tables, instruments ----

// Derives notes 1..60 from the top octave: downward, so each octave is halved from the one above
// after that one is derived, and the truncations accumulate.
static void notet() {
    for (int i = nnotes - 13; i >= 0; --i) notei[i] = notei[i + 12] >> 1;
}

// Advances the noise generator and returns its new state.
static uint32_t rnd() {
    uint32_t x = (rndi + rnd_key) ^ rnd_key;
    rndi = x >> 1 | x << 31;
    return rndi;
}

// Sine series coefficients (-1)^j / (2j+1)!, times the table's scale, filled at start-up. On
// [-pi/2, pi/2] eleven terms leave a truncation error near 1e-18, far below a double's last bit.
static constexpr int nterms = 11;
static double sinc[nterms];

// pi in two parts: the high part has 33 significant bits, so q * pi_hi is exact for any q below
// 2^20 (the angle reaches about 2451 rad, q about 780) and the remainder keeps a double's precision.
static constexpr double pi_hi = 0x1.921fb544p+1;
static constexpr double pi_lo = 0x1.0b4611a626331p-33;

// Rounds to nearest-even under the default MXCSR: no library call, no change of rounding mode.
static inline int32_t round_even(double x) {
#ifdef __wasm__
    return static_cast<int32_t>(__builtin_rint(x));  // f64.nearest: half to even, as cvtsd2si
#else
    int32_t r;
    asm("cvtsd2si %1, %0" : "=r"(r) : "x"(x));
    return r;
#endif
}

// One sine entry without libm or x87 fsin, which cost most of the start-up: the running angle
// less the nearest multiple q of pi, then the series of the remainder, rounded to nearest-even
// and negated for odd q (that rounding is symmetric). It stays within 1e-15 of libm's sine, and
// no entry of the table lies within 1e-10 of a rounding boundary, so both round alike.
static int32_t sine_entry() {
    // Dividing by pi_hi may pick the neighbouring q near a half-way point: |r| then exceeds
    // pi/2 by less than 1e-9, where the series is just as good.
    int32_t q = round_even(f_tmp / pi_hi);
    double r = f_tmp - q * pi_hi - q * pi_lo;
    double z = r * r, acc = 0.0;
    for (int j = nterms - 1; j >= 0; --j) acc = acc * z + sinc[j];
    int32_t v = round_even(acc * r);
    return q & 1 ? -v : v;
}

// Fills entry k of all four wave tables in one pass; the noise takes one rnd per entry, in order.
static void aallot() {
    double c = f_mul;
    for (int j = 0; j < nterms; ++j) {
        sinc[j] = c;
        c /= -(2 * j + 2) * (2 * j + 3);
    }
    for (uint32_t k = 0; k < uint32_t(blk_len); ++k) {
        uint32_t e = k % wave_period;
        aalto[w_square][k] = e < wave_period / 2 ? 32767 : -32767;
        aalto[w_saw][k] = int32_t(e * 65536 / wave_period) - 32768;
        aalto[w_noise][k] = int32_t(rnd() & 0xFFFF) - 32768;
        aalto[w_sine][k] = sine_entry();
        f_tmp += f_plus;  // running sum, not k * step: the table follows the summed angle
    }
}

// Renders the next n samples of the current instrument with the current slope dv.
static void phase(int32_t n) {
    for (; n > 0; --n) {
        ii += uint32_t(iip);  // advance first: the first sample reads entry 1
        iip = wadd(iip, swp);
        int32_t x = wmul(wav[ii >> 16], vol >> 10) >> 11;
        int32_t m = aalto[w_sine][oh_h & 0xFFFF] >> 4;
        if (at < uint32_t(blk_len)) dst[at++] = wmul(x, m) >> 12;  // samples past the block are dropped
        vol = wadd(vol, dv);
        uint32_t l = oh_l + op_l;
        oh_h += op_h + (l < oh_l);  // carry of the 32.32 fraction
        oh_l = l;
    }
}

// One envelope stage: the slope, then its samples.
static void phase1(int32_t n, int32_t slope) {
    dv = slope;
    phase(n);
}

// Attack, decay, sustain and release back to back from entry 0 of the record's block; the level,
// the wave phase and the modulation phase carry over from stage to stage.
void adsr(const int32_t* rec) {
    vol = 0;
    ii = 0;
    iip = 0x10000;  // one entry per sample: one 168-entry period at the reference pitch
    oh_h = oh_l = op_h = op_l = 0;
    swp = int32_t(uint32_t(rec[r_sweep]) << 16) / sweep_div;
    uint32_t mod = uint32_t(rec[r_modulation]);
    if (mod == 0) {
        oh_h = sine_quarter;  // constant 32767 >> 4 = 2047: unmodulated sound at 2047/4096
    } else {
        op_h = mod / mod_div;
        op_l = mod % mod_div * mod_frac;
    }
    wav = aalto[rec[r_waveform]];
    dst = instr[rec[r_number]];
    at = 0;

    int32_t attack = rec[r_attack] < 1 ? 1 : rec[r_attack];
    int32_t release = rec[r_release] < 1 ? 1 : rec[r_release];
    phase1(attack, int32_t(uint32_t(peak) / uint32_t(attack)));
    dv = -dv;  // the decay falls at the attack's slope
    phase(rec[r_decay]);
    phase1(rec[r_sustain], 0);
    phase1(release, wadd(0, -(vol / release)));  // ends near zero, not at it
}

void velk_init() {
    notet();
    aallot();
    for (const int32_t* rec : irec) adsr(rec);
}

// ---- Playback ----

// The row byte at the channel's current track entry and pattern row.
static uint8_t getcmd(int ch) { return ptn[trak[ch][ti[ch]]][pi[ch]]; }

int32_t* ekou(int ch, uint32_t count) { return &echo[ch][count % ring_len]; }

// One row on one channel. The end of a pattern takes no row: the next pattern's first byte
// plays in the same row.
static void rovvi(int ch) {
    if (ti[ch] == -2) return;
    ++pi[ch];
    uint8_t cmd = ti[ch] == -1 ? uint8_t(c_end) : getcmd(ch);
    if (cmd == c_end) {
        uint8_t t = trak[ch][++ti[ch]];
        pi[ch] = 0;
        if (t == c_loop) {
            ti[ch] = 0;
        } else if (t == c_end) {
            ti[ch] = -2;  // the track is over; the last sound plays out
            return;
        }
        cmd = getcmd(ch);
    }
    if (cmd == c_empty) return;
    if (cmd == c_stop) {
        off[ch] = silent;
    } else if (cmd == c_echo1) {
        eko[ch] = cmd;
    } else if (cmd == c_echo0) {
        eko[ch] = 0;
    } else {
        plus[ch] = uint32_t(notei[cmd - 1]) * 65536 / note_div;
        off[ch] = 0;
    }
}

// One channel over a run of n samples in which neither of its ring positions wraps: adds its echo
// return (at full level) and its block at the note's pitch into the mix, and writes the ring with
// half the return, or with a fifth of the dry sound while the channel sounds with echo on.
static void mix_run(int ch, int32_t* mix, int n, const int32_t* back, int32_t* now) {
    int m = 0;  // samples that still sound
    uint32_t o = off[ch];
    if (o != silent) {
        uint32_t p = plus[ch];
        uint32_t left = p ? (note_end - o + p - 1) / p : uint32_t(n);  // samples before the note ends
        m = left < uint32_t(n) ? int(left) : n;
        const int32_t* blk = instr[ch];
        bool echo_on = eko[ch] != 0;
        for (int k = 0; k < m; ++k, o += p) {
            int32_t s = blk[o >> 16];
            mix[k] += back[k] + s;
            // with echo on, a fifth of the sound (toward zero) and older echoes are dropped
            now[k] = echo_on ? div5(s) : back[k] >> 1;
        }
        off[ch] = o >= note_end ? silent : o;
    }
    for (int k = m; k < n; ++k) {
        mix[k] += back[k];
        now[k] = back[k] >> 1;  // floor: what the ring holds fades by half each pass
    }
}

// Mixes the next n samples, which hold no row boundary and do not pass the count's wrap, into sum.
// Channel by channel over runs cut where a ring position wraps: the same sums as sample by
// sample, far fewer cache lines in play.
static void mix(int n) {
    for (int k = 0; k < n; ++k) sum[k] = 0;
    for (int k = 0; k < n;) {
        uint32_t c = counter + uint32_t(k);
        uint32_t run = uint32_t(n - k);
        uint32_t wrap_back = ring_len - (c + 1) % ring_len;
        uint32_t wrap_now = ring_len - c % ring_len;
        if (run > wrap_back) run = wrap_back;
        if (run > wrap_now) run = wrap_now;
        // At the last count before the wrap, count + 1 is 0: the read position jumps to entry 0.
        if (c != 0xFFFFFFFF && c + run < c) run = ~c;
        for (int ch = 1; ch <= nchan; ++ch) mix_run(ch, sum + k, int(run), ekou(ch, c + 1), ekou(ch, c));
        k += int(run);
    }
}

void velk_play(void*, uint8_t* stream, int len) {
    int n = len / 2;
    for (int k = 0; k < n;) {
        uint32_t into_row = counter % row_len;
        if (into_row == 0)
            for (int ch = 1; ch <= nchan; ++ch) rovvi(ch);
        int span = n - k;
        if (uint32_t(span) > row_len - into_row) span = int(row_len - into_row);
        if (span > mix_len) span = mix_len;
        // The count wraps to 0 after 2^32 samples, and a row starts there.
        if (counter + uint32_t(span) < counter) span = int(0u - counter);
        mix(span);
        for (int j = 0; j < span; ++j, ++k) {
            int32_t v = div3(sum[j] > mix_max ? mix_max : sum[j] < -mix_max ? -mix_max : sum[j]);
            stream[2 * k] = uint8_t(v);  // signed 16-bit little-endian
            stream[2 * k + 1] = uint8_t(uint32_t(v) >> 8);
            if (k < scope_len) scope.v[k].store(int16_t(v), std::memory_order_relaxed);
        }
        counter += uint32_t(span);
    }
    smp.store(&scope, std::memory_order_release);
}

}  // namespace tiny
