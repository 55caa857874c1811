#include "wave/encoding.h"

namespace {

const struct {
    uint32_t tag;
    uint32_t bitsPerSample;
    SampleEncoding encoding;
} PLAYED[] = {
    {TAG_PCM, 8, ENCODING_U8},       {TAG_PCM, 16, ENCODING_S16},
    {TAG_PCM, 24, ENCODING_S24_3},   {TAG_PCM, 32, ENCODING_S32},
    {TAG_FLOAT, 32, ENCODING_FLOAT}, {TAG_FLOAT, 64, ENCODING_FLOAT64},
    {TAG_A_LAW, 8, ENCODING_A_LAW},  {TAG_MU_LAW, 8, ENCODING_MU_LAW},
};

} // namespace

SampleEncoding sample_encoding(WaveFormat format)
{
    for (const auto &played : PLAYED) {
        if (played.tag == format.tag && played.bitsPerSample == format.bitsPerSample)
            return played.encoding;
    }
    return ENCODING_NONE;
}

bool tag_is_played(uint32_t tag)
{
    for (const auto &played : PLAYED) {
        if (played.tag == tag)
            return true;
    }
    return false;
}

unsigned char silence_byte(SampleEncoding encoding)
{
    // Unsigned 8-bit samples are silent at their midpoint; the logarithmic
    // encodings' bytes for zero are the ones ALSA itself fills with.
    switch (encoding) {
    case ENCODING_U8:
        return 0x80;
    case ENCODING_A_LAW:
        return 0x55;
    case ENCODING_MU_LAW:
        return 0x7f;
    default:
        return 0;
    }
}

SampleEncoding converted_encoding(SampleEncoding encoding)
{
    switch (encoding) {
    case ENCODING_FLOAT64:
        return ENCODING_FLOAT;
    case ENCODING_A_LAW:
    case ENCODING_MU_LAW:
        return ENCODING_S16;
    default:
        return ENCODING_NONE;
    }
}

uint32_t encoding_width(SampleEncoding encoding)
{
    for (const auto &played : PLAYED) {
        if (played.encoding == encoding)
            return played.bitsPerSample / 8;
    }
    return 0;
}
