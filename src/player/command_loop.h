// The menu and its commands: shows the menu, reads one word at a time,
// applies it to the selection, the loop count or the nudge amount, and says
// what the player is to do next.
#pragma once

#include "player/player_state.h"

enum NextAction { NEXT_PLAY, NEXT_EXIT };

// Processes the first command if one was given, then shows the menu and reads
// words until one asks to play or to exit. *endAfterPlay becomes true when
// "px" or "wx" asked to end the run after the next play.
NextAction next_action(Player *p, bool *endAfterPlay);
