// The context-mixing coder, shared by the packer (encode, search) and the tests (decode). Each
// step is written the way the stub computes it; see cm.h.
#include "cm.h"

#include <cstring>

namespace {

// Counter table: entry k is two bytes, the zero count then the one count of one context.
std::vector<uint8_t> counters(size_t(2) << table_bits);

// The mixing and arithmetic coding of one stream, for encoding and decoding alike.
struct coder {
    const model_set& ms;
    uint64_t hashes[nmodels];  // per model: its context hash for the current byte
    uint8_t* cell[nmodels];    // per model: the counter pair of the current bit
    uint32_t x1 = 0, x2 = 0xFFFFFFFF;  // the current interval, both ends included

    explicit coder(const model_set& m) : ms(m) { std::memset(counters.data(), 0, counters.size()); }

    // Hashes of the byte contexts, from the 8 bytes before position `at` (zeros before the start).
    void start_byte(const uint8_t* data, size_t at) {
        uint64_t prev = 0;
        for (int j = 1; j <= 8; ++j) prev = prev << 8 | (at >= size_t(j) ? data[at - j] : 0);
        for (int i = 0; i < nmodels; ++i)
            hashes[i] = ((prev & context_mask(ms[i].mask)) + ms[i].mask) * hash_mul;
    }

    // Probability (of 65536) that the next bit is 1, given the bits c of the byte so far behind a
    // leading 1. A model that has seen only one value in its context counts twice.
    uint32_t predict(uint32_t c) {
        uint64_t s0 = 1, s1 = 1;
        for (int i = 0; i < nmodels; ++i) {
            uint64_t k = ((hashes[i] + c) * hash_mul) >> (64 - table_bits);
            cell[i] = &counters[2 * k];
            uint32_t n0 = cell[i][0], n1 = cell[i][1], w = ms[i].weight;
            if (n0 * n1 == 0) w *= 2;
            s0 += w * n0;
            s1 += w * n1;
        }
        return uint32_t((s1 << 16) / (s0 + s1));
    }

    // The seen bit's count grows (to at most 255); the other, if above 1, halves and keeps 1 more,
    // so a context that changes its mind follows quickly.
    void update(int y) {
        for (uint8_t* c : cell) {
            if (c[y] < 255) c[y]++;
            uint8_t& o = c[y ^ 1];
            if (o >= 2) o = uint8_t(o / 2 + 1);
        }
    }

    // Where the interval splits: [x1, mid] codes a 1, [mid + 1, x2] a 0.
    uint32_t mid(uint32_t p) const { return x1 + uint32_t((uint64_t(x2 - x1) * p) >> 16); }
};

}  // namespace

uint64_t context_mask(uint8_t m) {
    uint64_t q = 0;
    for (int j = 0; j < 8; ++j)
        if (m >> j & 1) q |= uint64_t(0xFF) << (8 * j);
    return q;
}

void e8_forward(bytes& b) {
    for (size_t i = 0; i + 5 <= b.size(); ++i) {
        if (b[i] != 0xE8) continue;
        uint32_t v;
        std::memcpy(&v, &b[i + 1], 4);
        v += uint32_t(i);
        std::memcpy(&b[i + 1], &v, 4);
        i += 4;
    }
}

void e8_inverse(bytes& b) {
    for (size_t i = 0; i + 5 <= b.size(); ++i) {
        if (b[i] != 0xE8) continue;
        uint32_t v;
        std::memcpy(&v, &b[i + 1], 4);
        v -= uint32_t(i);
        std::memcpy(&b[i + 1], &v, 4);
        i += 4;
    }
}

uint32_t checksum(const bytes& b) {
    uint32_t h = 0;
    for (uint8_t v : b) h = (h + v) * sum_mul;
    return h;
}

namespace {

// Runs the coder over data; out, when given, receives the stream. Returns its length in bits.
uint64_t run_encoder(const model_set& ms, const bytes& data, bytes* out) {
    coder k(ms);
    uint64_t nbits = 0;
    auto emit = [&](uint32_t bit) {
        if (out) {
            if (nbits % 8 == 0) out->push_back(0);
            out->back() |= uint8_t(bit << (nbits % 8));
        }
        nbits++;
    };
    for (size_t at = 0; at < data.size(); ++at) {
        k.start_byte(data.data(), at);
        for (uint32_t c = 1, b = 7; c < 256; --b) {
            int y = data[at] >> b & 1;
            uint32_t m = k.mid(k.predict(c));
            if (y) k.x2 = m; else k.x1 = m + 1;
            k.update(y);
            while (((k.x1 ^ k.x2) & 0x80000000) == 0) {
                emit(k.x2 >> 31);
                k.x1 <<= 1;
                k.x2 = k.x2 << 1 | 1;
            }
            c = c << 1 | uint32_t(y);
        }
    }
    // x1 < 2^31 <= x2 now: a single 1 followed by the zeros the decoder reads past the end
    // names a value inside the final interval, and so inside every earlier one.
    if (!data.empty()) emit(1);
    return nbits;
}

}  // namespace

bytes encode(const model_set& ms, const bytes& data) {
    bytes out;
    run_encoder(ms, data, &out);
    return out;
}

uint64_t coded_bits(const model_set& ms, const bytes& data) { return run_encoder(ms, data, nullptr); }

bytes decode(const model_set& ms, const bytes& stream, uint32_t n) {
    coder k(ms);
    k.x2 = 0;  // the stub starts from an empty interval: the first renormalisation reads 32 bits
    uint32_t x = 0;
    uint64_t pos = 0;
    auto next_bit = [&]() -> uint32_t {
        uint64_t at = pos++;
        return at / 8 < stream.size() ? stream[at / 8] >> (at % 8) & 1 : 0;
    };
    bytes out(n);
    for (uint32_t at = 0; at < n; ++at) {
        k.start_byte(out.data(), at);
        uint32_t c = 1;
        while (c < 256) {
            while (((k.x1 ^ k.x2) & 0x80000000) == 0) {
                k.x1 <<= 1;
                k.x2 = k.x2 << 1 | 1;
                x = x << 1 | next_bit();
            }
            uint32_t m = k.mid(k.predict(c));
            int y = x <= m;
            if (y) k.x2 = m; else k.x1 = m + 1;
            k.update(y);
            c = c << 1 | uint32_t(y);
        }
        out[at] = uint8_t(c);
    }
    return out;
}

model_set refine(const bytes& data, model_set best, int effort) {
    uint64_t best_bits = coded_bits(best, data);
    for (bool better = true; better && effort > 0;) {
        better = false;
        for (int i = 0; i < nmodels && effort > 0; ++i) {
            model was = best[i];
            model tries[12];
            int n = 0;
            for (int j = 0; j < 8; ++j) tries[n++] = {uint8_t(was.mask ^ 1 << j), was.weight};
            for (int w : {was.weight - 1, was.weight + 1, was.weight * 3 / 4, was.weight * 4 / 3})
                if (w >= 1 && w <= 255 && w != was.weight) tries[n++] = {was.mask, uint8_t(w)};
            for (int t = 0; t < n && effort > 0; ++t, --effort) {
                model_set trial = best;
                trial[i] = tries[t];
                uint64_t bits = coded_bits(trial, data);
                if (bits < best_bits) {
                    best_bits = bits;
                    best = trial;
                    better = true;
                }
            }
        }
    }
    return best;
}
