#include "player/play_keys.h"

#include <cstdio>

#include "player/seconds.h"
#include "util/keys.h"

namespace {

constexpr int ESC = 0x1b;

// The marker stretch next to the selection's start, or nullptr.
const Marker *marker_beside(const MarkerList *markers, int32_t start, bool forward)
{
    const Marker *found = nullptr;
    for (uint32_t i = 0; i < markers->count; ++i) {
        const Marker *m = &markers->items[i];
        auto position = static_cast<int64_t>(m->position);
        if (forward && position > start)
            return m;
        if (!forward && position < start)
            found = m;
    }
    return found;
}

// The stretch a hand-on goes to: the next marker's (forward) or the one
// before's, by position against the selection's start; for a file without
// markers, the selection jumped ahead or back by its own length, as "j" and
// "J" do. False where there is none (past the last marker, say).
bool handed_on_stretch(const Player *p, bool forward, PlayKeys *keys)
{
    const Selection &s = p->selection;
    keys->mark = nullptr;
    if (p->markers.count > 0) {
        const Marker *m = marker_beside(&p->markers, s.start, forward);
        if (m == nullptr || m->position >= m->end)
            return false;
        keys->mark = m;
        keys->handOn = stretch_of(m);
        return true;
    }
    Selection next =
        forward ? jump_ahead(s, p->wave.length, p->nudge) : jump_back(s, p->wave.length, p->nudge);
    if (next.start >= next.stop || next.start == s.start)
        return false;
    keys->handOn = next;
    return true;
}

// An escape sequence (an arrow, a function key) arrives whole: after ESC,
// '[' or 'O', then bytes up to a final one from '@' to '~'. ESC alone, or
// before another key, is the key itself.
bool escape_sequence_skipped()
{
    int next = next_key();
    if (next != '[' && next != 'O')
        return false;
    for (int key = next_key(); key >= 0; key = next_key()) {
        if (key >= '@' && key <= '~')
            break;
    }
    return true;
}

bool hand_on(const Player *p, PlayKeys *keys, bool forward)
{
    PlayKeys asked = *keys;
    if (!handed_on_stretch(p, forward, &asked))
        return false;
    *keys = asked;
    keys->atPassEnd = forward ? COMMAND_HAND_ON : COMMAND_HAND_BACK;
    return true;
}

} // namespace

bool apply_play_command(const Player *p, PlayKeys *keys, Command command)
{
    bool applied = true;
    if (command == COMMAND_HAND_ON || command == COMMAND_HAND_BACK)
        applied = hand_on(p, keys, command == COMMAND_HAND_ON);
    else if (command == COMMAND_RELEASE)
        keys->atPassEnd = COMMAND_RELEASE;
    else if (command == COMMAND_PAUSE || command == COMMAND_RESUME)
        keys->paused = command == COMMAND_PAUSE;
    else if (command == COMMAND_STOP)
        keys->stop = true;
    else
        applied = false;
    keys->changed = keys->changed || applied;
    return applied;
}

void read_play_keys(const Player *p, PlayKeys *keys)
{
    for (int key = next_key(); key >= 0; key = next_key()) {
        Command command = key == ESC && escape_sequence_skipped() ? COMMAND_NONE : key_command(key);
        // Space goes on after a pause, and pauses otherwise.
        if (command == COMMAND_PAUSE && keys->paused)
            command = COMMAND_RESUME;
        bool handOn = command == COMMAND_HAND_ON || command == COMMAND_HAND_BACK;
        if (!apply_play_command(p, keys, command) && handOn)
            std::fputs("\a", stdout); // nowhere to go
    }
}

void describe_keys(const Player *p, const PlayKeys *keys, char *out, size_t size)
{
    const Selection &s = keys->handOn;
    uint32_t rate = p->wave.rate;
    if (keys->stopped)
        std::snprintf(out, size, "stopped");
    else if (keys->paused)
        std::snprintf(out, size, "paused");
    else if (keys->atPassEnd == COMMAND_RELEASE)
        std::snprintf(out, size, "→ release: last pass");
    else if (keys->atPassEnd != COMMAND_NONE && keys->mark != nullptr)
        std::snprintf(out, size, "→ #%u \"%s\"",
                      static_cast<unsigned>(keys->mark - p->markers.items) + 1, keys->mark->label);
    else if (keys->atPassEnd != COMMAND_NONE)
        std::snprintf(out, size, "→ %.2f to %.2f sec", frames_to_seconds(s.start, rate),
                      frames_to_seconds(s.stop, rate));
    else
        out[0] = '\0';
}
