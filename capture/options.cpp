// Reading and checking the command line.
#include "options.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <strings.h>

#include "../playback/clock.h"
#include "outputs.h"

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

}

struct reading {
    options& o;
    char* why;
    size_t len;
    const char* name = nullptr;     // the option being read, for its messages
    const char* size = "1280x720";  // -s as given
    const char* coding = nullptr;   // --crf or --preset, if either was given
    bool stretch = false;           // --from or --to was given
};

namespace {
bool no(reading& r, const char* fmt, const char* a, const char* b = "")
{
    std::snprintf(r.why, r.len, fmt, a, b);
    return false;
}

bool named(reading& r, const char* v, const char*& field)
{
    if (!*v)
        return no(r, "%s needs a name", r.name);
    field = v;
    return true;
}

bool take_out(reading& r, const char* v) { return named(r, v, r.o.out); }
bool take_wav(reading& r, const char* v) { return named(r, v, r.o.wav); }
bool take_frames(reading& r, const char* v) { return named(r, v, r.o.frames); }

bool take_size(reading& r, const char* v)
{
    const char* x = std::strchr(v, 'x');
    char wpart[16];
    if (!x || x - v >= static_cast<long>(sizeof wpart))
        return no(r, "-s %s: give the size as WxH, e.g. 1280x720", v);
    std::snprintf(wpart, sizeof wpart, "%.*s", static_cast<int>(x - v), v);
    long w, h;
    if (!number(wpart, min_side, max_w, &w) || !number(x + 1, min_side, max_h, &h))
        return no(r, "-s %s: width 2 to 3840 and height 2 to 2160, as WxH", v);
    r.size = v;
    r.o.w = static_cast<int>(w);
    r.o.h = static_cast<int>(h);
    return true;
}

bool take_rate(reading& r, const char* v)
{
    long n;
    if (!number(v, 1, 100000, &n))
        return no(r, "-r %s: give whole frames per second, 1 to 100", v);
    if (n > max_fps)
        return no(r, "-r %s: the show draws at most 100 frames a second; more would repeat frames", v);
    r.o.fps = static_cast<int>(n);
    return true;
}

bool take_synth(reading& r, const char* v)
{
    if (!std::strcmp(v, "port"))
        r.o.synth = synth_port;
    else if (!std::strcmp(v, "tiny"))
        r.o.synth = synth_tiny;
    else
        return no(r, "--synth %s: port or tiny", v);
    return true;
}

bool take_time(reading& r, const char* v, int32_t& field)
{
    if (!seconds(v, &field))
        return no(r, "%s %s: give seconds, to the millisecond at most (e.g. 12.5)", r.name, v);
    r.stretch = true;
    return true;
}

bool take_from(reading& r, const char* v) { return take_time(r, v, r.o.from_ms); }
bool take_to(reading& r, const char* v) { return take_time(r, v, r.o.to_ms); }

bool take_crf(reading& r, const char* v)
{
    long n;
    if (!number(v, 0, 51, &n))
        return no(r, "--crf %s: give x264's quality as a whole number, 0 (best) to 51", v);
    r.o.crf = static_cast<int>(n);
    r.coding = r.name;
    return true;
}

bool take_preset(reading& r, const char* v)
{
    r.o.preset = nullptr;
    for (const char* p : x264_presets)
        if (!std::strcmp(v, p))
            r.o.preset = p;
    if (!r.o.preset)
        return no(r, "--preset %s: one of x264's presets, ultrafast, superfast, veryfast, faster, fast, medium, "
                  "slow, slower, veryslow or placebo", v);
    r.coding = r.name;
    return true;
}

bool take_lossless(reading& r, const char*)
{
    r.o.lossless = true;
    return true;
}

bool take_help(reading& r, const char*)
{
    r.o.help = true;
    return true;
}

// The help's first column: two spaces, the option and its value, padded to where the text starts.
constexpr int help_column = 16;

// The option that argument a names, or null.
const option_def* find(const char* a)
{
    for (size_t i = 0; i < option_count; i++) {
        const option_def& d = option_table[i];
        if (!std::strcmp(a, d.name) || (d.alias && !std::strcmp(a, d.alias)))
            return &d;
    }
    return nullptr;
}
}

const option_def option_table[] = {
    {"-o", nullptr, "FILE", take_out,
     "the video (default vintelo.mp4); the container follows the extension:\n.mp4, .mkv or .mov"},
    {"-s", nullptr, "WxH", take_size,
     "frame size, up to 3840x2160 (default 1280x720), even for a video (its colour\nis stored at half size); "
     "the 4:3 picture is centred, never stretched"},
    {"-r", nullptr, "FPS", take_rate,
     "frames per second, 1 to 100 (default 60); the show draws at most one frame\nper 10 ms, so more would "
     "only repeat frames"},
    {"--synth", nullptr, "port|tiny", take_synth, "the stereo float synthesizer (default) or the mono fixed-point one"},
    {"--wav", nullptr, "FILE", take_wav,
     "also write the music as a WAV; without -o, only the music; - for standard\noutput (--wav - | ffplay -)"},
    {"--from", nullptr, "S", take_from, "only the frames from S seconds on, as they stand in the whole show"},
    {"--to", nullptr, "S", take_to, "only the frames before S seconds"},
    {"--frames", nullptr, "DIR", take_frames,
     "PNG stills DIR/000000.png, ... instead of a video; DIR must be new, empty\nor hold only stills"},
    {"--crf", nullptr, "N", take_crf, "x264's quality, 0 (best) to 51 (default 15)"},
    {"--preset", nullptr, "NAME", take_preset, "x264's preset, ultrafast to placebo (default veryfast)"},
    {"--lossless", nullptr, nullptr, take_lossless,
     "FFV1 video + FLAC sound in Matroska (.mkv; default vintelo.mkv) that decode\nto exactly the stills and the WAV"},
    {"--help", "-h", nullptr, take_help, "this text"},
};
const size_t option_count = std::size(option_table);

const char* usage()
{
    static char line[512];
    if (line[0])
        return line;
    size_t at = std::snprintf(line, sizeof line, "usage: intro-capture");
    for (const option_def& d : option_table)
        if (at < sizeof line)
            at += std::snprintf(line + at, sizeof line - at, d.value ? " [%s %s]" : " [%s]", d.name, d.value);
    return line;
}

void print_options(FILE* f)
{
    for (const option_def& d : option_table) {
        char label[64];
        std::snprintf(label, sizeof label, "%s%s%s%s%s", d.name, d.alias ? ", " : "", d.alias ? d.alias : "",
                      d.value ? " " : "", d.value ? d.value : "");
        int n = static_cast<int>(std::strlen(label));
        std::fprintf(f, "  %s%*s", label, n < help_column ? help_column + 1 - n : 2, "");
        for (const char* p = d.help; *p; p++) {
            std::fputc(*p, f);
            if (*p == '\n')
                std::fprintf(f, "%*s", help_column + 3, "");
        }
        std::fputc('\n', f);
    }
}

bool parse_args(int argc, char** argv, options& o, char* why, size_t len)
{
    reading r{o, why, len};
    for (int i = 1; i < argc; i++) {
        const char* a = argv[i];
        const option_def* d = find(a);
        if (!d)
            return no(r, *a == '-' ? "unknown option %s" : "unexpected argument %s", a);
        if (d->value && i + 1 == argc)
            return no(r, "%s needs a value", a);
        r.name = d->name;
        if (!d->take(r, d->value ? argv[++i] : nullptr))
            return false;
        if (o.help)
            return true;
    }
    if (o.frames && o.out)
        return no(r, "--frames writes stills instead of a video: leave out -o %s", o.out);
    // The same file named two ways (./a, an absolute path, a link) would be written twice, and
    // the later rename would silently take the place of the earlier.
    bool to_stdout = o.wav && !std::strcmp(o.wav, "-");
    if (o.wav && !to_stdout && (o.out || o.frames) && same_file(o.out ? o.out : o.frames, o.wav)) {
        char both[PATH_MAX + 16];
        std::snprintf(both, sizeof both, "%s %s", o.out ? "-o" : "--frames", o.out ? o.out : o.frames);
        return no(r, "%s and --wav %s name the same file", both, o.wav);
    }
    if (o.frames && o.wav && !to_stdout && inside(o.frames, o.wav))
        return no(r, "--wav %s lies in the stills folder --frames %s, which is replaced whole: put the WAV "
                  "elsewhere", o.wav, o.frames);
    if (o.frames && (o.lossless || r.coding))
        return no(r, "%s: --frames writes lossless PNG stills, not a video", o.lossless ? "--lossless" : r.coding);
    if (o.lossless && r.coding)
        return no(r, "%s: --lossless keeps every pixel; there is no quality to choose", r.coding);
    if (!o.out && !o.frames && !o.wav)
        o.out = o.lossless ? "vintelo.mkv" : "vintelo.mp4";
    if (o.lossless && !o.out)
        return no(r, "--lossless is for the video: add -o FILE.mkv%s", "");
    if (o.out && !std::strcmp(o.out, "-"))
        return no(r, "-o %s: the video cannot go to standard output (an MP4 or MOV is finished by going back to "
                  "its start); name a file", o.out);
    if (o.out && is_stream(o.out))
        return no(r, "-o %s: the video cannot go into a device or a FIFO (an MP4 or MOV is finished by going "
                  "back to its start); name a file", o.out);
    if (o.out && !(o.muxer = muxer_of(o.out)))
        return no(r, "-o %s: the container follows the name's extension: .mp4, .mkv or .mov", o.out);
    // FFV1 and FLAC are at home in Matroska; MP4 and QuickTime players do not take them.
    if (o.lossless && std::strcmp(o.muxer, "matroska"))
        return no(r, "--lossless writes FFV1 video and FLAC sound, which need Matroska: name the video .mkv, "
                  "not %s", o.out);
    if (o.out && (o.w % 2 || o.h % 2))
        return no(r, "-s %s: the video needs an even width and height", r.size);

    int64_t total = show_frames(o.fps);
    o.first = frame_at(o.from_ms, o.fps);
    o.last = o.to_ms < 0 ? total : frame_at(o.to_ms, o.fps);
    if (o.last > total)
        o.last = total;
    if (r.stretch && o.first >= o.last) {
        char from[32], to[32];
        std::snprintf(from, sizeof from, "%.3f s", o.from_ms / 1000.0);
        std::snprintf(to, sizeof to, o.to_ms < 0 ? "the end" : "%.3f s", o.to_ms / 1000.0);
        return no(r, "--from/--to: %s to %s holds no frame of the show", from, to);
    }
    return true;
}
