// Playing the selection: the play header, the loops, and the passes that
// stream the file to the device one period at a time.
#pragma once

#include "player/player_state.h"

// Prints the play header and plays the selection `loops` times. When
// stoppable, Ctrl-C stops the play at once and drops the audio still
// queued; otherwise it ends the process as usual. An underrun in the middle
// of the play is reported once on standard error. A device that fails
// beyond recovery ends the process with status 1.
void play_selection_or_exit(Player *p, bool stoppable);
