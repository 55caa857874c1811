// The wave header probe: finds the format chunk and the data block by their
// identifiers and reads the few fields that playback needs.
#pragma once
#include <cstdint>

// How far into a file the probe looks: identifiers are searched at the even
// positions 2..131072, and the fields read lie at most 34 bytes past them
// (the sub-format of an extensible format chunk).
constexpr uint32_t PROBE_LAST_POSITION = 131072;
constexpr uint32_t PROBE_SPAN = PROBE_LAST_POSITION + 34;

enum ProbeResult {
    PROBE_OK,
    PROBE_NO_FORMAT,   // no "fmt" at an even position from 2 to 131072
    PROBE_NO_DATA,     // no "data" at an even position from 2 to 131072
    PROBE_CUT_SHORT,   // a field the probe needs lies past the end of the file
    PROBE_EMPTY_FRAME, // zero channels or under 8 bits per sample
};

// How the samples are encoded: the format tag (for an extensible format
// chunk, its sub-format's) and the bits per sample as the header gives them.
struct WaveFormat {
    uint32_t tag;
    uint32_t bitsPerSample;
};

// The wave attributes, in the one order used everywhere, and the encoding.
struct WaveFields {
    uint32_t rate;           // frames per second
    uint32_t bytesPerSample; // bits per sample / 8
    uint32_t channels;
    uint32_t dataOffset;     // byte position of the first sample
    uint32_t length;         // whole frames present in the file
    WaveFormat format;
};

// Probes the first headBytes bytes of a file of fileSize bytes (headBytes is
// min(fileSize, PROBE_SPAN)). Fills *out only on PROBE_OK. Pure: no I/O.
ProbeResult probe_header(const unsigned char *head, uint32_t headBytes, uint32_t fileSize,
                         WaveFields *out);

// Opens the file, probes it and writes the five wave attributes through the
// pointers, and the encoding through format when it is given. Ends the
// process with status 2, after a message on standard output, when the file
// isn't a regular file, can't be opened, is 2 GiB or more, or fails the probe.
void GetAttributes(const char *path, uint32_t *rate, uint32_t *bytesPerSample, uint32_t *channels,
                   uint32_t *dataOffset, uint32_t *length, WaveFormat *format = nullptr);
