#include "player/selection.h"

#include <cctype>
#include <cstdio>

#include "player/seconds.h"
#include "util/console_input.h"
#include "util/printable.h"
#include "util/text_sizes.h"

namespace {

// A reply that begins with "#": the position of the marker it names goes
// to *frame, or there is none and it is said. False for any other reply,
// which is left unread.
bool read_marker_reply(const MarkerList *markers, int32_t *frame)
{
    int c = 0;
    while ((c = console_getc(stdin)) != EOF && std::isspace(c) != 0) {
    }
    if (c != EOF)
        std::ungetc(c, stdin);
    if (c != '#' || markers == nullptr)
        return false;
    char word[COMMAND_TEXT_SIZE];
    read_word(stdin, word, sizeof word);
    int32_t number = 0;
    const Marker *m = marker_number(word, &number) ? marker_numbered(markers, number) : nullptr;
    if (m != nullptr) {
        *frame = static_cast<int32_t>(m->position);
        return true;
    }
    make_printable(word);
    std::printf("There is no marker %s.\n", word + 1);
    return true;
}

} // namespace

int32_t in_point(uint32_t rate, int32_t length, float seconds)
{
    float x = frames_product(rate, seconds);
    // Compared in double, so a product that rounds onto the length in single
    // precision still counts as reaching it; NaN fails both tests.
    double product = x;
    return product < static_cast<double>(length) && product >= 0 ? truncate_to_frames(x) : 0;
}

int32_t out_point(uint32_t rate, int32_t length, float seconds)
{
    float x = frames_product(rate, seconds);
    double product = x;
    return product <= static_cast<double>(length) ? truncate_to_frames(x) : length;
}

void SetInTime(uint32_t rate, int32_t length, int32_t *start, const MarkerList *markers)
{
    std::puts("Enter in-time in seconds.");
    if (read_marker_reply(markers, start))
        return;
    float seconds = 0;
    if (std::scanf("%f", &seconds) == 1)
        *start = in_point(rate, length, seconds);
}

void SetOutTime(uint32_t rate, int32_t length, int32_t *stop, const MarkerList *markers)
{
    std::puts("Enter out-time in seconds.");
    if (read_marker_reply(markers, stop))
        return;
    float seconds = 0;
    if (std::scanf("%f", &seconds) == 1)
        *stop = out_point(rate, length, seconds);
}

// In the commands below, a comparison with the length takes the candidate as
// unsigned, so a candidate that wrapped negative counts as past the end.

Selection jump_ahead(Selection s, uint32_t length, int32_t)
{
    int32_t stop = wrap_sub(wrap_add(s.stop, s.stop), s.start);
    if (length < static_cast<uint32_t>(stop))
        stop = static_cast<int32_t>(length);
    return Selection{s.stop, stop};
}

Selection jump_back(Selection s, uint32_t, int32_t)
{
    int32_t start = wrap_sub(wrap_add(s.start, s.start), s.stop);
    return Selection{start < 0 ? 0 : start, s.start};
}

Selection nudge_start_forward(Selection s, uint32_t, int32_t nudge)
{
    int32_t start = wrap_add(s.start, nudge);
    return Selection{start >= s.stop ? s.stop : start, s.stop};
}

Selection nudge_start_backward(Selection s, uint32_t, int32_t nudge)
{
    int32_t start = wrap_sub(s.start, nudge);
    return Selection{start < 0 ? 0 : start, s.stop};
}

Selection nudge_stop_forward(Selection s, uint32_t length, int32_t nudge)
{
    int32_t stop = wrap_add(s.stop, nudge);
    if (static_cast<uint32_t>(stop) >= length)
        stop = static_cast<int32_t>(length);
    return Selection{s.start, stop};
}

Selection nudge_stop_backward(Selection s, uint32_t, int32_t nudge)
{
    int32_t stop = wrap_sub(s.stop, nudge);
    return Selection{s.start, stop >= s.start ? stop : s.start};
}

// The start moves by the full amount even when the stop is held at the end,
// so it can pass the stop; the next "p" then says so.
Selection nudge_both_forward(Selection s, uint32_t length, int32_t nudge)
{
    Selection moved = nudge_stop_forward(s, length, nudge);
    moved.start = wrap_add(s.start, nudge);
    return moved;
}

Selection nudge_both_backward(Selection s, uint32_t length, int32_t nudge)
{
    int32_t stop = wrap_sub(s.stop, nudge);
    Selection moved = nudge_start_backward(s, length, nudge);
    moved.stop = stop < 0 ? 0 : stop;
    return moved;
}

Selection stretch_of(const Marker *m)
{
    // Positions and ends lie within the data: they fit an int32_t.
    return Selection{static_cast<int32_t>(m->position), static_cast<int32_t>(m->end)};
}
