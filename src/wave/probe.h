// The wave header probe: finds the format chunk and the data block by
// walking the chunk list, or, in a file whose list can't be walked, by
// scanning for their identifiers, and reads the few fields playback needs.
#pragma once
#include <cstdint>

#include "wave/chunks.h"
#include "wave/format.h"
#include "wave/markers.h"

// How far into a file the scan looks: identifiers are searched at the even
// positions 2..131072.
constexpr uint32_t PROBE_LAST_POSITION = 131072;
constexpr uint32_t PROBE_SPAN = PROBE_LAST_POSITION + 4;

// The most frames a file may hold: frame positions are signed 32-bit.
constexpr uint32_t MOST_FRAMES = 0x7fffffff;

enum ProbeResult {
    PROBE_OK,
    PROBE_NO_FORMAT,   // no "fmt" at an even position from 2 to 131072
    PROBE_NO_DATA,     // no "data" at an even position from 2 to 131072
    PROBE_CUT_SHORT,   // a field the probe needs lies past the end of the file
                       // or of its chunk
    PROBE_NO_CHANNELS, // zero channels
    PROBE_NO_BITS,     // zero bits per sample
    PROBE_FOREIGN,     // Sony Wave64
    PROBE_TOO_LONG,    // more than MOST_FRAMES frames
};

// The wave attributes, in the one order used everywhere, and the encoding.
struct WaveFields {
    uint32_t rate;           // frames per second
    uint32_t bytesPerSample; // bits per sample / 8
    uint32_t channels;
    uint32_t dataOffset; // byte position of the first sample, in 32 bits (it wraps past 4 GiB)
    uint32_t length;     // whole frames present in the file
    WaveFormat format;
    uint64_t dataStart;      // byte position of the first sample
    uint64_t promisedFrames; // the frames the data header gives, where it gives more
                             // than the file holds and is no placeholder; else 0
};

// Bytes a frame of the file takes.
inline uint32_t frame_bytes(const WaveFields &w)
{
    return w.channels * w.bytesPerSample;
}

// Probes a file. A RIFF, RF64 or BW64 file's chunk list is walked for the
// first "fmt " and "data" chunks; a file that doesn't begin so, or whose
// list breaks before both are found, is scanned for the identifiers at even
// positions from 2 to 131072, the first match winning wherever it lies.
// Fills *out only on PROBE_OK.
ProbeResult probe_wave(const ByteSource *src, WaveFields *out);

// Opens the file, probes it and writes the five wave attributes through the
// pointers, all that the probe found through fields and the markers through
// markers when they are given. Ends the
// process with status 2, after a message on standard output, when the file
// isn't a regular file, can't be opened or measured, or fails the probe.
void GetAttributes(const char *path, uint32_t *rate, uint32_t *bytesPerSample, uint32_t *channels,
                   uint32_t *dataOffset, uint32_t *length, WaveFields *fields, MarkerList *markers);
