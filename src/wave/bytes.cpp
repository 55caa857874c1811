#include "wave/bytes.h"

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
