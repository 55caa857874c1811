// What the player holds while it runs, shared by its start-up, command loop,
// play pass and shut-down.
#pragma once
#include <cstdint>
#include <cstdio>

#include "control/remote.h"
#include "device/pcm.h"
#include "player/selection.h"
#include "util/printable.h"
#include "wave/encoding.h"
#include "wave/probe.h"

// The caller's wave attributes, rewritten by every probe.
struct WaveAttributes {
    uint32_t *rate;
    uint32_t *bytesPerSample;
    uint32_t *channels;
    uint32_t *dataOffset;
    uint32_t *length;
};

struct Player {
    const char *fileName;
    char shownName[SHOWN_NAME_SIZE]; // as messages show it: no control characters
    WaveAttributes caller;           // the caller's five variables, which every probe writes
    WaveFields wave;             // the same values and the encoding, as the latest probe found them
    MarkerList markers;          // the file's markers, as the latest probe found them
    uint32_t markerProblemsTold; // what was last said about them
    uint64_t promisedFramesTold; // the cut-short data size last said
    WaveFields baseline;         // the first probe's, which every later probe is held to
    std::FILE *data;             // the read handle all samples come through
    PcmDevice *pcm;
    uint32_t period;       // frames per period, as the device granted
    unsigned char *buffer; // one period of the file's frames, with room for the device's
    unsigned char silence; // the byte that fills a period the data doesn't
    bool exact;     // exact edges: a pass ends on its stop frame, and loops join without a gap
    bool exactUsed; // exact edges were asked for in this run (the option, or "e")
    Selection selection;
    int32_t loops;
    int32_t showClock;
    int32_t nudge;     // frames that the nudge commands move by
    char *commandText; // COMMAND_TEXT_SIZE bytes
    int32_t commandGiven;
    // The remote's part.
    bool inputEnded;          // standard input ended: the remote alone goes on
    bool exitAsked;           // the remote asked to exit
    bool armAsked;            // the next play is armed: ready, and started by a go
    RemoteRequest armRequest; // ... the arm, answered once the play is ready
};
