#include "player/play_remote.h"

#include <algorithm>

#include "player/remote_menu.h"
#include "player/seconds.h"
#include "util/regular_file.h"

namespace {

// The shortest wait for the next pass to be heard, in ns.
constexpr int64_t MIN_FEEDBACK_WAIT_NS = 1000000;

// Starts an armed play: the device, filled, starts in one call.
void go_if_armed(Player *p, PlayNotes *notes, const RemoteRequest &r)
{
    if (!notes->armed) {
        remote_reply(&r, false, "a play is under way");
        return;
    }
    notes->armed = false;
    pcm_start_held(p->pcm);
    remote_reply(&r, true, "playing");
    notes->keys.changed = true;
}

// The play's own commands, answered with what the end of the pass will do.
void apply_to_play(Player *p, PlayNotes *notes, const RemoteRequest &r)
{
    if (!apply_play_command(p, &notes->keys, r.command)) {
        remote_reply(&r, false, "there is no stretch to hand on to");
        return;
    }
    char said[MARKER_LABEL_SIZE + 32] = "";
    describe_keys(p, &notes->keys, said, sizeof said);
    // Where the pass's end does nothing out of the way, the play goes on.
    remote_reply(&r, true, "%s", notes->keys.stop ? "stopped" : said[0] != '\0' ? said : "playing");
}

// The frames still to be heard after the pass heard: the passes written
// after it, and what the keys (or requests) make of the rest: nothing after
// a release, the stretch handed on to, once, or the loops left.
int64_t frames_after_the_pass_heard(const PlayNotes *notes)
{
    const PassWritten *last = &notes->heard;
    int64_t frames = 0;
    for (int i = 0; i < notes->writtenCount; ++i) {
        last = &notes->written[i];
        frames += last->to - last->from;
    }
    Command asked = notes->keys.atPassEnd;
    if (asked == COMMAND_RELEASE || last->last)
        return frames;
    if (asked == COMMAND_HAND_ON || asked == COMMAND_HAND_BACK)
        return frames + notes->keys.handOn.stop - std::max(notes->keys.handOn.start, 0);
    return frames + int64_t{last->passes - last->pass} * (last->to - last->from);
}

// The oldest pass written and not yet heard, taken off the list.
PassWritten oldest_pass_taken(PlayNotes *notes)
{
    PassWritten oldest = notes->written[0];
    for (int i = 1; i < notes->writtenCount; ++i)
        notes->written[i - 1] = notes->written[i];
    notes->writtenCount -= 1;
    return oldest;
}

} // namespace

void take_remote_requests(Player *p, PlayNotes *notes)
{
    RemoteRequest r{};
    // Once the play stops, what follows is the menu's: a go after a stop
    // starts the next play.
    while (!notes->keys.stop && remote_peek(&r)) {
        Command c = r.command;
        bool playsOwn = c == COMMAND_HAND_ON || c == COMMAND_HAND_BACK || c == COMMAND_RELEASE ||
                        c == COMMAND_PAUSE || c == COMMAND_RESUME || c == COMMAND_STOP;
        // A change disarms, and so does a go to a file changed since the
        // arm: the menu applies the request, the file checked again.
        bool changed = c != COMMAND_PLAY || !same_stamp(notes->armedFile, file_stamp(p->fileName));
        if (!playsOwn && c != COMMAND_EXIT && notes->armed && changed) {
            notes->keys.stop = true;
            return;
        }
        remote_next(&r);
        if (c == COMMAND_PLAY) {
            go_if_armed(p, notes, r);
        } else if (playsOwn) {
            apply_to_play(p, notes, r);
        } else if (c == COMMAND_EXIT) {
            p->exitAsked = true;
            notes->keys.stop = true;
            remote_reply(&r, true, "exiting");
        } else {
            remote_reply(&r, false, "a play is under way: stop it first");
        }
        tell_play_state(p, notes); // before a state asked next is answered
    }
}

void note_released(PlayNotes *notes)
{
    (notes->writtenCount > 0 ? notes->written[notes->writtenCount - 1] : notes->heard).last = true;
}

void note_pass_written(PlayNotes *notes, const PassWritten &pass)
{
    if (notes->writtenCount == MOST_PASSES_QUEUED) // told a little early, not lost
        notes->heard = oldest_pass_taken(notes);
    notes->written[notes->writtenCount++] = pass;
}

int64_t push_heard_feedback(Player *p, PlayNotes *notes, uint64_t unheard)
{
    if (!notes->remoteLive || notes->armed) // nothing is heard before the go
        return -1;
    // Any wait for feedback only where someone is told; the passes heard
    // are followed all the same, for a subscriber to come.
    bool told = remote_has_subscribers();
    int64_t heardAt = notes->framesWritten - static_cast<int64_t>(unheard);
    // A pass begins to be heard once its first frame has left the queue.
    while (notes->writtenCount > 0 && notes->written[0].at < heardAt) {
        notes->heard = oldest_pass_taken(notes);
        remote_push_pass(notes->heard.pass, notes->heard.passes);
        if (notes->heard.marker > 0)
            remote_push_marker(notes->heard.marker,
                               p->markers.items[notes->heard.marker - 1].label);
    }
    if (!told)
        return -1;
    const PassWritten &h = notes->heard;
    int64_t next = -1;
    if (h.passes > 0) {
        int64_t at = std::min<int64_t>(h.from + (heardAt - h.at), h.to);
        int64_t left = (h.to - at) + frames_after_the_pass_heard(notes);
        next = remote_push_position(static_cast<int32_t>(at),
                                    static_cast<double>(left) / p->wave.rate);
    }
    if (notes->writtenCount > 0) {
        // Its first frame's time from now, and 1 ms at least: a stalled
        // device's queue does not move.
        int64_t ahead = notes->written[0].at - heardAt;
        int64_t pass =
            std::max(pcm_ns_of(p->pcm, static_cast<uint64_t>(ahead) + 1), MIN_FEEDBACK_WAIT_NS);
        next = next < 0 || pass < next ? pass : next;
    }
    return next;
}

void tell_play_state(const Player *p, const PlayNotes *notes)
{
    tell_remote_state(p, notes->armed ? "armed" : notes->keys.paused ? "paused" : "playing");
}

void tell_play_done(PlayEnd end, int stoppedBy)
{
    if (end == PLAY_DONE)
        remote_push_done("heard", 0);
    else if (end == PLAY_STOPPED)
        remote_push_done("stopped", 128 + stoppedBy);
    else if (end == PLAY_CUT_SHORT)
        remote_push_done("cut short", 1);
    else
        remote_push_done("device error", 1);
}
