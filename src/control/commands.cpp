#include "control/commands.h"

#include <cstring>

namespace {

// The menu's words. Several may be typed on one line: each is one word.
const struct {
    const char *word;
    Command command;
} MENU_WORDS[] = {
    {"+", COMMAND_SHOW_ADDITIONAL},
    {"x", COMMAND_EXIT},
    {"p", COMMAND_PLAY},
    {"px", COMMAND_PLAY_THEN_END},
    {"w", COMMAND_WHOLE},
    {"wx", COMMAND_WHOLE_THEN_END},
    {"i", COMMAND_SET_IN},
    {"o", COMMAND_SET_OUT},
    {"l", COMMAND_SET_LOOPS},
    {"j", COMMAND_JUMP_AHEAD},
    {"J", COMMAND_JUMP_BACK},
    {"n", COMMAND_NUDGE_START_FORWARD},
    {"b", COMMAND_NUDGE_START_BACKWARD},
    {"N", COMMAND_NUDGE_BOTH_FORWARD},
    {"B", COMMAND_NUDGE_BOTH_BACKWARD},
    {"no", COMMAND_NUDGE_STOP_FORWARD},
    {"bo", COMMAND_NUDGE_STOP_BACKWARD},
    {"nn", COMMAND_SET_NUDGE},
    {"m", COMMAND_LIST_MARKERS},
    {"c", COMMAND_SELECT_MARKER},
    {"e", COMMAND_TOGGLE_EXACT},
};

// The keys during a play: single bytes, read without Enter.
const struct {
    int key;
    Command command;
} PLAY_KEYS[] = {
    {'>', COMMAND_HAND_ON},  {'<', COMMAND_HAND_BACK}, {'\n', COMMAND_RELEASE},
    {'\r', COMMAND_RELEASE}, {' ', COMMAND_PAUSE},     {'q', COMMAND_STOP},
    {0x1b, COMMAND_STOP}, // Esc
};

} // namespace

Command menu_command(const char *word)
{
    for (const auto &w : MENU_WORDS) {
        if (std::strcmp(word, w.word) == 0)
            return w.command;
    }
    return COMMAND_NONE;
}

Command key_command(int key)
{
    for (const auto &k : PLAY_KEYS) {
        if (k.key == key)
            return k.command;
    }
    return COMMAND_NONE;
}
