// Keys during a play, at a terminal: '>' hands on to the next stretch and
// '<' to the one before when the pass under way ends; Enter releases a
// loop, making that pass the last; Space pauses and goes on; q and Esc stop
// the play as Ctrl-C does.
#pragma once
#include <cstddef>

#include "control/commands.h"
#include "player/player_state.h"

// What the keys typed during a play ask for.
struct PlayKeys {
    // What the end of the pass under way does, the last key that asks
    // winning: COMMAND_NONE, COMMAND_RELEASE, or a hand-on to handOn.
    Command atPassEnd;
    Selection handOn;
    const Marker *mark; // ... that stretch's marker, or nullptr without markers
    bool paused;        // Space: the play rests until Space again
    bool stop;          // q or Esc
    bool stopped;       // the play stopped, however: the clock line says so
    bool changed;       // since the clock line last showed them
};

// Applies a command of the play's own (a hand-on either way, a release,
// a pause, a resume, a stop) to *keys, from a key or the remote. False
// for a hand-on with nowhere to go (past the last marker, say), which
// changes nothing, and for a command that is not the play's.
bool apply_play_command(const Player *p, PlayKeys *keys, Command command);

// Reads the keys typed since the last look into *keys; other keys (the
// arrows among them) are ignored. A hand-on with nowhere to go rings the
// terminal's bell and changes nothing.
void read_play_keys(const Player *p, PlayKeys *keys);

// What the keys will do, as the clock line shows it: "stopped", "paused",
// "→ #4 "Outro"", "→ release: last pass", or "" when nothing is asked.
void describe_keys(const Player *p, const PlayKeys *keys, char *out, size_t size);
