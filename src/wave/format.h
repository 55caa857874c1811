// How a file's samples are encoded, as its format chunk says.
#pragma once
#include <cstdint>

// How the samples are encoded: the format tag (for an extensible format
// chunk, its sub-format's) and the bits of the sample's container: the
// header's bits per sample, or for samples of a width that isn't whole
// bytes (12 bits in 16, 20 in 24), the container's.
struct WaveFormat {
    uint32_t tag;
    uint32_t bitsPerSample;
    uint32_t blockAlign;  // bytes per frame, as the header gives them (0 taken as the frame)
    uint32_t channelMask; // an extensible chunk's speaker positions
    bool extensible;      // the chunk gives a mask, which 0 means: no speaker positions
    bool bigEndian;       // RIFX: the samples are big-endian too
};
