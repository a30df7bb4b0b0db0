// WAV header and body.
#include "wav.h"

#include "../playback/music.h"
#include "outputs.h"

namespace {
void put16(uint8_t*& p, uint32_t v)
{
    *p++ = static_cast<uint8_t>(v);
    *p++ = static_cast<uint8_t>(v >> 8);
}

void put32(uint8_t*& p, uint32_t v)
{
    put16(p, v & 0xFFFF);
    put16(p, v >> 16);
}

void tag(uint8_t*& p, const char* four)
{
    for (int i = 0; i < 4; i++)
        *p++ = static_cast<uint8_t>(four[i]);
}
}

void wav_header(uint8_t out[wav_header_len], int channels, int64_t frames)
{
    const uint32_t frame_bytes = 2 * channels;
    const uint32_t data = static_cast<uint32_t>(frames * frame_bytes);
    uint8_t* p = out;
    tag(p, "RIFF");
    put32(p, wav_header_len - 8 + data);  // bytes after this field
    tag(p, "WAVE");
    tag(p, "fmt ");
    put32(p, 16);  // format chunk length
    put16(p, 1);   // integer PCM
    put16(p, channels);
    put32(p, sample_rate);
    put32(p, sample_rate * frame_bytes);  // bytes per second
    put16(p, frame_bytes);
    put16(p, 16);  // bits per sample
    tag(p, "data");
    put32(p, data);
}

bool write_wav(int fd, const int16_t* samples, int channels, int64_t frames)
{
    uint8_t head[wav_header_len];
    wav_header(head, channels, frames);
    // The samples are host 16-bit values; this program is built for little-endian x86 only.
    static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__);
    return write_all(fd, head, sizeof head) &&
           write_all(fd, samples, static_cast<size_t>(frames) * 2 * channels);
}
