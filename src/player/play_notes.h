// What a play notes on its way, shared by its passes, its keys and its
// remote: what went wrong, what the keys and the remote asked for, and
// which of the passes written are being heard.
#pragma once
#include <cstdint>

#include "player/play_keys.h"
#include "player/play_pass.h"
#include "util/regular_file.h"

// A pass written to the device, told to the remote once it is heard.
struct PassWritten {
    int64_t at;   // the play's write count at its first frame
    int32_t from; // its frames in the file
    int32_t to;
    int32_t pass;   // from 1
    int32_t passes; // of this many
    int32_t marker; // a hand-on's marker (from 1), or 0
    bool last;      // released: no pass follows it
};

// The passes a play can have queued in the device at once, and more.
constexpr int MOST_PASSES_QUEUED = 16;

struct PlayNotes {
    bool firstWrite;
    WriteTrouble trouble; // in the middle of the play
    PlayEnd end;
    bool keysLive;         // keys are read at the terminal
    PlayKeys keys;         // ... and what they asked for
    bool keysShown;        // the clock line says what the keys will do
    int64_t clockPos;      // the file position of the last period written
    int64_t framesWritten; // to the device, in this play
    bool leadLetGo;        // the device did not play down: no lead is kept...
    int64_t leadLetGoAt;   // ... until it plays on from this frame of the writes
    // The remote's part.
    bool remoteLive;     // the remote is on: its requests are taken during the play
    bool armed;          // the device is being filled, not started: a go starts it
    FileStamp armedFile; // ... from the file as it was then
    PassWritten written[MOST_PASSES_QUEUED]; // passes written, not yet heard, in order
    int writtenCount;
    PassWritten heard; // the pass being heard, once one is
};
