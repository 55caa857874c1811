// Keys during a play, at a terminal: '>' hands on to the next stretch and
// '<' to the one before when the pass under way ends; Enter releases a
// loop, making that pass the last.
#pragma once

#include "player/player_state.h"

enum PassKey { KEY_NONE, KEY_ON, KEY_BACK, KEY_RELEASE };

// The keys typed since the last look: the last that asks for something
// wins over pending; others are ignored. A hand-on with nowhere to go
// rings the terminal's bell and asks for nothing.
PassKey read_pass_keys(const Player *p, PassKey pending);

// The stretch a hand-on goes to: the next marker's (forward) or the one
// before's, by position against the selection's start; for a file without
// markers, the selection jumped ahead or back by its own length, as "j" and
// "J" do. False where there is none (past the last marker, say).
bool handed_on_stretch(const Player *p, bool forward, Selection *out);
