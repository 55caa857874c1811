// Little-endian field readers for the wave header. They assemble each value
// byte by byte, so the result does not depend on the processor's byte order.
#pragma once
#include <cstdint>

// b[0] + b[1]*256.
uint16_t Assem2(const unsigned char *b);

// b[0] + b[1]*2^8 + b[2]*2^16 + b[3]*2^24.
uint32_t Assem4(const unsigned char *b);
