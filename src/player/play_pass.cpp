#include "player/play_pass.h"

#include <cstdio>
#include <cstring>

#include "player/interrupt.h"
#include "player/seconds.h"

namespace {

// Reads the period that begins at frame pos into the buffer and returns the
// samples read. Never reads past the end of the sample data found by the
// latest probe, so chunks after the data are never played as sound; whatever
// the read leaves of the period is silence. *handleAt is where the data
// handle stands (-1: unknown); the seek is left out when it is already there.
size_t read_period(Player *p, int64_t pos, off_t *handleAt)
{
    const WaveFields w = wave_now(p);
    uint32_t frameBytes = w.channels * w.bytesPerSample;
    int64_t framesLeft = w.length - pos;
    int64_t frames = framesLeft < p->period ? framesLeft : p->period;
    size_t samples = 0;
    if (frames > 0) {
        // off_t has 64 bits (_FILE_OFFSET_BITS), also where long has 32.
        off_t at = static_cast<off_t>(w.dataOffset) + pos * frameBytes;
        if (at != *handleAt)
            fseeko(p->data, at, SEEK_SET);
        size_t want = static_cast<size_t>(frames) * w.channels;
        samples = std::fread(p->buffer, w.bytesPerSample, want, p->data);
        // Unbuffered, a complete read leaves the handle right after it.
        *handleAt = samples == want ? at + static_cast<off_t>(samples * w.bytesPerSample) : -1;
    }
    size_t bytes = samples * w.bytesPerSample;
    std::memset(p->buffer + bytes, p->silence, p->bufferBytes - bytes);
    return samples;
}

// Says once per play that the device ran dry in the middle of it. The first
// write of a play finds the device dry whenever the menu waited long enough;
// nothing is lost there, so that one says nothing.
struct UnderrunNotice {
    bool firstWrite;
    bool told;
};

void notice_underrun(UnderrunNotice *notice, WriteResult result)
{
    bool midPlay = !notice->firstWrite;
    notice->firstWrite = false;
    if (result != WRITE_DONE_AFTER_UNDERRUN || !midPlay || notice->told)
        return;
    std::fprintf(stderr, "Warning: the playback device ran dry during the play (an underrun): "
                         "a gap was heard\n");
    notice->told = true;
}

// One pass over the selection in whole periods. It ends at the first period
// boundary at or past the stop, at the end of the data, or at once on
// Ctrl-C.
void play_pass_or_exit(Player *p, UnderrunNotice *notice)
{
    // Frames before the data don't exist: a start below 0 plays from frame 0.
    // The stored start, which the menu shows, is left as it is.
    int64_t pos = p->selection.start < 0 ? 0 : p->selection.start;
    off_t handleAt = -1;
    do {
        if (read_period(p, pos, &handleAt) == 0)
            return;
        const WaveFields w = wave_now(p);
        WriteResult result =
            pcm_write_period_or_exit(p->pcm, p->buffer, p->period, w.channels * w.bytesPerSample);
        if (result == WRITE_STOPPED)
            return;
        notice_underrun(notice, result);
        if (p->showClock != 0) {
            // pos < length, so it fits an int32_t.
            std::printf("\rclock = %.2f sec", frames_to_seconds(static_cast<int32_t>(pos), w.rate));
            std::fflush(stdout);
        }
        pos += p->period;
    } while (pos < p->selection.stop);
}

} // namespace

// Fuzzing explores inputs, not durations: a typed loop count of two billion
// would only make every such run time out.
#ifdef FUZZING_BUILD_MODE_UNSAFE_FOR_PRODUCTION
constexpr int32_t MOST_LOOPS = 3;
#else
constexpr int32_t MOST_LOOPS = INT32_MAX;
#endif

void play_selection_or_exit(Player *p, bool stoppable)
{
    uint32_t rate = wave_now(p).rate;
    int32_t loops = p->loops < MOST_LOOPS ? p->loops : MOST_LOOPS;
    std::puts("Playing...");
    std::printf("start = %.2f sec\n", frames_to_seconds(p->selection.start, rate));
    std::printf("stop  = %.2f sec\n", frames_to_seconds(p->selection.stop, rate));
    if (stoppable)
        catch_interrupts(p->pcm);
    UnderrunNotice notice{true, false};
    for (int32_t i = 0; i < loops && !pcm_stopped(p->pcm); ++i) {
        if (loops != 1)
            std::printf("\nLoops remaining: %i\n", loops - i - 1);
        // A start at or after the stop plays nothing, yet its header and
        // loop lines are printed all the same.
        if (p->selection.start < p->selection.stop)
            play_pass_or_exit(p, &notice);
    }
    release_interrupts();
    if (pcm_stopped(p->pcm))
        pcm_drop(p->pcm);
}
