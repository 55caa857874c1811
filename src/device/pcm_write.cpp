// Writing periods to the device: the frames made ready for it, the start
// of the stream, recovery, stalls, and the stop, drop and drain of a play.
#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <ctime>

#include "device/convert.h"
#include "device/pcm_device.h"
#include "util/clock.h"
#include "util/fatal.h"
#include "util/pauses.h"

namespace {

// Failed writes, each followed by a recovery, after which the device counts
// as lost: a stream that recovers but never takes a frame must not spin.
constexpr int MOST_FAILED_WRITES_IN_A_ROW = 4;

// How long to wait for room in the device when a write said "try again".
constexpr int ROOM_WAIT_MS = 1000;

// What a sound server may hold beyond the device's buffer before it plays.
constexpr int64_t SERVER_SLACK_NS = 250000000;

// How much longer than the audio queued ahead of it a write may wait before
// it counts as a stall: the player's own scheduling, not the device's.
constexpr int64_t STALL_SLACK_NS = 50000000;

// How long a stop waits for a control call it cut short, in ms: longer
// than a running server takes to answer, short enough for the menu to come
// back at once from a stalled one.
constexpr int HELD_CALL_MS = 50;

constexpr char WRITE_FAILED[] = "Unable to write to the playback device: %s\n";

// What a stopped play left queued is dropped by whichever thread claims
// it first: the helper, right after a control call that a stalled device
// held up (else that call, a start say, would let the device play the
// stopped play on as it resumes), or the player before it next writes,
// drains or gives up waiting.
bool drop_claimed(PcmDevice *pcm)
{
    return __atomic_exchange_n(&pcm->dropWanted, false, __ATOMIC_ACQ_REL);
}

void drop_now(PcmDevice *pcm)
{
    snd_pcm_drop(pcm->handle);
    __atomic_store_n(&pcm->callResult, snd_pcm_prepare(pcm->handle), __ATOMIC_RELEASE);
}

// The control calls, each on the helper thread.
void drop_call(void *device)
{
    drop_now(static_cast<PcmDevice *>(device));
}

void recover_call(void *device)
{
    auto *pcm = static_cast<PcmDevice *>(device);
    __atomic_store_n(&pcm->callResult, snd_pcm_recover(pcm->handle, pcm->recoverErr, 1),
                     __ATOMIC_RELEASE);
    if (drop_claimed(pcm))
        drop_now(pcm);
}

// A sound server's start waits for the server's answer.
void start_call(void *device)
{
    auto *pcm = static_cast<PcmDevice *>(device);
    __atomic_store_n(&pcm->callResult, snd_pcm_start(pcm->handle), __ATOMIC_RELEASE);
    if (drop_claimed(pcm))
        drop_now(pcm);
}

// Waits for the running control call. False when stoppable and pcm_abort
// ended the wait first.
bool control_call_done(PcmDevice *pcm, bool stoppable)
{
    return side_call_wait(&pcm->call, stoppable ? &pcm->abortRequested : nullptr);
}

// Runs a control call and waits for it. False when stopped first.
bool control_call_made(PcmDevice *pcm, void (*call)(void *), bool stoppable)
{
    side_call_start(&pcm->call, call, pcm);
    return control_call_done(pcm, stoppable);
}

int call_result(const PcmDevice *pcm)
{
    return __atomic_load_n(&pcm->callResult, __ATOMIC_ACQUIRE);
}

// The device is free for a write or a drain once the last control call is
// done and a stopped play's audio dropped. False when stopped first.
bool device_settled(PcmDevice *pcm, bool stoppable)
{
    if (!control_call_done(pcm, stoppable))
        return false;
    if (!drop_claimed(pcm))
        return true;
    // A prepare that fails shows in the next write.
    return control_call_made(pcm, drop_call, stoppable);
}

// After a failed write, makes the device ready to take the same frames
// again. snd_pcm_recover clears what can be cleared (an underrun, a suspend,
// an interrupted wait) and hands back the rest (the device unplugged, its
// server gone), which ends the run: playing on would only pretend. It
// doesn't wait for room, which a write that said "try again" needs. False
// when stopped first.
bool recovered_or_exit(PcmDevice *pcm, int err)
{
    if (err == -EAGAIN) {
        snd_pcm_wait(pcm->handle, ROOM_WAIT_MS);
        return true;
    }
    pcm->recoverErr = err;
    if (!control_call_made(pcm, recover_call, true))
        return false;
    alsa_ok_or_exit(call_result(pcm), WRITE_FAILED);
    return true;
}

// Frames just written to a stream that isn't running yet start it, as the
// library's own start threshold of one frame would, but as a call that
// Ctrl-C can leave. 0, or the start's error; 0 too when stopped first.
int started_if_prepared(PcmDevice *pcm)
{
    if (pcm->holdStart || snd_pcm_state(pcm->handle) != SND_PCM_STATE_PREPARED)
        return 0;
    if (!control_call_made(pcm, start_call, true))
        return 0;
    return call_result(pcm);
}

// How long the audio in the device's buffer will play, from now.
int64_t queued_ns(const PcmDevice *pcm)
{
    return pcm_ns_of(pcm, pcm_queued_frames(pcm));
}

// A write waits for room for its frames, which a device that plays makes
// within their time: one stopped while waiting longer found the device
// stalled, and a stalled device may still play what it holds as it
// resumes, a drop or no drop.
void note_stall_at_stop(PcmDevice *pcm, int64_t waitedNs, uint32_t frames)
{
    if (waitedNs > pcm_ns_of(pcm, frames) + STALL_SLACK_NS && pauses_so_far() == pcm->continuesSeen)
        pcm->stalledAtStop = true;
}

// Whether the player itself was stopped and continued since the last look:
// then a long wait, or a device found dry, was the player's pause.
bool paused_since_last_look(PcmDevice *pcm)
{
    uint32_t pauses = pauses_so_far();
    bool paused = pauses != pcm->continuesSeen;
    pcm->continuesSeen = pauses;
    return paused;
}

// The file's frames as the device takes them: in little-endian order,
// converted, then reordered.
void ready_frames(const PcmDevice *pcm, unsigned char *buffer, uint32_t frames)
{
    size_t samples = size_t{frames} * pcm->channels;
    if (pcm->bigEndian)
        swap_sample_bytes(buffer, samples, encoding_width(pcm->encoding));
    convert_samples(pcm->encoding, pcm->played, buffer, samples);
    if (pcm->route.reorder)
        reorder_channels(buffer, frames, pcm->channels, encoding_width(pcm->played),
                         pcm->route.from, silence_byte(pcm->played));
}

} // namespace

WriteResult pcm_write_period_or_exit(PcmDevice *pcm, unsigned char *buffer, uint32_t frames,
                                     WriteTrouble *trouble)
{
    tell_route(pcm);
    ready_frames(pcm, buffer, frames);
    const uint32_t frameBytes = pcm->channels * encoding_width(pcm->played);
    if (!device_settled(pcm, true))
        return WRITE_STOPPED;
    bool paused = paused_since_last_look(pcm);
    int failuresInARow = 0;
    while (pcm->abortRequested == 0 && frames > 0) {
        int64_t queuedNs = queued_ns(pcm);
        int64_t startNs = monotonic_ns();
        snd_pcm_sframes_t written = snd_pcm_writei(pcm->handle, buffer, frames);
        // An abort ends a waiting write (it returns -EINTR, or the frames it
        // took): that means stop, not a failure to recover from.
        if (pcm->abortRequested != 0) {
            note_stall_at_stop(pcm, monotonic_ns() - startNs, frames);
            break;
        }
        int64_t endNs = monotonic_ns();
        paused = paused_since_last_look(pcm) || paused;
        if (!paused)
            pcm_note_stall(endNs - startNs, queuedNs, trouble);
        int err = 0;
        if (written > 0) {
            pcm->lastWriteNs = endNs;
            // A short count: the rest of the period follows in the next write.
            buffer += static_cast<uint32_t>(written) * frameBytes;
            frames -= static_cast<uint32_t>(written);
            failuresInARow = 0;
            err = started_if_prepared(pcm);
            if (err == 0)
                continue;
        } else {
            // Nothing taken counts as "try again": a blocking write should never do it.
            err = written == 0 ? -EAGAIN : static_cast<int>(written);
        }
        if (++failuresInARow > MOST_FAILED_WRITES_IN_A_ROW)
            alsa_ok_or_exit(err, WRITE_FAILED);
        // A device that ran dry while the player itself was stopped (Ctrl-Z,
        // SIGSTOP) made the user's own gap, and lost nothing: the frames
        // refused are written again, and the play goes on from the next one.
        if (err == -EPIPE && !paused)
            trouble->underruns += 1;
        if (!recovered_or_exit(pcm, err))
            break;
    }
    return pcm->abortRequested != 0 ? WRITE_STOPPED : WRITE_DONE;
}

void pcm_hold_start(PcmDevice *pcm)
{
    pcm->holdStart = true;
}

uint64_t pcm_held_room(const PcmDevice *pcm)
{
    return std::min(pcm->startThreshold, pcm->periodFrames) - 1;
}

bool pcm_settle(PcmDevice *pcm)
{
    return device_settled(pcm, true);
}

void pcm_start_held(PcmDevice *pcm)
{
    pcm->holdStart = false;
    // Nothing written yet: the first write starts it, as usual.
    if (pcm_queued_frames(pcm) > 0)
        alsa_ok_or_exit(started_if_prepared(pcm), WRITE_FAILED);
}

void pcm_note_stall(int64_t waitedNs, int64_t queuedNs, WriteTrouble *trouble)
{
    if (waitedNs > queuedNs + STALL_SLACK_NS && waitedNs > trouble->stalledNs)
        trouble->stalledNs = waitedNs;
}

bool pcm_stopping(const PcmDevice *pcm)
{
    return pcm->abortRequested != 0;
}

bool pcm_pause(PcmDevice *pcm, bool paused)
{
    // Where the device can't hold its place (a sound server's plugin), the
    // caller lets it play out and rests it instead.
    if (!pcm->canPause)
        return false;
    return snd_pcm_pause(pcm->handle, paused ? 1 : 0) >= 0;
}

void pcm_rest(PcmDevice *pcm)
{
    // A prepare that fails shows in the next write, which starts the
    // stream again; a stalled device's wait, Ctrl-C ends.
    if (device_settled(pcm, true))
        control_call_made(pcm, drop_call, true);
}

void pcm_abort(PcmDevice *pcm)
{
    pcm->abortRequested = 1;
    snd_pcm_abort(pcm->handle);
}

void pcm_drop(PcmDevice *pcm)
{
    pcm->abortRequested = 0;
    pcm->holdStart = false;
    __atomic_store_n(&pcm->dropWanted, true, __ATOMIC_RELEASE);
    // A call the stop cut short (a start, a recovery) that is still held
    // up shows a stalled device; the drop follows it on the helper.
    bool held = !side_call_done_within(&pcm->call, HELD_CALL_MS);
    if (!held && drop_claimed(pcm))
        side_call_start(&pcm->call, drop_call, pcm); // the menu does not wait for it
    // A stalled sound server that resumes plays what it holds before it
    // reads the drop: nothing this side can take back what it was sent.
    if (held || pcm->stalledAtStop)
        warn("the playback device was stalled at the stop: when it goes on, it may play some "
             "of the stopped play\n");
    pcm->stalledAtStop = false;
}

void pcm_drain_and_close_or_exit(PcmDevice *pcm)
{
    device_settled(pcm, false);
    int rc = snd_pcm_drain(pcm->handle);
    // What is still queued is part of the play: a drain that fails lost it,
    // unless all of it had had the time to play.
    if (rc < 0 &&
        monotonic_ns() - pcm->lastWriteNs <= pcm_ns_of(pcm, pcm->bufferFrames) + SERVER_SLACK_NS)
        alsa_ok_or_exit(rc, WRITE_FAILED);
    if (rc < 0)
        warn("the playback device failed after the last sound had played: %s\n", snd_strerror(rc));
    snd_pcm_close(pcm->handle);
    side_call_close(&pcm->call);
    std::free(pcm);
}
