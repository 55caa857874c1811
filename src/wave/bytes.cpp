#include "wave/bytes.h"

#include <cstring>

// Each byte is widened to the unsigned result type before it is shifted, so
// no shift ever touches the sign bit of a promoted int.
uint16_t Assem2(const unsigned char *b)
{
    return static_cast<uint16_t>(static_cast<uint32_t>(b[0]) | (static_cast<uint32_t>(b[1]) << 8));
}

uint32_t Assem4(const unsigned char *b)
{
    return static_cast<uint32_t>(b[0]) | (static_cast<uint32_t>(b[1]) << 8) |
           (static_cast<uint32_t>(b[2]) << 16) | (static_cast<uint32_t>(b[3]) << 24);
}

uint16_t field2(const unsigned char *b, bool bigEndian)
{
    const unsigned char swapped[2] = {b[1], b[0]};
    return Assem2(bigEndian ? swapped : b);
}

uint32_t field4(const unsigned char *b, bool bigEndian)
{
    const unsigned char swapped[4] = {b[3], b[2], b[1], b[0]};
    return Assem4(bigEndian ? swapped : b);
}

bool four_cc_is(const void *id4, const char *id)
{
    return std::memcmp(id4, id, 4) == 0;
}

uint64_t padded(uint64_t size)
{
    return size + (size & 1);
}
