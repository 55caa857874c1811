#include "device/convert.h"

#include <cfloat>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <utility>

#include "device/speakers.h"

namespace {

// G.711 A-law: sign, a 3-bit segment and a 4-bit step, every other bit
// inverted.
int16_t a_law_to_s16(unsigned char a)
{
    a ^= 0x55;
    int magnitude = (a & 0x0f) << 4;
    int segment = (a & 0x70) >> 4;
    magnitude += segment == 0 ? 8 : 0x108;
    if (segment > 1)
        magnitude <<= segment - 1;
    return static_cast<int16_t>((a & 0x80) != 0 ? magnitude : -magnitude);
}

// G.711 mu-law: all bits inverted, a biased segment and step.
int16_t mu_law_to_s16(unsigned char u)
{
    u = static_cast<unsigned char>(~u);
    int magnitude = (((u & 0x0f) << 3) + 0x84) << ((u & 0x70) >> 4);
    return static_cast<int16_t>((u & 0x80) != 0 ? 0x84 - magnitude : magnitude - 0x84);
}

// Widening runs from the last sample back, so none is overwritten unread.
void expand_law(SampleEncoding from, unsigned char *buffer, size_t samples)
{
    for (size_t i = samples; i-- > 0;) {
        int16_t value = from == ENCODING_A_LAW ? a_law_to_s16(buffer[i]) : mu_law_to_s16(buffer[i]);
        auto bits = static_cast<uint16_t>(value);
        buffer[2 * i] = static_cast<unsigned char>(bits & 0xff);
        buffer[2 * i + 1] = static_cast<unsigned char>(bits >> 8);
    }
}

// Narrowing runs from the first sample on. The bytes are put together
// little-endian whatever the processor's order.
void narrow_doubles(unsigned char *buffer, size_t samples)
{
    for (size_t i = 0; i < samples; ++i) {
        uint64_t bits = 0;
        for (int b = 7; b >= 0; --b)
            bits = bits << 8 | buffer[8 * i + static_cast<size_t>(b)];
        double wide = 0;
        std::memcpy(&wide, &bits, sizeof wide);
        // Beyond the float range (no sound lies there) the cast is undefined.
        float narrow = wide > FLT_MAX    ? INFINITY
                       : wide < -FLT_MAX ? -INFINITY
                                         : static_cast<float>(wide);
        uint32_t narrowBits = 0;
        std::memcpy(&narrowBits, &narrow, sizeof narrowBits);
        for (size_t b = 0; b < 4; ++b)
            buffer[4 * i + b] = static_cast<unsigned char>(narrowBits >> (8 * b));
    }
}

} // namespace

void convert_samples(SampleEncoding from, SampleEncoding to, unsigned char *buffer, size_t samples)
{
    if (from == ENCODING_FLOAT64 && to == ENCODING_FLOAT)
        narrow_doubles(buffer, samples);
    else if ((from == ENCODING_A_LAW || from == ENCODING_MU_LAW) && to == ENCODING_S16)
        expand_law(from, buffer, samples);
}

void reorder_channels(unsigned char *buffer, size_t frames, uint32_t channels, uint32_t width,
                      const uint8_t *from, unsigned char silence)
{
    unsigned char frame[32 * 8];
    size_t frameBytes = size_t{channels} * width;
    if (frameBytes > sizeof frame)
        return;
    for (unsigned char *f = buffer; f < buffer + frames * frameBytes; f += frameBytes) {
        std::memcpy(frame, f, frameBytes);
        for (uint32_t d = 0; d < channels; ++d) {
            if (from[d] == NO_CHANNEL)
                std::memset(f + d * width, silence, width);
            else
                std::memcpy(f + d * width, frame + from[d] * width, width);
        }
    }
}

void swap_sample_bytes(unsigned char *buffer, size_t samples, uint32_t width)
{
    for (unsigned char *s = buffer; s < buffer + samples * width; s += width) {
        for (uint32_t i = 0; i < width / 2; ++i)
            std::swap(s[i], s[width - 1 - i]);
    }
}
