#pragma once
// The video encoder: Debian's ffmpeg program, spawned with the frames on its standard input as
// raw RGBA (top row first) and the music as a WAV file, writing H.264 + AAC into an MP4, Matroska or
// QuickTime file.
#include <cstdint>

// How the video is coded: H.264 (x264 at a quality and a preset, 4:2:0) with AAC, or, lossless,
// FFV1 keeping the RGB pixels with FLAC keeping the samples, in Matroska.
struct coding {
    bool lossless;
    int crf;             // x264's constant rate factor, 0 to 51
    const char* preset;  // x264's preset
};

// Checks that ffmpeg runs and has the encoders the coding needs. False after reporting.
bool encoder_check(const coding& c);

// Starts ffmpeg writing `out` (replaced) in the container `muxer` (ffmpeg's name: mp4, matroska,
// mov) from w x h frames at fps and the WAV `music`, coded as c says.
bool encoder_start(const char* out, const char* muxer, int w, int h, int fps, const char* music, const coding& c);

// Hands one frame, as gl_read gives it (top row first), to ffmpeg.
bool encoder_frame(const uint8_t* rgba);

// Ends the input and waits for ffmpeg; false after reporting unless it finished the file.
bool encoder_finish();

// Stops ffmpeg at once (after a failure or an interrupt) and waits for it.
void encoder_kill();
