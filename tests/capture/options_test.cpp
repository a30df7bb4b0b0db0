// The command line: the frames a stretch names, and what is refused, with its reason.
// (The defaults and the values taken are checked on what the program writes: test_capture.py.)
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "../../capture/options.h"

namespace {

struct Parsed {
    bool ok;
    options o;
    std::string why;
};

Parsed parse(std::vector<const char*> args)
{
    args.insert(args.begin(), "intro-capture");
    Parsed p{false, {}, {}};
    char why[512] = "";
    p.ok = parse_args(int(args.size()), const_cast<char**>(args.data()), p.o, why, sizeof why);
    p.why = why;
    return p;
}

TEST(Options, QualityAndLossless)
{
    auto p = parse({});
    ASSERT_TRUE(p.ok);
    EXPECT_EQ(p.o.crf, 15);
    EXPECT_STREQ(p.o.preset, "veryfast");
    EXPECT_FALSE(p.o.lossless);
    p = parse({"--crf", "0", "--preset", "placebo"});
    ASSERT_TRUE(p.ok) << p.why;
    EXPECT_EQ(p.o.crf, 0);
    EXPECT_STREQ(p.o.preset, "placebo");
    p = parse({"--crf", "51", "--preset", "ultrafast"});
    ASSERT_TRUE(p.ok) << p.why;
    EXPECT_EQ(p.o.crf, 51);
    p = parse({"--lossless"});  // Matroska by default
    ASSERT_TRUE(p.ok) << p.why;
    EXPECT_TRUE(p.o.lossless);
    EXPECT_STREQ(p.o.out, "vintelo.mkv");
    EXPECT_STREQ(p.o.muxer, "matroska");
    p = parse({"--lossless", "-o", "Show.MKV"});
    ASSERT_TRUE(p.ok) << p.why;
}

TEST(Options, WavToStandardOutput)
{
    for (auto args : {std::vector<const char*>{"--wav", "-"}, {"-o", "v.mp4", "--wav", "-"},
                      {"--frames", "st", "--wav", "-"}}) {
        auto p = parse(args);
        ASSERT_TRUE(p.ok) << p.why;
        EXPECT_STREQ(p.o.wav, "-");
    }
}

TEST(Options, Stretch)
{
    auto p = parse({"--from", "10", "--to", "12"});
    ASSERT_TRUE(p.ok);
    EXPECT_EQ(p.o.first, 600);
    EXPECT_EQ(p.o.last, 720);
    p = parse({"--from", "115.999"});  // to the end: the frame at 116 s that ends the show
    ASSERT_TRUE(p.ok);
    EXPECT_EQ(p.o.first, 6960);
    EXPECT_EQ(p.o.last, 6961);
    p = parse({"--to", "500", "-r", "24"});  // past the end: up to the quit frame
    ASSERT_TRUE(p.ok);
    EXPECT_EQ(p.o.first, 0);
    EXPECT_EQ(p.o.last, 2785);
    p = parse({"--from", "0.016", "--to", "0.017"});  // frame 1 at 16 ms only
    ASSERT_TRUE(p.ok);
    EXPECT_EQ(p.o.first, 1);
    EXPECT_EQ(p.o.last, 2);
}

// Every option of the table is in the synopsis and in --help with its own text, and the parser
// takes it under the names --help gives.
TEST(Options, EachOptionIsListedAndTaken)
{
    char* text = nullptr;
    size_t size = 0;
    FILE* f = open_memstream(&text, &size);
    print_options(f);
    std::fclose(f);
    std::string help = "\n" + std::string(text, size);
    std::free(text);
    std::string synopsis = usage();
    ASSERT_GT(option_count, 10u);
    for (size_t i = 0; i < option_count; i++) {
        const option_def& d = option_table[i];
        std::string label = std::string(d.name) + (d.value ? std::string(" ") + d.value : "");
        EXPECT_NE(synopsis.find("[" + label + "]"), std::string::npos) << label;
        std::string first_line(d.help, std::strcspn(d.help, "\n"));
        size_t at = help.find("\n  " + std::string(d.name));
        ASSERT_NE(at, std::string::npos) << d.name << " is not in --help";
        EXPECT_NE(help.find(first_line, at), std::string::npos) << d.name;
        for (const char* name : {d.name, d.alias}) {
            if (!name)
                continue;
            auto p = parse({name, "x"});
            EXPECT_EQ(p.why.find("unknown option"), std::string::npos) << name << ": " << p.why;
        }
    }
    EXPECT_TRUE(parse({"-h"}).o.help);
}

struct Refused : ::testing::TestWithParam<std::pair<std::vector<const char*>, const char*>> {};

TEST_P(Refused, WithItsReason)
{
    auto [args, reason] = GetParam();
    auto p = parse(args);
    EXPECT_FALSE(p.ok);
    EXPECT_NE(p.why.find(reason), std::string::npos) << p.why;
    EXPECT_EQ(p.why.find('\n'), std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(
    Options, Refused,
    ::testing::Values(
        std::pair{std::vector<const char*>{"-r", "101"}, "at most 100 frames a second"},
        std::pair{std::vector<const char*>{"-r", "0"}, "1 to 100"},
        std::pair{std::vector<const char*>{"-r", "29.97"}, "whole frames"},
        std::pair{std::vector<const char*>{"-r"}, "-r needs a value"},
        std::pair{std::vector<const char*>{"-s", "3842x2160"}, "3840"},
        std::pair{std::vector<const char*>{"-s", "1280x2162"}, "2160"},
        std::pair{std::vector<const char*>{"-s", "1x720"}, "width 2"},
        std::pair{std::vector<const char*>{"-s", "1280*720"}, "WxH"},
        std::pair{std::vector<const char*>{"-s", "-1280x720"}, "WxH"},
        std::pair{std::vector<const char*>{"-s", "1281x720"}, "even"},
        std::pair{std::vector<const char*>{"--synth", "both"}, "port or tiny"},
        std::pair{std::vector<const char*>{"--from", "1.0005"}, "millisecond"},
        std::pair{std::vector<const char*>{"--from", "-1"}, "seconds"},
        std::pair{std::vector<const char*>{"--to", "x"}, "seconds"},
        std::pair{std::vector<const char*>{"--from", "5", "--to", "5"}, "holds no frame"},
        std::pair{std::vector<const char*>{"--from", "117"}, "holds no frame"},
        std::pair{std::vector<const char*>{"--frames", "d", "-o", "v.mp4"}, "leave out -o"},
        std::pair{std::vector<const char*>{"-o", "x.mp4", "--wav", "x.mp4"}, "name the same file"},
        std::pair{std::vector<const char*>{"-o", "x.mp4", "--wav", "./x.mp4"}, "name the same file"},
        std::pair{std::vector<const char*>{"--frames", "d", "--wav", "./d"}, "name the same file"},
        std::pair{std::vector<const char*>{"-o", "show.avi"}, "follows the name's extension: .mp4, .mkv or .mov"},
        std::pair{std::vector<const char*>{"-o", "show"}, "follows the name's extension"},
        std::pair{std::vector<const char*>{"-o", "a.mp4/show"}, "follows the name's extension"},
        std::pair{std::vector<const char*>{"-o", "-"}, "cannot go to standard output"},
        std::pair{std::vector<const char*>{"-o", "/dev/null"}, "cannot go into a device or a FIFO"},
        std::pair{std::vector<const char*>{"--frames", "st", "--wav", "st/m.wav"}, "lies in the stills folder"},
        std::pair{std::vector<const char*>{"--frames", "st/", "--wav", "./st/a/../m.wav"}, "lies in the stills folder"},
        std::pair{std::vector<const char*>{"-o", ""}, "needs a name"},
        std::pair{std::vector<const char*>{"--fps", "30"}, "unknown option --fps"},
        std::pair{std::vector<const char*>{"--crf", "52"}, "0 (best) to 51"},
        std::pair{std::vector<const char*>{"--crf", "-1"}, "0 (best) to 51"},
        std::pair{std::vector<const char*>{"--crf", "17.5"}, "whole number"},
        std::pair{std::vector<const char*>{"--preset", "Medium"}, "one of x264's presets"},
        std::pair{std::vector<const char*>{"--lossless", "-o", "v.mp4"}, "name the video .mkv, not v.mp4"},
        std::pair{std::vector<const char*>{"--lossless", "-o", "v.mov"}, "name the video .mkv, not v.mov"},
        std::pair{std::vector<const char*>{"--lossless", "--preset", "slow"}, "--preset: --lossless keeps every pixel"},
        std::pair{std::vector<const char*>{"--lossless", "--wav", "m.wav"}, "add -o FILE.mkv"},
        std::pair{std::vector<const char*>{"--frames", "d", "--crf", "10"}, "--crf: --frames writes lossless PNG"},
        std::pair{std::vector<const char*>{"--frames", "d", "--lossless"}, "--lossless: --frames"},
        std::pair{std::vector<const char*>{"movie.mp4"}, "unexpected argument movie.mp4"}),
    // Named by position: the default name would print the arguments' addresses, which change
    // from one run of the program to the next.
    [](const ::testing::TestParamInfo<Refused::ParamType>& i) { return std::to_string(i.index); });

}  // namespace
