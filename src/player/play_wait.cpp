#include "player/play_wait.h"

#include <algorithm>
#include <cstdio>
#include <unistd.h>

#include "control/wait.h"
#include "player/play_remote.h"
#include "player/seconds.h"
#include "util/clock.h"
#include "util/pauses.h"

namespace {

// The shorter of two waits, in ns; a negative one is no wait.
int64_t sooner(int64_t a, int64_t b)
{
    return a < 0 || (b >= 0 && b < a) ? b : a;
}

// A look at the device, with what is written and not yet heard by its
// delay where that counts (a lead is kept, a subscriber is told of what is
// heard), else by its queue.
PcmLook look_now(const Player *p, bool byDelay)
{
    return pcm_look(p->pcm, byDelay || remote_has_subscribers());
}

// How much longer than what it held takes to play a device may keep a lead
// wait waiting before it counts as not playing down.
constexpr int64_t LEAD_SLACK_NS = 50000000;

// A device that doesn't play down what it holds (a server that, after a
// stall, waits for its pre-buffer to fill before it plays again) would hold
// a lead wait for ever: once the wait outlasts what the device held, the
// lead is let go, and writes fill the device as they would without keys,
// until it is seen to play on.
bool lead_let_go(const Player *p, PlayNotes *notes, uint64_t unheard, int64_t waitedNs,
                 uint64_t heldAtFirst)
{
    int64_t heardAt = notes->framesWritten - static_cast<int64_t>(unheard);
    if (notes->leadLetGo && heardAt <= notes->leadLetGoAt + p->wave.rate / 1000)
        return true;
    notes->leadLetGo = waitedNs > pcm_ns_of(p->pcm, heldAtFirst) + LEAD_SLACK_NS;
    notes->leadLetGoAt = heardAt;
    return notes->leadLetGo;
}

// Waits, taking keys and requests and telling the remote what is heard,
// until the device holds at most most frames, or, for the lead, until what
// is written and not yet heard (by the device's delay) is down to the
// device's lead. A lead is kept only while the stream runs (an armed fill
// or a first period has nothing playing down) and plays down. Where held
// is UINT64_MAX, the first look sets it to all the device held then (its
// queue, or what is not yet heard, whichever is more): a lead wait, the
// first of a write's waits, lets the lead go by it. False when the play
// was stopped meanwhile.
bool wait_for_queue(Player *p, PlayNotes *notes, uint64_t most, bool lead, uint64_t *held)
{
    int64_t began = monotonic_ns();
    for (;;) {
        take_keys(p, notes);
        if (notes->end == PLAY_STOPPED || pcm_stopping(p->pcm))
            return false;
        PcmLook look = look_now(p, lead);
        if (*held == UINT64_MAX)
            *held = std::max(look.queued, look.unheard);
        if (lead && !look.running)
            return true;
        uint64_t unheard = look.unheard;
        int64_t feedbackNs = push_heard_feedback(p, notes, unheard);
        if (lead && lead_let_go(p, notes, unheard, monotonic_ns() - began, *held))
            return true;
        uint64_t counted = lead ? unheard : look.queued;
        if (lead)
            most = pcm_lead_frames(p->pcm, look.queued, unheard);
        // Within a millisecond: a wait's wake-up is no finer.
        if (counted <= most + p->wave.rate / 1000)
            return true;
        wait_for_input(notes->keysLive ? STDIN_FILENO : -1,
                       sooner(pcm_ns_of(p->pcm, counted - most), feedbackNs));
    }
}

} // namespace

// Shows the clock: the file position of the period last written. At a
// terminal whose keys are live, the line also says what the keys will do,
// once they have said anything.
void show_clock(const Player *p, PlayNotes *notes)
{
    notes->keys.changed = false;
    if (p->showClock == 0)
        return;
    // Positions lie within the data, so they fit an int32_t.
    std::printf("\rclock = %.2f sec",
                frames_to_seconds(static_cast<int32_t>(notes->clockPos), p->wave.rate));
    char said[MARKER_LABEL_SIZE + 32] = "";
    if (notes->keysLive && isatty(STDOUT_FILENO) != 0)
        describe_keys(p, &notes->keys, said, sizeof said);
    if (said[0] != '\0' || notes->keysShown)
        std::printf("%s%s\033[K", said[0] != '\0' ? "  " : "",
                    said); // and the rest of the line cleared
    notes->keysShown = said[0] != '\0';
    std::fflush(stdout);
}

// Reads the keys typed since the last look, and the remote's requests; q,
// Esc and a remote stop end the play.
void take_keys(Player *p, PlayNotes *notes)
{
    if (notes->keysLive)
        read_play_keys(p, &notes->keys);
    if (notes->remoteLive)
        take_remote_requests(p, notes);
    if (notes->keys.stop)
        notes->end = PLAY_STOPPED;
    if (notes->keys.changed) {
        show_clock(p, notes);
        tell_play_state(p, notes);
    }
}

// With keys or the remote live: waits, taking them, until the device
// holds at most frames not yet played. False when the play was stopped
// meanwhile (Ctrl-C, q).
bool wait_until_queued_at_most(Player *p, PlayNotes *notes, uint64_t frames)
{
    uint64_t held = UINT64_MAX;
    return wait_for_queue(p, notes, frames, false, &held);
}

bool wait_for_lead(Player *p, PlayNotes *notes)
{
    uint64_t held = UINT64_MAX;
    return wait_for_queue(p, notes, 0, true, &held);
}

// Space: the device holds its place where it can; elsewhere it plays what
// it holds and then rests, so that the play goes on from the next frame
// either way: nothing lost, nothing played twice. Waits for Space again,
// reading keys. False when the play was stopped meanwhile.
bool pause_while_asked(Player *p, PlayNotes *notes)
{
    bool held = pcm_pause(p->pcm, true);
    if (!held && !wait_until_queued_at_most(p, notes, 0))
        return false;
    if (!held && notes->keys.paused)
        pcm_rest(p->pcm);
    while (notes->keys.paused && notes->end != PLAY_STOPPED && !pcm_stopping(p->pcm)) {
        uint64_t unheard = look_now(p, false).unheard;
        wait_for_input(notes->keysLive ? STDIN_FILENO : -1, push_heard_feedback(p, notes, unheard));
        take_keys(p, notes);
    }
    if (held)
        pcm_pause(p->pcm, false);
    return notes->end != PLAY_STOPPED && !pcm_stopping(p->pcm);
}

// An armed play, once the device holds its first audio: says so, and
// waits for the go. False when the play was stopped instead.
bool ready_until_go(Player *p, PlayNotes *notes)
{
    if (!notes->armed)
        return true;
    remote_reply(&p->armRequest, true, "armed");
    tell_play_state(p, notes);
    while (notes->armed && notes->end != PLAY_STOPPED && !pcm_stopping(p->pcm)) {
        wait_for_input(notes->keysLive ? STDIN_FILENO : -1, -1);
        take_keys(p, notes);
    }
    return notes->end != PLAY_STOPPED && !pcm_stopping(p->pcm);
}

// With keys or the remote live, a write waits for the lead (see
// wait_for_lead); with the remote on, it must not block its wait either,
// and waits, serving it, for room for frames (for the go, where a loaded
// play filled the device as far as it takes without starting). The write then no longer waits for
// the device, so a stall shows here, as a wait longer than all that was queued (the sound server's
// share included, as the first wait's first look saw it) takes to play, and goes to trouble as a
// write's would. False when the play was stopped meanwhile.
bool room_for(Player *p, PlayNotes *notes, uint32_t frames, bool keepLead, WriteTrouble *trouble)
{
    if (!notes->remoteLive && !notes->keysLive)
        return true;
    uint64_t buffer = pcm_buffer_frames(p->pcm);
    if (notes->armed && pcm_queued_frames(p->pcm) + frames > pcm_held_room(p->pcm) &&
        !ready_until_go(p, notes))
        return false;
    int64_t began = monotonic_ns();
    uint32_t pauses = pauses_so_far();
    uint64_t held = UINT64_MAX;
    if ((keepLead && !wait_for_queue(p, notes, 0, true, &held)) ||
        (notes->remoteLive &&
         !wait_for_queue(p, notes, buffer > frames ? buffer - frames : 0, false, &held)))
        return false;
    if (held != UINT64_MAX && pauses == pauses_so_far()) // else the player's own pause
        pcm_note_stall(monotonic_ns() - began, pcm_ns_of(p->pcm, held), trouble);
    return true;
}
