#include "player/play_pass.h"

#include <cstdio>
#include <cstring>

#include "player/interrupt.h"
#include "player/seconds.h"
#include "util/fatal.h"

namespace {

// What a play met on its way, told when it ends.
struct PlayNotes {
    bool firstWrite;
    WriteTrouble trouble; // in the middle of the play
    PlayEnd end;
};

// Reads the period that begins at frame pos into the buffer and returns the
// samples read. Never reads past the end of the sample data found by the
// latest probe, so chunks after the data are never played as sound; whatever
// the read leaves of the period is silence. A file that holds fewer samples
// than the probe found (cut short while playing) ends the play there.
size_t read_period(Player *p, int64_t pos, PlayNotes *notes)
{
    const WaveFields &w = p->wave;
    uint32_t frameBytes = w.channels * w.bytesPerSample;
    int64_t framesLeft = w.length - pos;
    int64_t frames = framesLeft < p->period ? framesLeft : p->period;
    size_t samples = 0;
    if (frames > 0) {
        // off_t has 64 bits (_FILE_OFFSET_BITS), also where long has 32. The
        // stream knows where it stands: a pass's next period needs no seek.
        off_t at = static_cast<off_t>(w.dataStart) + pos * frameBytes;
        if (ftello(p->data) != at)
            fseeko(p->data, at, SEEK_SET);
        size_t want = static_cast<size_t>(frames) * w.channels;
        samples = std::fread(p->buffer, w.bytesPerSample, want, p->data);
        if (samples < want) {
            std::fprintf(stderr, "The file called %s ended at frame %lld during the play!\n",
                         p->shownName,
                 static_cast<long long>(pos) + static_cast<long long>(samples / w.channels));
            notes->end = PLAY_CUT_SHORT;
        }
    }
    // Silence to the period's end in the file's own width; any room beyond
    // is for the conversion, which writes it.
    size_t bytes = samples * w.bytesPerSample;
    std::memset(p->buffer + bytes, p->silence, size_t{p->period} * frameBytes - bytes);
    return samples;
}

// The first write of a play finds the device dry whenever the menu waited
// long enough, and may wait for a device that is still starting; nothing is
// lost there, so only later trouble counts.
void count_trouble(PlayNotes *notes, const WriteTrouble &trouble)
{
    if (!notes->firstWrite) {
        notes->trouble.underruns += trouble.underruns;
        notes->trouble.lostWhilePaused = notes->trouble.lostWhilePaused || trouble.lostWhilePaused;
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
    if (trouble.lostWhilePaused)
        warn("the play was paused, and the playback device ran dry: audio may have been lost "
             "while cuedeck was paused\n");
    uint32_t underruns = trouble.underruns;
    if (underruns == 1)
        warn("the playback device ran dry during the play (an underrun): a gap was heard, "
             "and audio may have been lost\n");
    if (underruns > 1)
        warn("the playback device ran dry %u times during the play (underruns): gaps were "
             "heard, and audio may have been lost\n",
             underruns);
}

// One pass over the selection in whole periods. It ends at the first period
// boundary at or past the stop, at the end of the data, where the file
// was cut short, or at once on Ctrl-C.
void play_pass_or_exit(Player *p, PlayNotes *notes)
{
    // Frames before the data don't exist: a start below 0 plays from frame 0.
    // The stored start, which the menu shows, is left as it is.
    int64_t pos = p->selection.start < 0 ? 0 : p->selection.start;
    const WaveFields &w = p->wave;
    do {
        if (read_period(p, pos, notes) == 0)
            return;
        WriteTrouble trouble{};
        WriteResult result = pcm_write_period_or_exit(p->pcm, p->buffer, p->period, &trouble);
        if (result == WRITE_STOPPED) {
            notes->end = PLAY_STOPPED;
            return;
        }
        count_trouble(notes, trouble);
        if (p->showClock != 0) {
            // pos < length, so it fits an int32_t.
            std::printf("\rclock = %.2f sec", frames_to_seconds(static_cast<int32_t>(pos), w.rate));
            std::fflush(stdout);
        }
        pos += p->period;
    } while (pos < p->selection.stop && notes->end == PLAY_DONE);
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
    if (stoppable)
        catch_interrupts(p->pcm);
    PlayNotes notes{true, {0, 0, false}, PLAY_DONE};
    for (int32_t i = 0; i < loops && notes.end == PLAY_DONE; ++i) {
        if (loops != 1)
            std::printf("\nLoops remaining: %i\n", loops - i - 1);
        // A start at or after the stop plays nothing, yet its header and
        // loop lines are printed all the same.
        if (p->selection.start < p->selection.stop)
            play_pass_or_exit(p, &notes);
    }
    release_interrupts();
    if (notes.end == PLAY_STOPPED)
        pcm_drop(p->pcm);
    tell_trouble(notes.trouble);
    return notes.end;
}
