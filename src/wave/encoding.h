// Which sample encodings the player can hand to a device, by format tag and
// sample width.
#pragma once
#include <cstdint>

#include "wave/format.h"

// The format tags of the encodings played; an extensible format chunk names
// one of them as its sub-format.
constexpr uint32_t TAG_PCM = 0x0001;
constexpr uint32_t TAG_FLOAT = 0x0003;
constexpr uint32_t TAG_A_LAW = 0x0006;
constexpr uint32_t TAG_MU_LAW = 0x0007;
constexpr uint32_t TAG_EXTENSIBLE = 0xFFFE;

enum SampleEncoding {
    ENCODING_NONE, // compressed, unknown, or a width its tag doesn't have
    ENCODING_U8,
    ENCODING_S16,
    ENCODING_S24_3, // three bytes a sample, packed
    ENCODING_S32,
    ENCODING_FLOAT,
    ENCODING_FLOAT64,
    ENCODING_A_LAW,
    ENCODING_MU_LAW,
};

// The encoding of samples of this format, all little-endian.
SampleEncoding sample_encoding(WaveFormat format);

// Whether the tag is one of the four whose samples are played at some width.
bool tag_is_played(uint32_t tag);

// The byte that, repeated, is silence in this encoding.
unsigned char silence_byte(SampleEncoding encoding);

// The encoding the player converts samples to for a device that refuses
// their own: 64-bit floats to 32-bit ones, A-law and mu-law to 16-bit PCM;
// ENCODING_NONE for the rest, which are never converted.
SampleEncoding converted_encoding(SampleEncoding encoding);

// Bytes a sample of the encoding takes.
uint32_t encoding_width(SampleEncoding encoding);
