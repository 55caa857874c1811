#include "player/play_pass.h"

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <unistd.h>

#include "player/interrupt.h"
#include "player/play_keys.h"
#include "player/play_notes.h"
#include "player/play_remote.h"
#include "player/play_wait.h"
#include "player/remote_menu.h"
#include "player/seconds.h"
#include "util/fatal.h"
#include "util/keys.h"
#include "util/signals.h"

namespace {

// Reads frames [pos, pos + frames) of the data into `into` and returns the
// frames read. The callers never ask past the end of the sample data found
// by the latest probe, so chunks after the data are never played as sound.
// A file that holds fewer samples than the probe found (cut short while
// playing) ends the play there.
uint32_t read_frames(Player *p, int64_t pos, uint32_t frames, unsigned char *into, PlayNotes *notes)
{
    const WaveFields &w = p->wave;
    uint32_t frameBytes = frame_bytes(w);
    // off_t has 64 bits (_FILE_OFFSET_BITS), also where long has 32. The
    // stream knows where it stands: a pass's next period needs no seek.
    off_t at = static_cast<off_t>(w.dataStart) + pos * frameBytes;
    if (ftello(p->data) != at)
        fseeko(p->data, at, SEEK_SET);
    size_t got = std::fread(into, frameBytes, frames, p->data);
    if (got < frames) {
        tell("The file called %s ended at frame %lld during the play!\n", p->shownName,
             static_cast<long long>(pos) + static_cast<long long>(got));
        notes->end = PLAY_CUT_SHORT;
    }
    return static_cast<uint32_t>(got);
}

// The first write of a play finds the device dry whenever the menu waited
// long enough, and may wait for a device that is still starting; nothing is
// lost there, so only later trouble counts.
void count_trouble(PlayNotes *notes, const WriteTrouble &trouble)
{
    if (!notes->firstWrite) {
        notes->trouble.underruns += trouble.underruns;
        if (trouble.stalledNs > notes->trouble.stalledNs)
            notes->trouble.stalledNs = trouble.stalledNs;
    }
    notes->firstWrite = false;
}

void tell_trouble(const WriteTrouble &trouble)
{
    if (trouble.stalledNs > 0)
        warn("the playback device stalled for %.2f s during the play: a gap was heard, "
             "and audio may have been lost\n",
             static_cast<double>(trouble.stalledNs) / 1e9);
    uint32_t underruns = trouble.underruns;
    if (underruns == 1)
        warn("the playback device ran dry during the play (an underrun): a gap was heard, "
             "and audio may have been lost\n");
    if (underruns > 1)
        warn("the playback device ran dry %u times during the play (underruns): gaps were "
             "heard, and audio may have been lost\n",
             underruns);
}

// The period buffer as it fills: frames from one pass or, with exact edges,
// from the end of one and the start of the next. Where a pass ends inside
// it while a lead is kept, the device has its first frames already. A
// period held for a pass's last frames has them after it (see
// holds_for_the_tail), up to two periods in all.
struct Period {
    uint32_t filled;
    uint32_t sent;    // to the device
    int64_t clockPos; // the file position of its first frame
};

// Sends the period's frames up to upTo that the device doesn't have yet,
// after the wait for the lead where one is kept and keepLead. Stopped
// (Ctrl-C, q), the play ends.
void send_frames(Player *p, Period *period, uint32_t upTo, bool keepLead, PlayNotes *notes)
{
    if (period->sent == upTo)
        return;
    uint32_t frames = upTo - period->sent;
    take_keys(p, notes);
    WriteTrouble trouble{};
    // The device converts the frames where they lie: those sent before them
    // are no longer needed.
    unsigned char *first = p->buffer + size_t{period->sent} * frame_bytes(p->wave);
    // The device settles first: a stopped play's drop that a stalled
    // server holds up would hold every look at the device, beyond Ctrl-C.
    if (notes->end == PLAY_STOPPED || !pcm_settle(p->pcm) ||
        (notes->keys.paused && !pause_while_asked(p, notes)) ||
        !room_for(p, notes, frames, keepLead, &trouble) ||
        pcm_write_period_or_exit(p->pcm, first, frames, &trouble) == WRITE_STOPPED) {
        notes->end = PLAY_STOPPED;
        return;
    }
    period->sent = upTo;
    notes->framesWritten += frames;
    count_trouble(notes, trouble);
}

// Sends the rest of the period and shows the clock. A period the play's end
// leaves part filled is filled up with silence, or, with exact edges,
// written as it is: the last sound is then the play's end, with nothing
// after it to wait for. Stopped by Ctrl-C, the play ends.
void write_period_or_exit(Player *p, Period *period, PlayNotes *notes)
{
    uint32_t frameBytes = frame_bytes(p->wave);
    uint32_t frames = p->exact ? period->filled : p->period;
    // Silence in the file's own width; any room beyond is for the
    // conversion, which writes it.
    std::memset(p->buffer + size_t{period->filled} * frameBytes, p->silence,
                size_t{frames - period->filled} * frameBytes);
    send_frames(p, period, frames, true, notes);
    period->filled = 0;
    period->sent = 0;
    if (notes->end == PLAY_STOPPED)
        return;
    notes->clockPos = period->clockPos;
    show_clock(p, notes);
}

// With exact edges while a lead is kept, a full period after which the pass
// ends in less than a period waits for the pass's last frames, and both go
// to the device in one write: at each pass end a write fewer, and a wake-up
// fewer of the server's plugin, which wakes for every write. The device's
// buffer holds two periods at least.
bool holds_for_the_tail(const Player *p, const PlayNotes *notes, int64_t pos, int64_t to)
{
    return p->exact && (notes->keysLive || notes->remoteLive) && pos < to && to - pos < p->period &&
           2 * uint64_t{p->period} <= pcm_buffer_frames(p->pcm);
}

// Sends a held period and the pass's last frames after it, up to the file
// position passEnd, once the lead allows, and shows the clock; those last
// frames, sent, begin the period that follows.
void write_held_period_or_exit(Player *p, Period *period, int64_t passEnd, PlayNotes *notes)
{
    send_frames(p, period, period->filled, true, notes);
    if (notes->end == PLAY_STOPPED)
        return;
    period->filled -= p->period;
    period->sent -= p->period;
    notes->clockPos = period->clockPos;
    period->clockPos = passEnd - period->filled;
    show_clock(p, notes);
}

// Where a pass from `from` ends. With exact edges, at the stop frame. Else in
// whole periods: at the first period boundary at or past the stop. Never
// past the end of the data.
int64_t pass_end(const Player *p, int64_t from)
{
    int64_t stop = p->selection.stop;
    if (!p->exact) {
        int64_t periods = (stop - from + p->period - 1) / p->period;
        stop = from + (periods > 1 ? periods : 1) * p->period; // a pass is one period at least
    }
    return stop < p->wave.length ? stop : p->wave.length;
}

// One pass: frames [from, to) into the period buffer, each full period
// written (a held one with the pass's last frames). It ends early where the
// file was cut short, or on Ctrl-C.
void play_pass_or_exit(Player *p, int64_t from, int64_t to, Period *period, PlayNotes *notes)
{
    uint32_t frameBytes = frame_bytes(p->wave);
    int64_t pos = from;
    while (pos < to && notes->end == PLAY_DONE) {
        if (period->filled == 0)
            period->clockPos = pos;
        int64_t room = (period->filled < p->period ? p->period : 2 * p->period) - period->filled;
        auto frames = static_cast<uint32_t>(to - pos < room ? to - pos : room);
        uint32_t got =
            read_frames(p, pos, frames, p->buffer + size_t{period->filled} * frameBytes, notes);
        period->filled += got;
        pos += got;
        if (period->filled == p->period && !holds_for_the_tail(p, notes, pos, to))
            write_period_or_exit(p, period, notes);
    }
    if (period->filled > p->period && notes->end != PLAY_STOPPED)
        write_held_period_or_exit(p, period, pos, notes);
}

// How many passes are left after the one that just ended, by the key
// pressed during it: Enter makes it the last; a hand-on makes the stretch
// it goes to the selection, played once, and its marker's number goes to
// *marker (0 without markers).
int32_t passes_after_keys(Player *p, int32_t left, PlayNotes *notes, bool *handedOn,
                          int32_t *marker)
{
    take_keys(p, notes);
    Command asked = notes->keys.atPassEnd;
    notes->keys.atPassEnd = COMMAND_NONE;
    if (asked == COMMAND_RELEASE)
        note_released(notes);
    if (asked == COMMAND_RELEASE || asked == COMMAND_NONE)
        return asked == COMMAND_RELEASE ? 0 : left;
    // The stretch handed on plays once, and is the selection from now on:
    // played again, once too, as the menu shows.
    p->selection = notes->keys.handOn;
    p->loops = 1;
    *handedOn = true;
    const Marker *mark = notes->keys.mark;
    *marker = mark != nullptr ? static_cast<int32_t>(mark - p->markers.items) + 1 : 0;
    return 1;
}

// With keys or the remote live, what follows a pass is decided as late as
// the lead allows: the pass's frames sent at once (with exact edges, those
// of a period it shares with the next: a wait for the lead before them
// would be a wake-up more for nothing), once all but the lead of what was
// written has been heard. A key pressed a lead before the pass's end acts
// there. Before the stream starts (its first period), at once.
void wait_until_pass_heard(Player *p, Period *period, PlayNotes *notes)
{
    if (!(notes->keysLive || notes->remoteLive) || notes->end != PLAY_DONE || !pcm_running(p->pcm))
        return;
    send_frames(p, period, period->filled, false, notes);
    if (notes->end == PLAY_DONE && !wait_for_lead(p, notes))
        notes->end = PLAY_STOPPED;
}

// The passes back to back. Without exact edges each pass ends on a whole
// period and the next starts a period of its own; with them, the next
// pass's first frame follows the last one's in the same period, and only
// the last period is filled up with silence.
void play_passes_or_exit(Player *p, int32_t loops, PlayNotes *notes)
{
    Period period{0, 0, 0};
    bool handedOn = false;
    int32_t marker = 0; // the hand-on's, for the pass it begins (one at most follows it)
    for (int32_t left = loops; left > 0 && notes->end == PLAY_DONE;) {
        // A hand-on's one pass says so too: the count shown last is not left.
        if (loops != 1)
            std::printf("\nLoops remaining: %i\n", left - 1);
        left -= 1;
        // A start at or after the stop plays nothing, yet its header and
        // loop lines are printed all the same.
        if (p->selection.start >= p->selection.stop)
            continue;
        // Frames before the data don't exist: a start below 0 plays from
        // frame 0. The stored start, which the menu shows, is left as it is.
        int64_t from = p->selection.start < 0 ? 0 : p->selection.start;
        int64_t passStart = notes->framesWritten + (period.filled - period.sent);
        int64_t to = pass_end(p, from);
        int32_t passes = handedOn ? 1 : loops;
        note_pass_written(notes, PassWritten{passStart, static_cast<int32_t>(from),
                                             static_cast<int32_t>(to), passes - left, passes,
                                             marker, false});
        play_pass_or_exit(p, from, to, &period, notes);
        if (!p->exact && period.filled > 0 && notes->end != PLAY_STOPPED)
            write_period_or_exit(p, &period, notes);
        wait_until_pass_heard(p, &period, notes);
        if (notes->end == PLAY_DONE)
            left = passes_after_keys(p, left, notes, &handedOn, &marker);
    }
    if (period.filled > 0 && notes->end != PLAY_STOPPED)
        write_period_or_exit(p, &period, notes);
    // All of it fitted the device as a load holds it.
    if (notes->armed && notes->end != PLAY_STOPPED && !ready_until_go(p, notes))
        notes->end = PLAY_STOPPED;
}

} // namespace

// Fuzzing explores inputs, not durations: a typed loop count of two billion
// would only make every such run time out.
#ifdef FUZZING_BUILD_MODE_UNSAFE_FOR_PRODUCTION
constexpr int32_t MOST_LOOPS = 3;
#else
constexpr int32_t MOST_LOOPS = INT32_MAX;
#endif

PlayEnd play_selection_or_exit(Player *p, bool stoppable)
{
    uint32_t rate = p->wave.rate;
    int32_t loops = p->loops < MOST_LOOPS ? p->loops : MOST_LOOPS;
    std::puts("Playing...");
    std::printf("start = %.2f sec\n", frames_to_seconds(p->selection.start, rate));
    std::printf("stop  = %.2f sec\n", frames_to_seconds(p->selection.stop, rate));
    PlayNotes notes{};
    notes.remoteLive = remote_on();
    if (stoppable)
        catch_interrupts(p->pcm);
    if (notes.remoteLive)
        catch_endings(p->pcm);
    notes.firstWrite = true;
    notes.end = PLAY_DONE;
    notes.keysLive = keys_begin();
    notes.armed = p->armAsked;
    p->armAsked = false;
    if (notes.armed) {
        notes.armedFile = file_stamp(p->fileName);
        pcm_hold_start(p->pcm); // "armed" is told once the device is filled
    } else
        tell_play_state(p, &notes);
    play_passes_or_exit(p, loops, &notes);
    // The clock line's last word, however the play was stopped (Ctrl-C, q,
    // Esc, the remote): what the keys had asked is no more.
    if (notes.end == PLAY_STOPPED && !notes.armed) {
        notes.keys.stopped = true;
        show_clock(p, &notes);
    }
    // The remote hears of the end when the last frame is heard (a script's
    // play, when the device is drained).
    if (notes.remoteLive && stoppable && notes.end == PLAY_DONE &&
        !wait_until_queued_at_most(p, &notes, 0))
        notes.end = PLAY_STOPPED;
    keys_end();
    release_interrupts();
    // The device ran dry or stalled in the middle: the play was not heard
    // as one run, and what a device drops then it may not tell. (A pause
    // of the player's own is the user's gap.)
    bool gap = notes.trouble.underruns > 0 || notes.trouble.stalledNs > 0;
    PlayEnd end = notes.end == PLAY_DONE && gap ? PLAY_NOT_HEARD : notes.end;
    // An armed play that never started has no end to tell: its disarm
    // is the state going back to idle.
    int endedBy = ended_by_signal();
    if (notes.remoteLive && !notes.armed && (stoppable || end != PLAY_DONE))
        tell_play_done(end, endedBy != 0 ? endedBy : SIGINT);
    // q or Esc during px or wx ends the run, as Ctrl-C does there. The
    // remote hears of the state the run leaves before it ends.
    bool quit = notes.keys.stop && !stoppable;
    if (endedBy != 0 || quit)
        tell_remote_state(p, "idle");
    if (endedBy != 0)
        die_by_signal(endedBy);
    if (quit)
        std::raise(SIGINT);
    if (notes.end == PLAY_STOPPED)
        pcm_drop(p->pcm);
    tell_trouble(notes.trouble);
    return end;
}
