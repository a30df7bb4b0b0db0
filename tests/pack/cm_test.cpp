// The packer's coder on its own: exact transforms and checksum, and encode -> decode giving back
// every byte, on executables and on random data of many shapes and sizes.
#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <iterator>
#include <random>

#include "../../pack/cm.h"

namespace {

bytes read(const char* path) {
    std::ifstream in(path, std::ios::binary);
    return bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

constexpr model_set some_set = {{
    {0x80, 1}, {0x40, 1}, {0x90, 3}, {0xC0, 2}, {0x51, 3}, {0x00, 1},
    {0xE0, 2}, {0x85, 3}, {0x60, 2}, {0x34, 1}, {0xA0, 2}, {0x80, 1},  // last shares with the first
}};

void expect_round_trip(const bytes& data, const model_set& ms = some_set) {
    bytes coded = data;
    addr_forward(coded);
    bytes stream = encode(ms, coded);
    // coded_bits counts up to the stream's last 1 bit; the zeros after it are not stored.
    uint64_t bits = stream.empty() ? 0 : (stream.size() - 1) * 8 + 32 - __builtin_clz(stream.back());
    EXPECT_EQ(coded_bits(ms, coded), bits);
    bytes back = decode(ms, stream, uint32_t(coded.size()));
    ASSERT_EQ(back.size(), coded.size());
    for (size_t i = 0; i < back.size(); ++i) ASSERT_EQ(back[i], coded[i]) << "first difference at byte " << i;
    addr_inverse(back);
    EXPECT_EQ(back, data);
}

TEST(ContextMask, SelectsWholeBytes) {
    EXPECT_EQ(context_mask(0x00), 0u);
    EXPECT_EQ(context_mask(0x81), 0xFF000000000000FFull);
    EXPECT_EQ(context_mask(0x42), 0x00FF00000000FF00ull);
}

TEST(AddressTransform, AddsTheAddressAndSkipsTheOffset) {
    static_assert(image_at == 0x800000);
    bytes b = {0x90, 0xE8, 0x10, 0x00, 0x00, 0x00, 0xE8, 0xFF, 0xFF, 0xFF, 0xFF};
    addr_forward(b);
    // The offset at 2 becomes 0x10 + 0x800002, the one at 7 becomes -1 + 0x800007.
    EXPECT_EQ(b, (bytes{0x90, 0xE8, 0x12, 0x00, 0x80, 0x00, 0xE8, 0x06, 0x00, 0x80, 0x00}));
    addr_inverse(b);
    EXPECT_EQ(b, (bytes{0x90, 0xE8, 0x10, 0x00, 0x00, 0x00, 0xE8, 0xFF, 0xFF, 0xFF, 0xFF}));
}

// The image decoded behind the stub's tail: the addresses are where its bytes lie then.
TEST(AddressTransform, AtAnotherAddress) {
    bytes b = {0xE8, 0x10, 0x00, 0x00, 0x00};
    addr_forward(b, image_at + 0x8E);
    EXPECT_EQ(b, (bytes{0xE8, 0x9F, 0x00, 0x80, 0x00}));  // 0x10 + 0x80008F
    addr_inverse(b, image_at + 0x8E);
    EXPECT_EQ(b, (bytes{0xE8, 0x10, 0x00, 0x00, 0x00}));
}

// Each RIP-relative form, and what the scan takes as opcode and ModRM byte: after 0F the next
// byte is never an opcode (0F E8 is no call), and a ModRM byte is consumed even when it is not
// RIP-relative (8B E8, mov ebp, eax: no call).
TEST(AddressTransform, RipRelativeForms) {
    bytes in = {
        0xFF, 0x15, 0x01, 0x00, 0x00, 0x00,        // call [rip+1]: field at 2
        0x8B, 0x05, 0x02, 0x00, 0x00, 0x00,        // mov eax, [rip+2]: field at 8
        0x89, 0x3D, 0x03, 0x00, 0x00, 0x00,        // mov [rip+3], edi: field at 14
        0x8D, 0x0D, 0x04, 0x00, 0x00, 0x00,        // lea ecx, [rip+4]: field at 20
        0x0F, 0x10, 0x05, 0x05, 0x00, 0x00, 0x00,  // movups xmm0, [rip+5]: field at 27
        0x0F, 0xE8, 0x05, 0x06, 0x00, 0x00, 0x00,  // psubsb mm0, [rip+6]: field at 34
        0x8B, 0xE8, 0x01, 0x02, 0x03, 0x04,        // mov ebp, eax; then no field
        0x8B, 0x45, 0xF8,                          // mov eax, [rbp-8]: not RIP-relative
        0x81, 0x05, 0x07, 0x00, 0x00, 0x00,        // add [rip+7], imm32: not a form
    };
    bytes b = in;
    addr_forward(b);
    bytes want = in;
    for (uint32_t at : {2u, 8u, 14u, 20u, 27u, 34u}) {
        uint32_t v;
        std::memcpy(&v, &want[at], 4);
        v += uint32_t(image_at) + at;
        std::memcpy(&want[at], &v, 4);
    }
    EXPECT_EQ(b, want);
    addr_inverse(b);
    EXPECT_EQ(b, in);
}

// A form whose opcode or ModRM byte is the data's last: the zeros past the end are no field.
TEST(AddressTransform, FormCutByTheEndIsNoField) {
    for (bytes b : {bytes{0x90, 0xFF}, bytes{0x0F}, bytes{0x0F, 0x10}, bytes{0x8B, 0x05}}) {
        bytes was = b;
        addr_forward(b);
        EXPECT_EQ(b, was);
    }
}

TEST(AddressTransform, OffsetCutByTheEndChangesOnlyItsBytesInside) {
    bytes b = {0x00, 0x00, 0xE8, 0xFE, 0x01};  // offset 0x....01FE at 0x800003
    addr_forward(b);
    EXPECT_EQ(b, (bytes{0x00, 0x00, 0xE8, 0x01, 0x02}));
    addr_inverse(b);
    EXPECT_EQ(b, (bytes{0x00, 0x00, 0xE8, 0xFE, 0x01}));
}

TEST(Checksum, EachPositionWithItsOwnWeight) {
    EXPECT_EQ(checksum({}), 0u);
    EXPECT_EQ(checksum({1}), 117u);
    EXPECT_EQ(checksum({1, 0}), 117u * 117);
    EXPECT_EQ(checksum({200, 7}), (200u * 117 + 7) * 117);
    EXPECT_NE(checksum({1, 2}), checksum({2, 1}));
}

TEST(RoundTrip, Executables) {
    for (const char* path : {VPACK, RENDER_TINY, TINY_UNPACKED}) {
        bytes exe = read(path);
        ASSERT_GT(exe.size(), 1000u) << path;
        SCOPED_TRACE(path);
        expect_round_trip(exe);
    }
}

TEST(RoundTrip, RandomDataOfManyShapes) {
    std::mt19937 rng(7);
    for (size_t n : {1, 2, 5, 100, 4096, 30000}) {
        for (int shape = 0; shape < 4; ++shape) {
            bytes d(n);
            for (uint8_t& b : d) {
                uint32_t r = rng();
                b = shape == 0 ? uint8_t(r)                          // incompressible
                  : shape == 1 ? uint8_t(r % 3 == 0 ? 0xE8 : r % 4)  // few values, many calls
                  : shape == 2 ? uint8_t(0)                          // one value: extreme predictions
                  : uint8_t(r % 97 == 0 ? r : 0xFF);                 // long runs, rare surprises
            }
            SCOPED_TRACE(testing::Message() << n << " bytes, shape " << shape);
            expect_round_trip(d);
        }
    }
}

TEST(Refine, NeverLongerAndTheSameEachTime) {
    bytes exe = read(TINY_UNPACKED);
    addr_forward(exe);
    model_set a = refine(exe, some_set, 30);
    EXPECT_LE(coded_bits(a, exe), coded_bits(some_set, exe));
    model_set b = refine(exe, some_set, 30);
    for (int i = 0; i < nmodels; ++i) {
        EXPECT_EQ(a[i].mask, b[i].mask);
        EXPECT_EQ(a[i].weight, b[i].weight);
    }
    expect_round_trip(read(TINY_UNPACKED), a);
}

}  // namespace
