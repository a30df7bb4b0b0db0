#pragma once
// The music as a WAV file: a 44-byte RIFF header, then 16-bit little-endian PCM at 44100 Hz.
#include <cstdint>

inline constexpr int wav_header_len = 44;

// The header of a file of `frames` sample frames with `channels` interleaved channels.
void wav_header(uint8_t out[wav_header_len], int channels, int64_t frames);

// Writes header and samples (interleaved) to fd. False, errno set, on a failed write.
bool write_wav(int fd, const int16_t* samples, int channels, int64_t frames);
