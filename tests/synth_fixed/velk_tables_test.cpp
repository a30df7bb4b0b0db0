// Note table and wave tables as velk_init leaves them.
#include <cmath>

#include "velk_fixture.h"

using namespace tiny;

using Tables = Velk;

TEST_F(Tables, NoteTableIsHalvedDownFromTheTopOctave) {
    const uint16_t want[nnotes] = {
        32,   34,   36,   38,   41,   43,   46,   49,   51,   55,   58,   61,
        65,   69,   73,   77,   82,   87,   92,   98,   103,  110,  116,  123,
        130,  138,  146,  155,  164,  174,  185,  196,  207,  220,  233,  247,
        261,  277,  293,  311,  329,  349,  370,  392,  415,  440,  466,  494,
        523,  554,  587,  622,  659,  698,  740,  784,  830,  880,  932,  988,
        1047, 1109, 1175, 1245, 1319, 1397, 1480, 1568, 1661, 1760, 1864, 1976};
    for (int i = 0; i < nnotes; ++i) EXPECT_EQ(notei[i], want[i]) << "entry " << i;
}

TEST_F(Tables, SquareAndSawEntries) {
    const int32_t* sq = aalto[w_square];
    const int32_t* saw = aalto[w_saw];
    EXPECT_EQ(sq[0], 32767);
    EXPECT_EQ(sq[83], 32767);
    EXPECT_EQ(sq[84], -32767);
    EXPECT_EQ(sq[167], -32767);
    EXPECT_EQ(sq[168], 32767);
    EXPECT_EQ(saw[0], -32768);
    EXPECT_EQ(saw[1], -32378);
    EXPECT_EQ(saw[167], 32377);
    EXPECT_EQ(saw[168], -32768);
    // 65536 is no multiple of 168: the last entries are part-way through a period.
    EXPECT_EQ(sq[65535], 32767);   // 65535 mod 168 = 15
    EXPECT_EQ(saw[65535], -26917);
}

TEST_F(Tables, SineEntries) {
    const int32_t* s = aalto[w_sine];
    EXPECT_EQ(s[0], 0);
    EXPECT_EQ(s[1], 1225);
    EXPECT_EQ(s[42], 32767);
    EXPECT_EQ(s[126], -32767);
}

// The table is built without libm; every entry must still equal what libm's sin gives for the
// same running angle, rounded to nearest-even.
TEST_F(Tables, EverySineEntryMatchesTheMathLibrary) {
    double t = 0.0;
    int bad = 0;
    for (int k = 0; k < blk_len; ++k) {
        int32_t want = int32_t(std::nearbyint(std::sin(t) * 32767.0));
        if (aalto[w_sine][k] != want && ++bad <= 5)
            ADD_FAILURE() << "entry " << k << ": " << aalto[w_sine][k] << " != " << want;
        t += 0.0374;
    }
    EXPECT_EQ(bad, 0);
}

TEST_F(Tables, NoiseStartsFromTheSeed) {
    const int32_t want[5] = {-15447, -23972, -27662, 2567, 18189};
    for (int k = 0; k < 5; ++k) EXPECT_EQ(aalto[w_noise][k], want[k]) << "entry " << k;
    // The bit the rotation carries to the top first reaches the low 16 bits at entry 17
    // (continued by hand).
    EXPECT_EQ(aalto[w_noise][17], -5549);
}
