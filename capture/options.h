#pragma once
// The command line.
#include <cstddef>
#include <cstdint>
#include <cstdio>

#include "../playback/music.h"

inline constexpr int max_w = 3840, max_h = 2160;  // largest frame: 4K UHD

// The master's quality, chosen from measurements on the show's thin lines (README).
inline constexpr int default_crf = 15;
inline constexpr const char default_preset[] = "veryfast";
extern const char* const x264_presets[10];  // x264's presets, fastest first

struct options {
    const char* out = nullptr;     // -o: the video file; null for none
    const char* muxer = "mp4";     // ffmpeg's name of the video's container, from the extension of out
    const char* wav = nullptr;     // --wav: the music as a WAV file ("-": standard output), or null
    const char* frames = nullptr;  // --frames: directory for PNG stills instead of a video, or null
    int w = 1280, h = 720;         // -s: frame size in pixels
    int fps = 60;                  // -r: frames per second, 1..100
    synth_kind synth = synth_port; // --synth
    int32_t from_ms = 0;           // --from, in timeline ms
    int32_t to_ms = -1;            // --to, in timeline ms; -1 for the end of the show
    int64_t first = 0, last = 0;   // the frames captured: first to last - 1, numbered in the whole show
    int crf = default_crf;         // --crf: x264's constant rate factor, 0 (lossless YUV) to 51
    const char* preset = default_preset;  // --preset: one of x264_presets
    bool lossless = false;         // --lossless: FFV1 + FLAC in Matroska, decoding to the stills exactly
    bool help = false;             // --help: print the usage and do nothing else
};

struct reading;  // one reading of the command line, private to options.cpp

// One option: where it is named, once for the parser, the synopsis and --help alike.
struct option_def {
    const char* name;   // "-o", "--wav"
    const char* alias;  // another spelling ("-h"), or null
    const char* value;  // the placeholder of its value ("FILE"), or null for a switch
    bool (*take)(reading& r, const char* v);  // checks the value (null for a switch) into the options
    const char* help;   // what it does, for --help; '\n' starts an indented line
};
extern const option_def option_table[];
extern const size_t option_count;  // rows of option_table

// The one-line synopsis.
const char* usage();

// Every option of the table with its help, one per paragraph, as --help shows them.
void print_options(FILE* f);

// Reads argv into o, including the stretch of frames it names. False, with the reason in why,
// for anything it cannot take; then nothing should be done.
bool parse_args(int argc, char** argv, options& o, char* why, size_t len);
