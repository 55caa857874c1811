// Everything a user can ask of the player, whichever way it comes: a word
// at the menu (or the first command of the command line), a key during a
// play. The player applies each in one place for the menu and one for a
// play, an OSC message; a new way in maps its input onto these.
#pragma once

enum Command {
    COMMAND_NONE, // no command: the word or key is ignored
    // At the menu.
    COMMAND_SHOW_ADDITIONAL,
    COMMAND_EXIT,
    COMMAND_PLAY,
    COMMAND_PLAY_THEN_END,
    COMMAND_WHOLE,
    COMMAND_WHOLE_THEN_END,
    COMMAND_SET_IN,
    COMMAND_SET_OUT,
    COMMAND_SET_LOOPS,
    COMMAND_JUMP_AHEAD,
    COMMAND_JUMP_BACK,
    COMMAND_NUDGE_START_FORWARD,
    COMMAND_NUDGE_START_BACKWARD,
    COMMAND_NUDGE_BOTH_FORWARD,
    COMMAND_NUDGE_BOTH_BACKWARD,
    COMMAND_NUDGE_STOP_FORWARD,
    COMMAND_NUDGE_STOP_BACKWARD,
    COMMAND_SET_NUDGE,
    COMMAND_LIST_MARKERS,
    COMMAND_SELECT_MARKER,
    COMMAND_TOGGLE_EXACT,
    // During a play.
    COMMAND_HAND_ON,   // at the end of this pass, the next stretch
    COMMAND_HAND_BACK, // ... the stretch before
    COMMAND_RELEASE,   // this pass is the last
    COMMAND_PAUSE,     // pause, or go on
    COMMAND_STOP,      // stop the play, keep the selection
    // From the remote only.
    COMMAND_ARM,       // ready the selection's first audio, to start at once on a play
    COMMAND_RESUME,    // go on after a pause
    COMMAND_SET_EXACT, // exact edges on or off, as asked
    COMMAND_STATE,     // the state, as a reply
    COMMAND_SUBSCRIBE, // feedback pushed to the sender
    COMMAND_UNSUBSCRIBE,
};

// The command a menu word names, matched exactly, case included.
Command menu_command(const char *word);

// The command a key typed during a play asks for. The escape key is
// COMMAND_STOP: the caller tells it from a sequence (an arrow) first.
Command key_command(int key);
