// Playing the selection: the play header, the loops, and the passes that
// stream the file to the device one period at a time.
#pragma once

#include "player/player_state.h"

enum PlayEnd {
    PLAY_DONE,
    PLAY_STOPPED,   // Ctrl-C stopped it
    PLAY_CUT_SHORT, // the file held fewer frames than its probe found
    PLAY_NOT_HEARD, // the device ran dry or stalled in the middle of it: a gap
};

// Prints the play header and plays the selection `loops` times. When
// stoppable, Ctrl-C stops the play at once and drops the audio still
// queued; otherwise it ends the process as usual. Underruns and stalls in
// the middle of the play are told once on standard error when it ends (and
// it ends as PLAY_NOT_HEARD), and a file
// cut short while it plays ends it with a message there. A device that
// fails beyond recovery ends the process with status 1.
PlayEnd play_selection_or_exit(Player *p, bool stoppable);
