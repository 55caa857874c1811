// Field readers for the wave header. They assemble each value byte by byte,
// so the result does not depend on the processor's byte order.
#pragma once
#include <cstdint>

// Each byte is widened to the unsigned result type before it is shifted, so
// no shift ever touches the sign bit of a promoted int. Inline: a label
// list may hold millions of fields.

// b[0] + b[1]*256.
inline uint16_t Assem2(const unsigned char *b)
{
    return static_cast<uint16_t>(static_cast<uint32_t>(b[0]) | (static_cast<uint32_t>(b[1]) << 8));
}

// b[0] + b[1]*2^8 + b[2]*2^16 + b[3]*2^24.
inline uint32_t Assem4(const unsigned char *b)
{
    return static_cast<uint32_t>(b[0]) | (static_cast<uint32_t>(b[1]) << 8) |
           (static_cast<uint32_t>(b[2]) << 16) | (static_cast<uint32_t>(b[3]) << 24);
}

// A field in the file's byte order: little-endian, or big-endian in a
// RIFX file.
inline uint16_t field2(const unsigned char *b, bool bigEndian)
{
    const unsigned char swapped[2] = {b[1], b[0]};
    return Assem2(bigEndian ? swapped : b);
}

inline uint32_t field4(const unsigned char *b, bool bigEndian)
{
    const unsigned char swapped[4] = {b[3], b[2], b[1], b[0]};
    return Assem4(bigEndian ? swapped : b);
}

// Whether the four bytes at id4 spell id, case included.
bool four_cc_is(const void *id4, const char *id);

// The room a chunk or list entry of size bytes takes: an odd size is
// followed by one pad byte.
uint64_t padded(uint64_t size);
