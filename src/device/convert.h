// Samples converted in the period buffer, for a device that refuses the
// file's own encoding (see converted_encoding).
#pragma once
#include <cstddef>
#include <cstdint>

#include "wave/encoding.h"

// Converts the first `samples` samples in buffer from the encoding `from`
// to the encoding `to`, in place; the buffer has room for them at the
// wider of the two widths. Each 64-bit float becomes the nearest 32-bit
// one; A-law and mu-law bytes expand to 16-bit PCM as G.711 gives them.
void convert_samples(SampleEncoding from, SampleEncoding to, unsigned char *buffer, size_t samples);

// Puts each of the frames' channels where the device wants it: channel d
// of a frame becomes the frame's channel from[d], or silence for
// NO_CHANNEL (width bytes a sample, at most 32 channels of 8 bytes).
void reorder_channels(unsigned char *buffer, size_t frames, uint32_t channels, uint32_t width,
                      const uint8_t *from, unsigned char silence);

// Reverses the bytes of each of the samples (width bytes each): big-endian
// samples become little-endian ones.
void swap_sample_bytes(unsigned char *buffer, size_t samples, uint32_t width);
