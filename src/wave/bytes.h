// Field readers for the wave header. They assemble each value byte by byte,
// so the result does not depend on the processor's byte order.
#pragma once
#include <cstdint>

// b[0] + b[1]*256.
uint16_t Assem2(const unsigned char *b);

// b[0] + b[1]*2^8 + b[2]*2^16 + b[3]*2^24.
uint32_t Assem4(const unsigned char *b);

// A field in the file's byte order: little-endian, or big-endian in a
// RIFX file.
uint16_t field2(const unsigned char *b, bool bigEndian);
uint32_t field4(const unsigned char *b, bool bigEndian);

// Whether the four bytes at id4 spell id, case included.
bool four_cc_is(const void *id4, const char *id);

// The room a chunk or list entry of size bytes takes: an odd size is
// followed by one pad byte.
uint64_t padded(uint64_t size);
