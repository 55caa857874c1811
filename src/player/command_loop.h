// The menu and its commands: shows the menu, reads one word at a time,
// applies it to the selection, the loop count or the nudge amount, and says
// what the player is to do next.
#pragma once

#include "player/player_state.h"

// What a command word asks the player to do.
enum Pending { PENDING_NONE, PENDING_PLAY, PENDING_EXIT };

// Processes the first command if one was given, then shows the menu and reads
// words until one asks to play or to exit: returns PENDING_PLAY or
// PENDING_EXIT. *endAfterPlay becomes true when "px" or "wx" asked to end the
// run after the next play.
Pending next_action(Player *p, bool *endAfterPlay);
