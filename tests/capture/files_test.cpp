// Output files under temporary names, the WAV format, and the progress line.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

#include "../../capture/outputs.h"
#include "../../capture/progress.h"
#include "../../capture/report.h"
#include "../../capture/stop.h"
#include "../../capture/wav.h"

namespace {

std::set<std::string> listing(const std::string& dir)
{
    std::set<std::string> names;
    DIR* d = opendir(dir.c_str());
    while (dirent* e = readdir(d))
        if (std::strcmp(e->d_name, ".") && std::strcmp(e->d_name, ".."))
            names.insert(e->d_name);
    closedir(d);
    return names;
}

std::string slurp(const std::string& path)
{
    std::ifstream f(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(f), {}};
}

struct Files : ::testing::Test {
    std::string dir;
    void SetUp() override
    {
        char tmpl[] = "/tmp/capture-files-XXXXXX";
        dir = mkdtemp(tmpl);
        failed = false;
        stop_signal = 0;
    }
    void TearDown() override
    {
        out_discard();
        for (auto& n : listing(dir))
            unlink((dir + "/" + n).c_str());
        rmdir(dir.c_str());
        failed = false;
        stop_signal = 0;
    }
};

TEST_F(Files, WrittenUnderATemporaryNameThenRenamed)
{
    int i = -1, j = -1;
    std::string video = dir + "/v.mp4";
    int fd = out_create(video.c_str(), nullptr, &i);
    ASSERT_GE(fd, 0);
    int fd2 = out_create(nullptr, video.c_str(), &j);  // a scratch file beside it
    ASSERT_GE(fd2, 0);
    ASSERT_TRUE(write_all(fd, "abc", 3));
    close(fd);
    close(fd2);
    auto during = listing(dir);
    EXPECT_EQ(during.size(), 2u);
    for (auto& n : during)
        EXPECT_EQ(n[0], '.') << n;  // hidden while unfinished
    EXPECT_EQ(outs[j].path[0], 0);

    ASSERT_TRUE(out_commit());
    EXPECT_EQ(listing(dir), std::set<std::string>{"v.mp4"});  // the scratch file is gone
    EXPECT_EQ(slurp(video), "abc");
    struct stat st;
    ASSERT_EQ(stat(video.c_str(), &st), 0);
    mode_t mask = umask(0);
    umask(mask);
    EXPECT_EQ(st.st_mode & 0777, 0666 & ~mask);  // an ordinary file's mode, not mkstemp's 0600
}

// A link stays a link: the file it names, in its own folder, is replaced (its permissions kept),
// also where it is not there yet. Nothing is left beside the link.
TEST_F(Files, LinksAreFollowed)
{
    ASSERT_EQ(mkdir((dir + "/sub").c_str(), 0777), 0);
    { std::ofstream(dir + "/sub/real.wav") << "old"; }
    chmod((dir + "/sub/real.wav").c_str(), 0640);  // kept by its replacement
    ASSERT_EQ(symlink("sub/real.wav", (dir + "/link.wav").c_str()), 0);
    ASSERT_EQ(symlink("sub/new.wav", (dir + "/dangling.wav").c_str()), 0);
    for (const char* name : {"/link.wav", "/dangling.wav"}) {
        int i = -1;
        int fd = out_create((dir + name).c_str(), nullptr, &i);
        ASSERT_GE(fd, 0) << name;
        EXPECT_EQ(std::string(outs[i].tmp).rfind(dir + "/sub/.", 0), 0u) << outs[i].tmp;
        ASSERT_TRUE(write_all(fd, name, 4));
        close(fd);
        ASSERT_TRUE(out_commit());
    }
    struct stat st;
    for (const char* link : {"/link.wav", "/dangling.wav"}) {
        ASSERT_EQ(lstat((dir + link).c_str(), &st), 0);
        EXPECT_TRUE(S_ISLNK(st.st_mode)) << link;
    }
    EXPECT_EQ(slurp(dir + "/sub/real.wav"), "/lin");
    ASSERT_EQ(stat((dir + "/sub/real.wav").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0640u);
    EXPECT_EQ(slurp(dir + "/sub/new.wav"), "/dan");
    EXPECT_EQ(listing(dir), (std::set<std::string>{"dangling.wav", "link.wav", "sub"}));
    EXPECT_EQ(listing(dir + "/sub"), (std::set<std::string>{"new.wav", "real.wav"}));
    unlink((dir + "/sub/real.wav").c_str());
    unlink((dir + "/sub/new.wav").c_str());
    rmdir((dir + "/sub").c_str());
}

TEST(Paths, InsideAFolderHoweverSpelt)
{
    char tmpl[] = "/tmp/capture-paths-XXXXXX";
    std::string d = mkdtemp(tmpl);
    ASSERT_EQ(mkdir((d + "/st").c_str(), 0777), 0);
    ASSERT_EQ(symlink("st", (d + "/lnk").c_str()), 0);
    EXPECT_TRUE(inside((d + "/st").c_str(), (d + "/st/m.wav").c_str()));
    EXPECT_TRUE(inside((d + "/lnk").c_str(), (d + "/st/m.wav").c_str()));
    EXPECT_TRUE(inside((d + "/st").c_str(), (d + "/lnk/new/m.wav").c_str()));
    EXPECT_TRUE(inside((d + "/st/").c_str(), (d + "//st/./x/../m.wav").c_str()));
    EXPECT_TRUE(inside((d + "/new").c_str(), (d + "/new/a/m.wav").c_str()));  // neither made yet
    EXPECT_TRUE(inside("/", (d + "/m.wav").c_str()));
    EXPECT_FALSE(inside((d + "/st").c_str(), (d + "/st").c_str()));
    EXPECT_FALSE(inside((d + "/st").c_str(), (d + "/stx/m.wav").c_str()));
    EXPECT_FALSE(inside((d + "/st").c_str(), (d + "/st/../m.wav").c_str()));
    EXPECT_FALSE(inside((d + "/new").c_str(), (d + "/m.wav").c_str()));
    unlink((d + "/lnk").c_str());
    rmdir((d + "/st").c_str());
    rmdir(d.c_str());
}

TEST_F(Files, OnlyTheFirstFailureIsReported)
{
    testing::internal::CaptureStderr();
    EXPECT_FALSE(fail("first %d", 1));
    EXPECT_FALSE(fail("second"));
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "intro-capture: first 1\n");
}

TEST(Wav, HeaderOfStereoAndMono)
{
    uint8_t h[wav_header_len];
    wav_header(h, 2, 5116335);
    const uint8_t stereo[wav_header_len] = {
        'R', 'I', 'F', 'F', 0xE0, 0x46, 0x38, 0x01, 'W', 'A', 'V', 'E', 'f', 'm', 't', ' ',
        16, 0, 0, 0, 1, 0, 2, 0, 0x44, 0xAC, 0, 0, 0x10, 0xB1, 0x02, 0,
        4, 0, 16, 0, 'd', 'a', 't', 'a', 0xBC, 0x46, 0x38, 0x01};  // 5116335 * 4 = 0x013846BC
    EXPECT_EQ(0, std::memcmp(h, stereo, sizeof h));
    wav_header(h, 1, 3);
    const uint8_t mono[wav_header_len] = {
        'R', 'I', 'F', 'F', 42, 0, 0, 0, 'W', 'A', 'V', 'E', 'f', 'm', 't', ' ',
        16, 0, 0, 0, 1, 0, 1, 0, 0x44, 0xAC, 0, 0, 0x88, 0x58, 0x01, 0,
        2, 0, 16, 0, 'd', 'a', 't', 'a', 6, 0, 0, 0};
    EXPECT_EQ(0, std::memcmp(h, mono, sizeof h));
}

TEST(Progress, LineWithAndWithoutBar)
{
    char line[256];
    EXPECT_STREQ(progress_line(line, sizeof line, 3480, 6961, 60, 123.4, 100.2, 200),
                 "[###########-------------] 3480/6961 frames  49%  28.2 fps  2:03 elapsed  ETA 1:40  0.47x real time");
    EXPECT_STREQ(progress_line(line, sizeof line, 6961, 6961, 60, 3725, 0, 0),
                 "6961/6961 frames 100%  1.9 fps  1:02:05 elapsed  ETA 0:00  0.03x real time");
    EXPECT_STREQ(progress_line(line, sizeof line, 0, 100, 25, 0, -1, 0),
                 "0/100 frames   0%  0.0 fps  0:00 elapsed  ETA -:--  0.00x real time");
}

// A narrow terminal: the bar shortens, then real time, rate, elapsed, the bar and the frame
// count go in that order; the line always ends before the last column.
TEST(Progress, FitsTheTerminal)
{
    char line[256];
    auto at = [&](int width) { return std::string(progress_line(line, sizeof line, 3480, 6961, 60, 123.4, 100.2, width)); };
    EXPECT_EQ(at(100), "[###########-------------] 3480/6961 frames  49%  28.2 fps  2:03 elapsed  ETA 1:40  0.47x real time");
    EXPECT_EQ(at(87), "[#####------] 3480/6961 frames  49%  28.2 fps  2:03 elapsed  ETA 1:40  0.47x real time");
    EXPECT_EQ(at(86), "[####------] 3480/6961 frames  49%  28.2 fps  2:03 elapsed  ETA 1:40  0.47x real time");
    EXPECT_EQ(at(85), "[###########-------------] 3480/6961 frames  49%  28.2 fps  2:03 elapsed  ETA 1:40");
    EXPECT_EQ(at(60), "[#####------] 3480/6961 frames  49%  2:03 elapsed  ETA 1:40");
    EXPECT_EQ(at(45), "[####------] 3480/6961 frames  49%  ETA 1:40");
    EXPECT_EQ(at(40), "3480/6961 frames  49%  ETA 1:40");
    EXPECT_EQ(at(20), "49%  ETA 1:40");
    EXPECT_EQ(at(14), "49%  ETA 1:40");
    EXPECT_EQ(at(13), "49% ETA 1:40");
    EXPECT_EQ(at(12), "49% 1:40");
    EXPECT_EQ(at(9), "49% 1:40");
    EXPECT_EQ(at(8), "49%");
    EXPECT_EQ(at(4), "49%");
    EXPECT_EQ(at(3), "");
    for (int w = 2; w <= 120; w++) {  // percent and time left whole, or the time left left out
        std::string s = at(w);
        EXPECT_LT(s.size(), size_t(w)) << w;
        EXPECT_EQ(s.find("49%") != std::string::npos, w > 3) << w;
        EXPECT_EQ(s.find("1:40") != std::string::npos, w > 8) << w;
    }
    // At the end, with an hour's capture: "100%  ETA 0:" was cut at 13 columns.
    EXPECT_EQ(progress_line(line, sizeof line, 6961, 6961, 60, 3725, 0, 13), std::string("100% 0:00"));
    EXPECT_EQ(progress_line(line, sizeof line, 10, 6961, 60, 5, 3725, 13), std::string("0% 1:02:05"));
}

TEST(Progress, OneLinePerTenthWhenNotATerminal)
{
    testing::internal::CaptureStderr();  // a pipe, not a terminal
    progress_start(20, 10);
    for (int n = 1; n <= 20; n++)
        progress_step(n);
    std::string said = testing::internal::GetCapturedStderr();
    int lines = 0;
    for (char c : said)
        lines += c == '\n';
    EXPECT_EQ(lines, 10) << said;
    EXPECT_NE(said.find("2/20 frames  10%"), std::string::npos) << said;
    EXPECT_NE(said.find("20/20 frames 100%"), std::string::npos) << said;
    EXPECT_EQ(said.find("\r"), std::string::npos);
}

}  // namespace
