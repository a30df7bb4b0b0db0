// Reading the text song format: its grammar, its corner cases, and the songs it refuses.
#include <gtest/gtest.h>

#include <algorithm>

#include <string>
#include <vector>

#include "../../song/song.h"
#include "../../synth_float/synth.h"

using namespace port;

namespace {

std::string text;  // the parser edits its text in place; this keeps it alive

int parse(const std::string& s)
{
    text = s;
    return parse_song(text.data());
}

const std::string head = "bpm:89\n";  // a song needs its tempo first

// Entries of a pattern or track row up to and including its end marker.
std::vector<int32_t> upto_end(const int32_t* row)
{
    std::vector<int32_t> v;
    for (int k = 0; k < n_entry && (k == 0 || v.back() != e_end); k++)
        v.push_back(row[k]);
    return v;
}
std::vector<int32_t> pat(int n) { return upto_end(ptn[n]); }
std::vector<int32_t> trk(int n) { return upto_end(trak[n]); }

// "p1,p1,...": n references to pattern 1
std::string refs(int n)
{
    std::string s;
    for (int k = 0; k < n; k++)
        s += k ? ",p1" : "p1";
    return s;
}

class Parse : public ::testing::Test {
protected:
    void SetUp() override { synth_start(44100); }
};

using V = std::vector<int32_t>;

TEST_F(Parse, SpacesAndCarriageReturnsVanishEverywhereButTabsStay)
{
    ASSERT_EQ(parse("b p m : 8 9\r\n"
                    "i1 : s i n i , 2 , 1 2 , 1 , 4 0 , 0\r\n"
                    "p 5 : c 1 , G 4,\tc1\n"
                    "i2:sini,\t2,0,0,1,0\n"),
              0)
        << song_error;
    EXPECT_EQ(row_len, 7560);
    EXPECT_EQ(instr_len[1], 2 + 12 + 1 + 40 + 1);
    // a sine: the second sample is the attack's 0.5 times the table's second value
    EXPECT_EQ(instr[1][1], (float)(0.5 * aalto[w_sine][1]));
    EXPECT_EQ(pat(5), (V{32, 415, 0, e_end}));  // a tab spoils a keyword ...
    EXPECT_EQ(instr_len[2], 4);                 // ... but not a number
}

TEST_F(Parse, EmptyFieldsAreSkipped)
{
    ASSERT_EQ(parse(head + "p5:c1,,0\np6:,,c1,,,\n"), 0) << song_error;
    EXPECT_EQ(pat(5), (V{32, 0, e_end}));
    EXPECT_EQ(pat(6), (V{32, e_end}));
}

TEST_F(Parse, UnknownWordsAreEmptyStepsAndCapitalsAreSharps)
{
    ASSERT_EQ(parse(head + "p5:c1,x,C1,00\np6:E1,B6,b6,A6,Echo1,echo0,stop\n"), 0) << song_error;
    EXPECT_EQ(pat(5), (V{32, 0, 34, 0, e_end}));
    EXPECT_EQ(pat(6), (V{0, 0, 1976, 1864, 0, e_echo0, e_stop, e_end}));
}

TEST_F(Parse, CommandsTakeTheirNumberFromTheNextField)
{
    ASSERT_EQ(parse(head + "p5:vol,50,g4\np6:sld,-250,vol,c1,echo1\n"), 0) << song_error;
    EXPECT_EQ(pat(5), (V{e_vol, 50, 392, e_end}));
    // the argument is read as a number even when it looks like a note
    EXPECT_EQ(pat(6), (V{e_sld, -250, e_vol, 0, e_echo1, e_end}));
}

TEST_F(Parse, TrackEntriesAndLoops)
{
    ASSERT_EQ(parse(head + "p0:0\np2:0\np3:0\nt5:p2,loop,p3\nt6:x3,q2,p\n"), 0) << song_error;
    EXPECT_EQ(trk(5), (V{2, e_loop, 3, e_end}));
    EXPECT_EQ(trk(6), (V{3, 2, 0, e_end}));  // the first character is not looked at
}

TEST_F(Parse, LaterLinesReplaceEarlierOnes)
{
    ASSERT_EQ(parse(head + "p5:c1,c1,c1\np5:g4\nt4:p5,p5\nt4:p5\n"
                           "i3:sini,2,0,0,100,0\ni3:kantti,1,0,0,3,0\n"),
              0)
        << song_error;
    EXPECT_EQ(pat(5), (V{392, e_end}));
    EXPECT_EQ(trk(4), (V{5, e_end}));
    EXPECT_EQ(instr_len[3], 5);
    ASSERT_EQ(instr[3].size(), 5u);
    EXPECT_EQ(instr[3][1], -1.0f);  // rendered again, as a square at full level
}

TEST_F(Parse, WaveformNameUnknownKeepsThePreviousLines)
{
    ASSERT_EQ(parse(head + "i1:what,2,4,1,100,0\ni2:kantti,2,4,1,100,0\n"
                           "i3:saha,2,4,1,100,0\ni4:sawtooth,2,4,1,100,0\n"),
              0)
        << song_error;
    EXPECT_EQ(instr[1], instr[2]);  // square before any name is known
    EXPECT_EQ(instr[4], instr[3]);
    EXPECT_NE(instr[3], instr[2]);
}

TEST_F(Parse, InstrumentOptionalFields)
{
    ASSERT_EQ(parse(head + "i1:sini,2,0,0,10,0\ni2:sini,2,0,0,10,0,0,25,50\n"
                           "i2:sini,2,0,0,10,0,0\ni3:sini,2,0,0,10,0,0,80,0,99,99\n"),
              0)
        << song_error;
    EXPECT_EQ(pan[1], 0.5f);
    EXPECT_EQ(lowpass[1], 0.0f);
    EXPECT_EQ(pan[2], 0.25f);  // kept by the later line that gives neither
    EXPECT_EQ(lowpass[2], 0.5f);
    EXPECT_EQ(pan[3], 0.8f);
    EXPECT_EQ(lowpass[3], 0.0f);
    EXPECT_EQ(echo[2].size(), 22680u);
}

TEST_F(Parse, TempoSetsTheRowLength)
{
    ASSERT_EQ(parse("bpm:80\n"), 0) << song_error;
    EXPECT_EQ(row_len, 8268);
    EXPECT_EQ(echo_len, 3 * 8268);
    ASSERT_EQ(parse("bpm:3\n"), 0) << song_error;  // the slowest
    EXPECT_EQ(row_len, 264600);
    ASSERT_EQ(parse("bpm:661502\n"), 0) << song_error;  // the fastest: one sample a row
    EXPECT_EQ(row_len, 1);
    ASSERT_EQ(parse("bpm:89,7\nbpmx:5\n"), 0) << song_error;  // the number ends at the comma; "bpmx" is no tempo
    EXPECT_EQ(row_len, 7560);
}

TEST_F(Parse, CommentsAndKeysOfNoMeaning)
{
    ASSERT_EQ(parse(head + "#i1:sini,2,12,1,4000,0\n#p5:c1\nx:c1\n:p5\nbeat:1\n"), 0) << song_error;
    EXPECT_EQ(instr_len[1], 0);
    EXPECT_EQ(pat(5), (V{e_end}));
    EXPECT_EQ(row_len, 7560);
}

TEST_F(Parse, OnlyTheFirstThousandLinesAreRead)
{
    std::string s = head;
    for (int k = 2; k <= 999; k++)
        s += "#\n";
    ASSERT_EQ(parse(s + "\n\n\np7:c1\np8:c1\n"), 0) << song_error;  // empty lines do not count
    EXPECT_EQ(pat(7), (V{32, e_end}));                             // line 1000
    EXPECT_EQ(pat(8), (V{e_end}));                                 // line 1001
}

TEST_F(Parse, AnEmptyFirstTrackSilencesTheSong)
{
    ASSERT_EQ(parse(head + "p1:c1\nt2:p1\n"), 0) << song_error;  // channel 2 needs no instrument
    EXPECT_EQ(playing_channels(), 0);
    ASSERT_EQ(parse("t1:\n"), 0) << song_error;  // a track line may be empty
    EXPECT_EQ(trk(1), (V{e_end}));
}

TEST_F(Parse, ChecksOfTheWholeSongWaitForTheLastLine)
{
    // patterns and instruments may follow the tracks that use them
    ASSERT_EQ(parse(head + "t1:p1,p2,loop\np1:c1\np2:stop\ni1:sini,2,0,0,10,0\n"), 0) << song_error;
    EXPECT_EQ(playing_channels(), 1);
}

// -- Songs the model cannot play: refused with the line named, nothing written -----------------

TEST_F(Parse, RefusesAMissingOrMisplacedTempo)
{
    EXPECT_EQ(parse("p1:c1\n"), 1);
    EXPECT_STREQ(song_error, "song: no bpm line");
    synth_start(44100);
    EXPECT_EQ(parse("\n\ni1:sini,2,0,0,10,0\nbpm:89\n"), 1);
    EXPECT_STREQ(song_error, "song line 3: instrument line before the bpm line");
    EXPECT_EQ(instr_len[1], 0);
    synth_start(44100);
    EXPECT_EQ(parse(head + "i1:sini,2,0,0,10,0\nbpm:89\n"), 1);
    EXPECT_STREQ(song_error, "song line 3: bpm line after an instrument line");
    synth_start(44100);
    EXPECT_EQ(parse(""), 1);
    EXPECT_STREQ(song_error, "song: no bpm line");
}

TEST_F(Parse, RefusesATempoThatGivesNoRow)
{
    for (const char* t : {"bpm:2", "bpm:0", "bpm:-89", "bpm:", "bpm", "bpm:x89"}) {
        synth_start(44100);
        EXPECT_EQ(parse(std::string(t) + "\n"), 1) << t;
        EXPECT_EQ(row_len, 0) << t;
    }
    EXPECT_STREQ(song_error, "song line 1: tempo 0 is below 3");
    synth_start(44100);
    EXPECT_EQ(parse("bpm:661503\n"), 1);  // a row shorter than one sample
    EXPECT_STREQ(song_error, "song line 1: tempo 661503 leaves no sample in a row");
    EXPECT_EQ(parse("bpm:99999999999\n"), 1);
    EXPECT_EQ(row_len, 0);
}

TEST_F(Parse, RefusesShortOrImpossibleInstruments)
{
    struct Case {
        const char* line;
        const char* msg;
    } cases[] = {
        {"i1:sini,2,12,1,4000", "song line 2: instrument line has 5 fields, needs 6"},
        {"i1:sini,2,,12,1,,4000,", "song line 2: instrument line has 5 fields, needs 6"},
        {"i1", "song line 2: instrument line has 0 fields, needs 6"},
        {"i1:sini,0,5,5,0,0", "song line 2: attack and release are both 0"},
        {"i1:sini,-1,5,5,10,0", "song line 2: field 2 is negative (-1)"},
        {"i1:sini,2,-5,5,10,0", "song line 2: field 3 is negative (-5)"},
        {"i1:sini,2,5,-1,10,0", "song line 2: field 4 is negative (-1)"},
        {"i1:sini,2,5,5,-10,0", "song line 2: field 5 is negative (-10)"},
        {"i1:sini,1,0,0,1048575,0", "song line 2: instrument of 1048577 samples is longer than 1048576"},
        {"i1:sini,2147483647,2147483647,2147483647,2147483647,0",
         "song line 2: instrument of 8589934589 samples is longer than 1048576"},
    };
    for (const auto& c : cases) {
        synth_start(44100);
        EXPECT_EQ(parse(head + c.line + "\n"), 1) << c.line;
        EXPECT_STREQ(song_error, c.msg);
        EXPECT_EQ(instr_len[1], 0) << c.line;
        EXPECT_TRUE(instr[1].empty()) << c.line;
        EXPECT_TRUE(echo[1].empty()) << c.line;
    }
}

TEST_F(Parse, AcceptsTheLongestInstrument)
{
    synth_start(44100);
    EXPECT_EQ(parse(head + "i1:sini,1,0,0,1048574,0\n"), 0) << song_error;
    EXPECT_EQ(instr_len[1], 1 << 20);
    EXPECT_EQ(instr[1].size(), 1u << 20);
}

TEST_F(Parse, RendersAtMostEightLongestInstrumentsInAll)
{
    // Eight instrument lines of 2^20 samples each, four of them replacing earlier ones: exactly
    // the bound, accepted.
    std::string song = head;
    for (int k = 0; k < 8; k++)
        song.append("i").append(std::to_string(1 + k % 4)).append(":kantti,1,0,0,1048574,0\n");
    EXPECT_EQ(parse(song), 0) << song_error;
    EXPECT_EQ(instr_len[4], 1 << 20);

    // One sample more, on a line of its own, is refused, naming that line and leaving its slot.
    synth_start(44100);
    EXPECT_EQ(parse(song + "i5:kantti,1,0,0,0,0\n"), 1);
    EXPECT_STREQ(song_error, "song line 10: instrument lines render 8388610 samples in all, more than 8388608");
    EXPECT_EQ(instr_len[5], 0);

    // A refused song does not count toward the next parse.
    synth_start(44100);
    EXPECT_EQ(parse(song), 0) << song_error;
}

TEST_F(Parse, ReplacedInstrumentLinesKeepTheirSilentEchoLine)
{
    EXPECT_EQ(parse("bpm:3\ni1:saha,2,4,1,30,0\ni1:sini,2,4,1,30,0\ni2:kantti,2,3,1,20,0\n"), 0) << song_error;
    for (int n : {1, 2}) {
        ASSERT_EQ(echo[n].size(), 793800u) << n;  // 3 rows of 264600 samples
        EXPECT_EQ(std::count(echo[n].begin(), echo[n].end(), 0.0f), 793800) << n;
    }
    EXPECT_TRUE(echo[3].empty());
}

TEST_F(Parse, RefusesASmoothingThatGrowsWithoutBound)
{
    // Found by fuzzing: lowpass 9 with pan 0 made the mix NaN within a few dozen frames.
    for (const char* line : {"i1:n,0,0,0,40,0,0,0,900", "i1:sini,2,0,0,10,0,0,50,101",
                             "i1:sini,2,0,0,10,0,0,50,-101,7"}) {
        synth_start(44100);
        EXPECT_EQ(parse(head + line + "\n"), 1) << line;
        EXPECT_EQ(instr_len[1], 0) << line;
        EXPECT_TRUE(echo[1].empty()) << line;
        EXPECT_EQ(pan[1], 0.5f) << line;
        EXPECT_EQ(lowpass[1], 0.0f) << line;
    }
    EXPECT_STREQ(song_error, "song line 2: lowpass -101 is outside -100..100");
    synth_start(44100);
    ASSERT_EQ(parse(head + "i1:sini,2,0,0,10,0,0,50,100\ni2:sini,2,0,0,10,0,0,50,-100\n"), 0) << song_error;
    EXPECT_EQ(lowpass[1], 1.0f);
    EXPECT_EQ(lowpass[2], -1.0f);
}

TEST_F(Parse, RefusesNumbersOutsideTheTables)
{
    struct Case {
        const char* line;
        const char* msg;
    } cases[] = {
        {"i30:sini,2,0,0,10,0", "song line 2: instrument number 30 is outside 0..29"},
        {"i-1:sini,2,0,0,10,0", "song line 2: instrument number -1 is outside 0..29"},
        {"p1000:c1", "song line 2: pattern number 1000 is outside 0..999"},
        {"p-1:c1", "song line 2: pattern number -1 is outside 0..999"},
        {"t30:p1", "song line 2: track number 30 is outside 0..29"},
        {"t-2:p1", "song line 2: track number -2 is outside 0..29"},
        {"t1:p1,p1000", "song line 2: pattern number 1000 is outside 0..999"},
        {"t1:p-3", "song line 2: pattern number -3 is outside 0..999"},
    };
    for (const auto& c : cases) {
        synth_start(44100);
        EXPECT_EQ(parse(head + c.line + "\n"), 1) << c.line;
        EXPECT_STREQ(song_error, c.msg);
        EXPECT_EQ(trak[1][0], e_end) << c.line;
    }
    synth_start(44100);
    EXPECT_EQ(parse(head + "i29:sini,2,0,0,10,0\ni0:sini,2,0,0,10,0\np999:c1\np0:c1\nt29:p999\nt0:p0\n"), 0)
        << song_error;
}

TEST_F(Parse, RefusesMoreThanNinetyNineEntries)
{
    std::string notes;
    for (int k = 0; k < 99; k++)
        notes += "c1,";
    ASSERT_EQ(parse(head + "p1:" + notes + "\nt2:" + refs(99) + "\n"), 0) << song_error;
    EXPECT_EQ(ptn[1][98], 32);
    EXPECT_EQ(ptn[1][99], e_end);
    EXPECT_EQ(trak[2][99], e_end);

    EXPECT_EQ(parse(head + "p2:" + notes + "c1\n"), 1);
    EXPECT_STREQ(song_error, "song line 2: pattern has 100 entries, at most 99 fit");
    EXPECT_EQ(ptn[2][0], e_end);
    notes.resize(notes.size() - 3);  // 98 notes and a command with its number: 100 slots
    EXPECT_EQ(parse(head + "p2:" + notes + "vol,5\n"), 1);
    EXPECT_EQ(parse(head + "t3:" + refs(100) + "\n"), 1);
    EXPECT_STREQ(song_error, "song line 2: track has 100 entries, at most 99 fit");
    EXPECT_EQ(trak[3][0], e_end);
}

TEST_F(Parse, RefusesACommandWithoutItsNumber)
{
    ASSERT_EQ(parse(head + "p1:c1\n"), 0);
    EXPECT_EQ(parse(head + "p1:c1,vol\n"), 1);
    EXPECT_STREQ(song_error, "song line 2: \"vol\" is the last field; its number is missing");
    EXPECT_EQ(pat(1), (V{32, e_end}));  // the refused line left the pattern as it was
    EXPECT_EQ(parse(head + "p1:sld,,\n"), 1);
    EXPECT_STREQ(song_error, "song line 2: \"sld\" is the last field; its number is missing");
}

TEST_F(Parse, RefusesAPatternLineWithoutFields)
{
    for (const char* line : {"p1:", "p1", "p1:,,,"}) {
        EXPECT_EQ(parse(head + line + "\n"), 1) << line;
        EXPECT_STREQ(song_error, "song line 2: pattern line without any field");
    }
}

TEST_F(Parse, RefusesATrackStartingWithLoop)
{
    EXPECT_EQ(parse(head + "p1:c1\nt1:loop,p1\n"), 1);
    EXPECT_STREQ(song_error, "song line 3: track starts with \"loop\"");
    EXPECT_EQ(trak[1][0], e_end);
}

TEST_F(Parse, RefusesATrackNamingAPatternWithoutALine)
{
    EXPECT_EQ(parse(head + "i1:sini,2,0,0,10,0\np1:c1\n#\nt1:p1,p7,loop\n"), 1);
    EXPECT_STREQ(song_error, "song line 5: track 1 names pattern 7, which has no line");
    synth_start(44100);
    // also a track that does not play, and an entry after the loop
    EXPECT_EQ(parse(head + "p1:c1\nt3:p1,loop,p8\n"), 1);
    EXPECT_STREQ(song_error, "song line 3: track 3 names pattern 8, which has no line");
}

TEST_F(Parse, RefusesAPlayingChannelWithoutAnInstrument)
{
    EXPECT_EQ(parse(head + "i1:sini,2,0,0,10,0\np1:c1\nt1:p1\nt2:p1\n"), 1);
    EXPECT_STREQ(song_error, "song line 5: channel 2 plays track 2 but has no instrument line");
    synth_start(44100);
    // track 4 does not play while track 3 is empty
    EXPECT_EQ(parse(head + "i1:sini,2,0,0,10,0\ni2:sini,2,0,0,10,0\np1:c1\nt1:p1\nt2:p1\nt4:p1\n"), 0)
        << song_error;
    EXPECT_EQ(playing_channels(), 2);
}

TEST_F(Parse, RefusesToRunBeforeTheSynthesizerStarts)
{
    const int32_t rate = srate;
    srate = 0;
    EXPECT_EQ(parse(head), 1);
    EXPECT_STREQ(song_error, "song: the synthesizer is not started");
    srate = rate;
    EXPECT_EQ(parse(head), 0);
    EXPECT_STREQ(song_error, "");
}

}  // namespace
