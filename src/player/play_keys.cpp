#include "player/play_keys.h"

#include <cstdio>

#include "util/keys.h"

namespace {

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

} // namespace

bool handed_on_stretch(const Player *p, bool forward, Selection *out)
{
    const Selection &s = p->selection;
    if (p->markers.count > 0) {
        const Marker *m = marker_beside(&p->markers, s.start, forward);
        if (m != nullptr)
            *out = Selection{static_cast<int32_t>(m->position), static_cast<int32_t>(m->end)};
        return m != nullptr && m->position < m->end;
    }
    *out =
        forward ? jump_ahead(s, p->wave.length, p->nudge) : jump_back(s, p->wave.length, p->nudge);
    return out->start < out->stop && out->start != s.start;
}

PassKey read_pass_keys(const Player *p, PassKey pending)
{
    for (int key = next_key(); key >= 0; key = next_key()) {
        PassKey asked = key == '>' ? KEY_ON : key == '<' ? KEY_BACK : KEY_NONE;
        if (key == '\n' || key == '\r')
            pending = KEY_RELEASE;
        Selection next{};
        if (asked != KEY_NONE && handed_on_stretch(p, asked == KEY_ON, &next))
            pending = asked;
        else if (asked != KEY_NONE)
            std::fputs("\a", stdout); // nowhere to go
    }
    return pending;
}
