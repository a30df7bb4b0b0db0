// The context-mixing coder, shared by the packer (encode, refine) and the tests (decode). Each
// step is written the way the stub computes it; see cm.h.
#include "cm.h"

#include <cstring>

namespace {

// Counter table: entry k is two bytes, the zero count then the one count of one context.
std::vector<uint8_t> counters(size_t(2) << table_bits);
std::vector<uint8_t*> dirty;  // pairs written since the table was last cleared

// The model side of the coder: contexts, counts and their mix, for encoding and decoding alike.
struct mixer {
    const model_set& ms;
    uint8_t* cell[nmodels] = {};  // per model: the counter pair of the last bit (none before the first)
    int last = 0;                 // the last bit

    explicit mixer(const model_set& m) : ms(m) {
        for (uint8_t* p : dirty) p[0] = p[1] = 0;  // far fewer than the table's entries
        dirty.clear();
    }

    // Weighted counts of zeros and ones for the next bit, whose byte has the bits c so far behind
    // a leading 1 and follows data[at - 8 .. at - 1]. Model by model, the counter pair of the last
    // bit first learns that bit, then the next bit's pair is read. A model that has seen only one
    // value in its context counts three times.
    void predict(const uint8_t* data, size_t at, uint32_t c, uint32_t& s0, uint32_t& s1) {
        uint64_t prev = 0;
        for (int j = 1; j <= 8; ++j) prev = prev << 8 | (at >= size_t(j) ? data[at - j] : 0);
        s0 = s1 = 4;  // a prior: four of each before any model speaks
        for (int i = 0; i < nmodels; ++i) {
            uint64_t salt = uint64_t(ms[i].weight) << 8 | ms[i].mask;
            uint64_t h = (((prev & context_mask(ms[i].mask)) + salt) * hash_mul + c) * hash_mul;
            uint8_t* next = &counters[2 * (h >> (64 - table_bits))];
            if (uint8_t* p = cell[i]) {
                if ((p[0] | p[1]) == 0) dirty.push_back(p);
                if (p[last] < 255) p[last]++;
                uint8_t& o = p[last ^ 1];
                o = uint8_t((o + 1) / 2);  // the other count halves, rounded up
            }
            cell[i] = next;
            uint32_t n0 = next[0], n1 = next[1], w = ms[i].weight;
            if (n0 == 0 || n1 == 0) w *= 3;
            s0 += w * n0;
            s1 += w * n1;
        }
    }
};

// The share of the range that codes a 1: range * s1 / (s0 + s1), at least 1 and below range
// since s0, s1 >= 1 and range >= 2^31 when it is taken.
uint32_t split(uint32_t range, uint32_t s0, uint32_t s1) { return uint32_t(uint64_t(range) * s1 / (s0 + s1)); }

// Binary range encoder, one bit per shift. low carries into bits already decided; those wait in
// `cache` (the last bit out) and `ones` (a run of 1 bits after it) until no carry can reach them.
struct encoder {
    bytes* out;
    uint64_t nbits = 0;
    uint64_t low = 0;
    uint32_t range = 0x80000000;  // the decoder starts from 1 and reads 31 bits
    uint32_t cache = 0;
    uint64_t pending = 1;  // cache and the ones after it, not yet written
    uint64_t used = 0;     // bits up to the last 1 written: the trailing zeros need not be stored
    int lead = 2;          // the first two bits are 0: the coded value lies below 2^31 of 2^32

    void put(uint32_t bit) {
        if (lead > 0) {
            lead--;
            return;
        }
        if (out) {
            if (nbits % 8 == 0) out->push_back(0);
            out->back() |= uint8_t(bit << (nbits % 8));
        }
        if (bit) used = nbits + 1;
        nbits++;
    }

    void shift() {
        if (uint32_t(low) < 0x80000000 || (low >> 32) != 0) {
            uint32_t carry = uint32_t(low >> 32);
            put((cache + carry) & 1);
            for (; pending > 1; --pending) put((1 + carry) & 1);
            pending = 0;
            cache = uint32_t(low >> 31) & 1;
        }
        pending++;
        low = uint32_t(low << 1);
        range <<= 1;
    }

    void code(int y, uint32_t bound) {
        if (y) {
            range = bound;
        } else {
            low += bound;
            range -= bound;
        }
        while (range < 0x80000000) shift();
    }

    // Ends on the value in [low, low + range) with the most trailing zeros, which the decoder
    // then finds after the last bit written.
    void finish() {
        for (int k = 32; k >= 0; --k) {
            uint64_t m = (uint64_t(1) << k) - 1;
            uint64_t v = (low + m) & ~m;
            if (v < low + range) {
                low = v;
                break;
            }
        }
        for (int i = 0; i < 33; ++i) shift();
        if (out) out->resize((used + 7) / 8);
    }
};

}  // namespace

uint64_t context_mask(uint8_t m) {
    uint64_t q = 0;
    for (int j = 0; j < 8; ++j)
        if (m >> j & 1) q |= uint64_t(0xFF) << (8 * j);
    return q;
}

namespace {

void transform(bytes& b, uint64_t base, bool forward) {
    size_t n = b.size();
    b.resize(n + 8);  // zeros past the end, as in the stub's memory
    for (size_t i = 0; i < n;) {
        uint8_t op = b[i++];
        if (op != 0xE8) {
            if (op == 0x0F)
                i++;  // a two-byte opcode: the ModRM byte follows its second byte
            else if (op != 0xFF && (op & 0xF9) != 0x89)
                continue;  // none of FF, 89, 8B, 8D, 8F
            if ((b[i++] & 0xC7) != 0x05) continue;  // the ModRM byte: not RIP-relative
        }
        uint32_t v, at = uint32_t(base + i);  // where the address field lies in the stub's memory
        std::memcpy(&v, &b[i], 4);
        v = forward ? v + at : v - at;
        std::memcpy(&b[i], &v, 4);
        i += 4;
    }
    b.resize(n);
}

}  // namespace

void addr_forward(bytes& b, uint64_t at) { transform(b, at, true); }
void addr_inverse(bytes& b, uint64_t at) { transform(b, at, false); }

uint32_t checksum(const bytes& b) {
    uint32_t h = 0;
    for (uint8_t v : b) h = (h + v) * sum_mul;
    return h;
}

namespace {

uint64_t run_encoder(const model_set& ms, const bytes& data, bytes* out) {
    mixer mx(ms);
    encoder enc{out};
    for (size_t at = 0; at < data.size(); ++at) {
        for (uint32_t c = 1, b = 7; c < 256; --b) {
            int y = data[at] >> b & 1;
            uint32_t s0, s1;
            mx.predict(data.data(), at, c, s0, s1);
            enc.code(y, split(enc.range, s0, s1));
            mx.last = y;
            c = c << 1 | uint32_t(y);
        }
    }
    enc.finish();
    return enc.used;
}

}  // namespace

bytes encode(const model_set& ms, const bytes& data) {
    bytes out;
    run_encoder(ms, data, &out);
    return out;
}

uint64_t coded_bits(const model_set& ms, const bytes& data) { return run_encoder(ms, data, nullptr); }

bytes decode(const model_set& ms, const bytes& stream, uint32_t n) {
    mixer mx(ms);
    uint32_t range = 1, x = 0;  // the first renormalisation reads 31 bits
    uint64_t pos = 0;
    bytes out(n);
    for (uint32_t at = 0; at < n; ++at) {
        uint32_t c = 1;
        while (c < 256) {
            while (range < 0x80000000) {
                range <<= 1;
                uint64_t k = pos++;
                x = x << 1 | (k / 8 < stream.size() ? stream[k / 8] >> (k % 8) & 1 : 0);
            }
            uint32_t s0, s1;
            mx.predict(out.data(), at, c, s0, s1);
            uint32_t bound = split(range, s0, s1);
            int y = x < bound;
            if (y) {
                range = bound;
            } else {
                x -= bound;
                range -= bound;
            }
            mx.last = y;
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
