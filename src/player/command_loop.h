// The menu and its commands: shows the menu, reads one word at a time,
// applies it to the selection, the loop count or the nudge amount, and says
// what the player is to do next.
#pragma once

#include "player/player_state.h"

// What the command words ask the player to do next.
enum Pending {
    PENDING_NONE,
    PENDING_PLAY,          // play the selection, then back to the menu
    PENDING_PLAY_THEN_END, // play the selection, then end the run ("px", "wx")
    PENDING_EXIT,
};

// Processes the first command if one was given, then shows the menu and reads
// words until one asks to play or to exit; never returns PENDING_NONE.
Pending next_action(Player *p);
