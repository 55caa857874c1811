// The selection: the stretch of the file that a play covers, from the start
// frame up to the stop frame. Commands set it from seconds, nudge either end
// by a number of frames, or jump it by its own length. The menu's words
// that call these are matched in the command loop.
#pragma once
#include <cstdint>

#include "wave/markers.h"

struct Selection {
    int32_t start;
    int32_t stop;
};

// The start that an in-time in seconds gives: 0 for a time at or past the
// end of the file (length frames), a negative one, or NaN.
int32_t in_point(uint32_t rate, int32_t length, float seconds);

// The stop that an out-time in seconds gives: the length for a time past
// the end of the file, or NaN; a negative time gives a negative stop.
int32_t out_point(uint32_t rate, int32_t length, float seconds);

// Asks for the in-time in seconds and sets *start from it. A time at or past
// the end of the file (length frames), or a negative one, gives 0. A reply
// that isn't a number leaves *start as it was. A reply "#N" sets it to
// marker N's position (of markers, when given), or says there is no such
// marker and leaves it.
void SetInTime(uint32_t rate, int32_t length, int32_t *start, const MarkerList *markers);

// Asks for the out-time in seconds and sets *stop from it. A time past the
// end of the file gives the length; a negative time gives a negative stop.
// A reply that isn't a number leaves *stop as it was. "#N" as for SetInTime.
void SetOutTime(uint32_t rate, int32_t length, int32_t *stop, const MarkerList *markers);

// A marker's stretch, as a selection: from its position up to its end.
Selection stretch_of(const Marker *m);

// The frame-stepping commands. Each takes the selection, the file's length
// in frames and the nudge amount, computes both new ends from the old ones
// and returns the new selection.
using StepCommand = Selection (*)(Selection s, uint32_t length, int32_t nudge);

Selection jump_ahead(Selection s, uint32_t length, int32_t nudge);           // "j"
Selection jump_back(Selection s, uint32_t length, int32_t nudge);            // "J"
Selection nudge_start_forward(Selection s, uint32_t length, int32_t nudge);  // "n"
Selection nudge_start_backward(Selection s, uint32_t length, int32_t nudge); // "b"
Selection nudge_both_forward(Selection s, uint32_t length, int32_t nudge);   // "N"
Selection nudge_both_backward(Selection s, uint32_t length, int32_t nudge);  // "B"
Selection nudge_stop_forward(Selection s, uint32_t length, int32_t nudge);   // "no"
Selection nudge_stop_backward(Selection s, uint32_t length, int32_t nudge);  // "bo"
