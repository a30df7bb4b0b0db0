// Reading and checking the command line.
#include "options.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <strings.h>

#include "clock.h"
#include "outputs.h"

const char usage[] = "usage: intro-capture [-o FILE] [-s WxH] [-r FPS] [--synth port|tiny] [--wav FILE] "
                     "[--from S --to S] [--frames DIR] [--crf N] [--preset NAME] [--lossless]";

const char* const x264_presets[10] = {"ultrafast", "superfast", "veryfast", "faster", "fast",
                                      "medium", "slow", "slower", "veryslow", "placebo"};

namespace {
constexpr int min_side = 2;              // smallest frame side: one 2x2 block of H.264's chroma
constexpr int64_t max_seconds = 1000000;  // times beyond any show, kept far from int32 ms overflow

// The containers a video can go in, chosen by the extension of its name, and ffmpeg's muxer of each.
struct container {
    const char* ext;
    const char* muxer;
};
constexpr container containers[] = {{".mp4", "mp4"}, {".mkv", "matroska"}, {".mov", "mov"}};

// The muxer for a video named path, or null for an extension not in the table.
const char* muxer_of(const char* path)
{
    const char* dot = std::strrchr(path, '.');
    if (!dot || std::strchr(dot, '/'))
        return nullptr;
    for (const container& c : containers)
        if (!strcasecmp(dot, c.ext))
            return c.muxer;
    return nullptr;
}

// A decimal integer in lo..hi filling all of s.
bool number(const char* s, long lo, long hi, long* v)
{
    if (!*s || *s == '-' || *s == '+' || *s == ' ')
        return false;
    char* end;
    long n = std::strtol(s, &end, 10);
    if (*end || n < lo || n > hi)
        return false;
    *v = n;
    return true;
}

// Seconds with at most three decimals ("12", "12.5", "0.016") as ms.
bool seconds(const char* s, int32_t* ms)
{
    int64_t whole = 0, frac = 0;
    int digits = 0, decimals = 0;
    const char* p = s;
    for (; *p >= '0' && *p <= '9'; p++, digits++)
        if ((whole = whole * 10 + (*p - '0')) > max_seconds)
            return false;
    if (*p == '.') {
        for (p++; *p >= '0' && *p <= '9'; p++, digits++) {
            if (++decimals > 3)
                return false;
            frac = frac * 10 + (*p - '0');
        }
    }
    if (*p || digits == 0)
        return false;
    for (; decimals < 3; decimals++)
        frac *= 10;
    *ms = static_cast<int32_t>(whole * 1000 + frac);
    return true;
}

bool no(char* why, size_t len, const char* fmt, const char* a, const char* b = "")
{
    std::snprintf(why, len, fmt, a, b);
    return false;
}
}

bool parse_args(int argc, char** argv, options& o, char* why, size_t len)
{
    bool stretch = false;
    const char* size = "1280x720";  // -s as given
    const char* coding = nullptr;   // --crf or --preset, if either was given
    for (int i = 1; i < argc; i++) {
        const char* a = argv[i];
        if (!std::strcmp(a, "--help") || !std::strcmp(a, "-h")) {
            o.help = true;
            return true;
        }
        if (!std::strcmp(a, "--lossless")) {
            o.lossless = true;
            continue;
        }
        bool takes = !std::strcmp(a, "-o") || !std::strcmp(a, "-s") || !std::strcmp(a, "-r") ||
                     !std::strcmp(a, "--synth") || !std::strcmp(a, "--wav") || !std::strcmp(a, "--from") ||
                     !std::strcmp(a, "--to") || !std::strcmp(a, "--frames") || !std::strcmp(a, "--crf") ||
                     !std::strcmp(a, "--preset");
        if (!takes)
            return no(why, len, *a == '-' ? "unknown option %s" : "unexpected argument %s", a);
        if (i + 1 == argc)
            return no(why, len, "%s needs a value", a);
        const char* v = argv[++i];
        long n;
        if (!std::strcmp(a, "-o") || !std::strcmp(a, "--wav") || !std::strcmp(a, "--frames")) {
            if (!*v)
                return no(why, len, "%s needs a name", a);
            (a[1] == 'o' ? o.out : a[2] == 'w' ? o.wav : o.frames) = v;
        } else if (!std::strcmp(a, "-s")) {
            const char* x = std::strchr(v, 'x');
            char wpart[16];
            if (!x || x - v >= static_cast<long>(sizeof wpart))
                return no(why, len, "-s %s: give the size as WxH, e.g. 1280x720", v);
            std::snprintf(wpart, sizeof wpart, "%.*s", static_cast<int>(x - v), v);
            long w, h;
            if (!number(wpart, min_side, max_w, &w) || !number(x + 1, min_side, max_h, &h))
                return no(why, len, "-s %s: width 2 to 3840 and height 2 to 2160, as WxH", v);
            size = v;
            o.w = static_cast<int>(w);
            o.h = static_cast<int>(h);
        } else if (!std::strcmp(a, "-r")) {
            if (!number(v, 1, 100000, &n))
                return no(why, len, "-r %s: give whole frames per second, 1 to 100", v);
            if (n > max_fps)
                return no(why, len, "-r %s: the show draws at most 100 frames a second; more would repeat frames",
                          v);
            o.fps = static_cast<int>(n);
        } else if (!std::strcmp(a, "--crf")) {
            if (!number(v, 0, 51, &n))
                return no(why, len, "--crf %s: give x264's quality as a whole number, 0 (best) to 51", v);
            o.crf = static_cast<int>(n);
            coding = a;
        } else if (!std::strcmp(a, "--preset")) {
            o.preset = nullptr;
            for (const char* p : x264_presets)
                if (!std::strcmp(v, p))
                    o.preset = p;
            if (!o.preset)
                return no(why, len, "--preset %s: one of x264's presets, ultrafast, superfast, veryfast, faster, "
                          "fast, medium, slow, slower, veryslow or placebo", v);
            coding = a;
        } else if (!std::strcmp(a, "--synth")) {
            if (!std::strcmp(v, "port"))
                o.synth = synth_port;
            else if (!std::strcmp(v, "tiny"))
                o.synth = synth_tiny;
            else
                return no(why, len, "--synth %s: port or tiny", v);
        } else {
            int32_t ms;
            if (!seconds(v, &ms))
                return no(why, len, "%s %s: give seconds, to the millisecond at most (e.g. 12.5)", a, v);
            (a[2] == 'f' ? o.from_ms : o.to_ms) = ms;
            stretch = true;
        }
    }
    if (o.frames && o.out)
        return no(why, len, "--frames writes stills instead of a video: leave out -o %s", o.out);
    // The same file named two ways (./a, an absolute path, a link) would be written twice, and
    // the later rename would silently take the place of the earlier.
    if (o.wav && (o.out || o.frames) && same_file(o.out ? o.out : o.frames, o.wav)) {
        char both[PATH_MAX + 16];
        std::snprintf(both, sizeof both, "%s %s", o.out ? "-o" : "--frames", o.out ? o.out : o.frames);
        return no(why, len, "%s and --wav %s name the same file", both, o.wav);
    }
    if (o.frames && (o.lossless || coding))
        return no(why, len, "%s: --frames writes lossless PNG stills, not a video", o.lossless ? "--lossless" : coding);
    if (o.lossless && coding)
        return no(why, len, "%s: --lossless keeps every pixel; there is no quality to choose", coding);
    if (!o.out && !o.frames && !o.wav)
        o.out = o.lossless ? "vintelo.mkv" : "vintelo.mp4";
    if (o.lossless && !o.out)
        return no(why, len, "--lossless is for the video: add -o FILE.mkv%s", "");
    if (o.out && !std::strcmp(o.out, "-"))
        return no(why, len, "-o %s: the video cannot go to standard output (an MP4 or MOV is finished by "
                            "going back to its start); name a file", o.out);
    if (o.out && !(o.muxer = muxer_of(o.out)))
        return no(why, len, "-o %s: the container follows the name's extension: .mp4, .mkv or .mov", o.out);
    // FFV1 and FLAC are at home in Matroska; MP4 and QuickTime players do not take them.
    if (o.lossless && std::strcmp(o.muxer, "matroska"))
        return no(why, len, "--lossless writes FFV1 video and FLAC sound, which need Matroska: name the video .mkv, "
                  "not %s", o.out);
    if (o.out && (o.w % 2 || o.h % 2))
        return no(why, len, "-s %s: the video needs an even width and height", size);

    int64_t total = show_frames(o.fps);
    o.first = frame_at(o.from_ms, o.fps);
    o.last = o.to_ms < 0 ? total : frame_at(o.to_ms, o.fps);
    if (o.last > total)
        o.last = total;
    if (stretch && o.first >= o.last) {
        char from[32], to[32];
        std::snprintf(from, sizeof from, "%.3f s", o.from_ms / 1000.0);
        std::snprintf(to, sizeof to, o.to_ms < 0 ? "the end" : "%.3f s", o.to_ms / 1000.0);
        return no(why, len, "--from/--to: %s to %s holds no frame of the show", from, to);
    }
    return true;
}
