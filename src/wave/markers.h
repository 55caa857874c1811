// The markers that recorders and editors put in a wave file: cue points
// with their labels and regions, and sampler loops.
#pragma once
#include <cstdint>

#include "wave/chunks.h"

// The most markers kept, and the bytes of a label with its terminating zero.
constexpr uint32_t MOST_MARKERS = 999;
constexpr uint32_t MARKER_LABEL_SIZE = 64;

// A marker's stretch runs from its position up to (not including) its end.
struct Marker {
    uint32_t id;       // the cue point's identifier
    bool cuePoint;     // false for a sampler loop that starts at no cue point
    uint32_t position; // its first frame
    uint32_t end;
    bool region; // the file gave the stretch's length (ltxt, smpl)
    char label[MARKER_LABEL_SIZE];
};

// What was wrong with the markers, one bit each.
enum MarkerProblem : uint32_t {
    MARKERS_BROKEN = 1,   // a marker chunk is cut short: no marker is kept
    MARKERS_PAST_END = 2, // markers past the end of the samples were left out
    MARKERS_TOO_MANY = 4, // markers after the first MOST_MARKERS were left out
};

struct MarkerList {
    uint32_t count;
    uint32_t problems;
    Marker items[MOST_MARKERS];
};

// Reads the markers of a RIFF, RF64 or BW64 file whose samples hold length
// frames, wherever their chunks lie: the frames of "cue " points
// (dwSampleOffset), the labels ("labl", else "note") and region lengths
// ("ltxt") of a LIST/adtl chunk, and "smpl" loops (their end inclusive).
// They come in order of position. A marker's stretch ends where its region
// does, else at the next marker's position, else at the end of the samples.
void read_markers(const ByteSource *src, uint32_t length, MarkerList *out);

// Marker number (from 1, in order of position), or nullptr when there is none.
const Marker *marker_numbered(const MarkerList *list, int32_t number);
