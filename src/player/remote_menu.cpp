#include "player/remote_menu.h"

#include <cstring>
#include <unistd.h>

#include "control/wait.h"
#include "player/seconds.h"
#include "util/console_input.h"
#include "util/text_sizes.h"

namespace {

// The number of the marker at the selection's start, or 0.
int32_t marker_at_start(const Player *p)
{
    for (uint32_t i = 0; i < p->markers.count; ++i) {
        if (static_cast<int64_t>(p->markers.items[i].position) == p->selection.start)
            return static_cast<int32_t>(i + 1);
    }
    return 0;
}

// The frame a request names: marker N's position, or where its seconds
// fall, as the menu's "i" (or "o") takes them. A controller hears of a
// time the menu would take as 0 or the end, rather than have it snapped:
// false, answered, for no such marker or a time outside the file (an in
// point at its end included).
bool requested_frame(const Player *p, const RemoteRequest &r, int index, bool in, int32_t *frame)
{
    const WaveFields &w = p->wave;
    auto length = static_cast<int32_t>(w.length);
    if (!r.hasSeconds) {
        const Marker *m = marker_numbered(&p->markers, r.marker);
        if (m == nullptr)
            remote_reply(&r, false, "there is no marker %i", r.marker);
        else
            *frame = static_cast<int32_t>(m->position);
        return m != nullptr;
    }
    auto seconds = static_cast<float>(r.seconds[index]);
    double product = frames_product(w.rate, seconds);
    if (!(product >= 0 && (in ? product < length : product <= length))) {
        remote_reply(&r, false, "%g sec is outside the file, which lasts %.2f sec",
                     static_cast<double>(seconds),
                     static_cast<double>(frames_to_seconds(length, w.rate)));
        return false;
    }
    *frame = in ? in_point(w.rate, length, seconds) : out_point(w.rate, length, seconds);
    return true;
}

// A go's or an arm's selection: as it is, marker N's stretch, or from and
// to the seconds given. False, answered, where it can't be played.
bool selection_for_play(Player *p, const RemoteRequest &r)
{
    Selection s = p->selection;
    const Marker *m = marker_numbered(&p->markers, r.marker);
    if (r.arguments == 1 && m == nullptr) {
        remote_reply(&r, false, "there is no marker %i", r.marker);
        return false;
    }
    if (r.arguments == 1)
        s = stretch_of(m);
    if (r.arguments == 2 &&
        !(requested_frame(p, r, 0, true, &s.start) && requested_frame(p, r, 1, false, &s.stop)))
        return false;
    if (s.start >= s.stop) {
        remote_reply(&r, false, "%s",
                     s.start == s.stop ? "start and stop are the same"
                                       : "start is later than stop");
        return false;
    }
    p->selection = s;
    return true;
}

Pending go(Player *p, const RemoteRequest &r)
{
    if (!selection_for_play(p, r))
        return PENDING_NONE;
    uint32_t rate = p->wave.rate;
    p->armAsked = r.command == COMMAND_ARM;
    p->armRequest = r;
    if (!p->armAsked)
        remote_reply(&r, true, "playing %.2f to %.2f sec",
                     static_cast<double>(frames_to_seconds(p->selection.start, rate)),
                     static_cast<double>(frames_to_seconds(p->selection.stop, rate)));
    return PENDING_PLAY;
}

Pending set_point(Player *p, const RemoteRequest &r)
{
    bool in = r.command == COMMAND_SET_IN;
    int32_t frame = 0;
    if (!requested_frame(p, r, 0, in, &frame))
        return PENDING_NONE;
    (in ? p->selection.start : p->selection.stop) = frame;
    remote_reply(&r, true, "%s = %.2f sec", in ? "start" : "stop",
                 static_cast<double>(frames_to_seconds(frame, p->wave.rate)));
    return PENDING_NONE;
}

// While a prompt waits for its answer at the terminal, the remote's
// requests are answered at once: refused, but for what it answers itself
// (the state, a subscription).
void wait_at_prompt(std::FILE *in)
{
    while (!input_waiting(in)) {
        wait_for_input(fileno(in), -1);
        RemoteRequest r{};
        while (remote_next(&r))
            remote_reply(&r, false, "the terminal is at a prompt");
    }
}

} // namespace

void answer_remote_at_prompts(bool answer)
{
    console_wait_with(answer && remote_on() ? wait_at_prompt : nullptr);
}

void tell_remote_state(const Player *p, const char *state)
{
    if (!remote_on())
        return;
    remote_set_status(RemoteStatus{state, p->selection.start, p->selection.stop, p->wave.rate,
                                   p->loops, p->exact, marker_at_start(p)});
}

bool next_word_or_request(Player *p, RemoteRequest *r)
{
    for (;;) {
        tell_remote_state(p, "idle");
        if (remote_next(r))
            return true;
        if (!p->inputEnded && word_waiting(stdin)) {
            p->inputEnded = read_word(stdin, p->commandText, COMMAND_TEXT_SIZE) == WORD_END;
            if (!p->inputEnded)
                return false;
        }
        wait_for_input(p->inputEnded ? -1 : STDIN_FILENO, -1);
    }
}

Pending apply_request_at_menu(Player *p, const RemoteRequest &r)
{
    switch (r.command) {
    case COMMAND_PLAY:
    case COMMAND_ARM:
        return go(p, r);
    case COMMAND_SET_IN:
    case COMMAND_SET_OUT:
        return set_point(p, r);
    case COMMAND_SET_LOOPS:
        // The menu plays a count below 1 as nothing at all: a controller
        // that asks for it has made a mistake, and hears so.
        if (r.whole < 1) {
            remote_reply(&r, false, "loops: at least 1");
            return PENDING_NONE;
        }
        p->loops = r.whole;
        remote_reply(&r, true, "loops = %i", r.whole);
        return PENDING_NONE;
    case COMMAND_SET_EXACT:
        if (r.whole != 0 && r.whole != 1) {
            remote_reply(&r, false, "exact edges: 0 (off) or 1 (on)");
            return PENDING_NONE;
        }
        p->exact = r.whole != 0;
        p->exactUsed = true;
        remote_reply(&r, true, "exact edges %s", p->exact ? "on" : "off");
        return PENDING_NONE;
    case COMMAND_EXIT:
        remote_reply(&r, true, "exiting");
        return PENDING_EXIT;
    case COMMAND_STOP:
        remote_reply(&r, true, "no play is under way");
        return PENDING_NONE;
    default:
        remote_reply(&r, false, "no play is under way");
        return PENDING_NONE;
    }
}
