// Reading, checking and (on request) rewriting the golden files.
#include "golden.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>

namespace {


std::string path_of(const std::string& name) { return std::string(GOLDEN_DIR) + "/" + name; }

bool updating()
{
    const char* u = std::getenv("VINTELO_GOLDEN_UPDATE");
    return u && *u && std::string(u) != "0";
}

void write(const std::string& name, const std::string& text)
{
    std::ofstream f(path_of(name), std::ios::binary);
    f << text;
    ASSERT_TRUE(f.good()) << "cannot write " << path_of(name);
    ADD_FAILURE() << "golden " << name << " rewritten: review the diff, commit it with the reason, "
                  << "and run again without VINTELO_GOLDEN_UPDATE";
}

std::string hex(uint64_t h)
{
    char s[24];
    std::snprintf(s, sizeof s, "%016llx", (unsigned long long)h);
    return s;
}

}  // namespace

uint64_t fnv1a(const void* p, size_t n, uint64_t h)
{
    constexpr uint64_t prime = 0x100000001b3ull;
    const uint8_t* b = static_cast<const uint8_t*>(p);
    for (size_t k = 0; k < n; k++)
        h = (h ^ b[k]) * prime;
    return h;
}

uint64_t fnv16(const std::vector<int16_t>& v)
{
    uint64_t h = fnv_basis;
    for (int16_t x : v) {
        const uint8_t le[2] = {uint8_t(x), uint8_t(uint16_t(x) >> 8)};
        h = fnv1a(le, 2, h);
    }
    return h;
}

std::string golden_text(const std::string& file)
{
    std::ifstream f(path_of(file), std::ios::binary);
    if (!f) {
        ADD_FAILURE() << "missing golden data file " << path_of(file);
        return "";
    }
    std::stringstream s;
    s << f.rdbuf();
    return s.str();
}

void expect_golden(const std::string& name, const std::vector<int16_t>& v, int width, int head)
{
    const size_t frames = v.size() / width;
    const size_t kept = std::min<size_t>(head, frames);
    if (updating()) {
        std::ostringstream o;
        o << "# " << name << ": " << frames << " frames of " << width
          << " value(s); regenerate with VINTELO_GOLDEN_UPDATE=1 (README.md)\n";
        o << "frames " << frames << "\nfnv1a64 " << hex(fnv16(v)) << "\nhead " << kept << "\n";
        for (size_t f = 0; f < kept; f++) {
            for (int c = 0; c < width; c++)
                o << (c ? " " : "") << v[f * width + c];
            o << "\n";
        }
        write(name, o.str());
        return;
    }
    std::istringstream in(golden_text(name));
    std::string key, line;
    size_t want_frames = 0, want_head = 0;
    std::string want_hash;
    while (in >> key) {
        if (key[0] == '#') {
            std::getline(in, line);
        } else if (key == "frames") {
            in >> want_frames;
        } else if (key == "fnv1a64") {
            in >> want_hash;
        } else if (key == "head") {
            in >> want_head;
            break;
        }
    }
    ASSERT_FALSE(want_hash.empty()) << "golden " << name << " has no fnv1a64 line";
    EXPECT_EQ(frames, want_frames) << "render length of " << name;
    // The kept values first: a change early in the render is named sample by sample.
    int shown = 0;
    for (size_t f = 0; f < want_head && f < frames; f++)
        for (int c = 0; c < width; c++) {
            long want = 0;
            in >> want;
            if (v[f * width + c] != want && shown++ < 8)
                ADD_FAILURE() << name << ": frame " << f << " value " << c << " is "
                              << v[f * width + c] << ", golden " << want;
        }
    EXPECT_EQ(hex(fnv16(v)), want_hash) << "hash of the whole render of " << name;
}

void expect_golden_lines(const std::string& name, const std::vector<std::string>& lines)
{
    if (updating()) {
        std::string text = "# " + name + ": regenerate with VINTELO_GOLDEN_UPDATE=1 (README.md)\n";
        for (const std::string& l : lines)
            text += l + "\n";
        write(name, text);
        return;
    }
    std::istringstream in(golden_text(name));
    std::vector<std::string> want;
    for (std::string l; std::getline(in, l);)
        if (!l.empty() && l[0] != '#')
            want.push_back(l);
    for (size_t k = 0; k < std::max(want.size(), lines.size()); k++)
        EXPECT_EQ(k < lines.size() ? lines[k] : "(none)", k < want.size() ? want[k] : "(none)")
            << name << " line " << k + 1 << " (comments not counted)";
}
