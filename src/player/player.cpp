// The player's entry point PLAY, which reads as the run: start-up, then the
// next action, re-check and play until the run ends, then shut-down.
#include "player/player.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sys/stat.h>

#include "player/command_loop.h"
#include "player/play_pass.h"
#include "player/play_remote.h"
#include "player/player_state.h"
#include "player/seconds.h"
#include "util/fatal.h"
#include "util/pauses.h"
#include "util/regular_file.h"
#include "wave/encoding.h"

namespace {

// The nudge amount a run starts with, in frames.
constexpr int32_t FIRST_NUDGE = 12000;

// Largest period buffer the player will allocate; a device that grants more
// is treated like a failed allocation.
constexpr uint64_t LARGEST_BUFFER = 64u * 1024u * 1024u;

// Says what was wrong with the file's markers, when that changed since
// the last probe: the file plays all the same.
void tell_marker_problems(Player *p)
{
    uint32_t problems = p->markers.problems;
    if (problems == p->markerProblemsTold)
        return;
    p->markerProblemsTold = problems;
    if ((problems & MARKERS_BROKEN) != 0)
        warn("a marker chunk of %s is cut short; playing without markers\n", p->shownName);
    if ((problems & MARKERS_PAST_END) != 0)
        warn("markers past the end of the samples of %s are left out\n", p->shownName);
    if ((problems & MARKERS_TOO_MANY) != 0)
        warn("only the first %u markers of %s are kept\n", MOST_MARKERS, p->shownName);
}

// A data chunk that ends before its header says: a recording cut short,
// or a file copied in part. What is there plays; said once for each size.
void tell_data_cut_short(Player *p)
{
    const WaveFields &w = p->wave;
    if (w.promisedFrames == 0 || w.promisedFrames == p->promisedFramesTold)
        return;
    p->promisedFramesTold = w.promisedFrames;
    warn("the data of %s is cut short: its header gives %llu frames, the file holds %u\n",
         p->shownName, static_cast<unsigned long long>(w.promisedFrames), w.length);
}

// Probes the file into the caller's wave attributes, and reads its
// markers; see GetAttributes for when it ends the process.
void probe_or_exit(Player *p)
{
    WaveAttributes &c = p->caller;
    GetAttributes(p->fileName, c.rate, c.bytesPerSample, c.channels, c.dataOffset, c.length,
                  &p->wave, &p->markers);
    tell_marker_problems(p);
    tell_data_cut_short(p);
}

// The position of marker number (from 1), given on the command line as
// "#number"; a marker that isn't there ends the process before any play.
int32_t marker_position_or_exit(const Player *p, int32_t number)
{
    const Marker *m = marker_numbered(&p->markers, number);
    if (m == nullptr)
        exit_with_message(stdout, 2, "There is no marker %i in %s!\n", number, p->shownName);
    return static_cast<int32_t>(m->position);
}

// Where the first selection comes from: seconds (0 means from the
// beginning and to the end), or marker numbers where they are given.
struct FirstSelection {
    float startSeconds;
    float stopSeconds;
    int32_t startMarker;
    int32_t stopMarker;
};

// The first selection, from seconds, or from marker numbers where they are
// given.
Selection first_selection(const Player *p, const FirstSelection &first)
{
    const WaveFields &w = p->wave;
    Selection s{};
    s.start = first.startSeconds == 0 ? 0 : seconds_to_frames(w.rate, first.startSeconds);
    s.stop = first.stopSeconds == 0 ? static_cast<int32_t>(w.length)
                                    : seconds_to_frames(w.rate, first.stopSeconds);
    if (first.startMarker != NO_MARKER)
        s.start = marker_position_or_exit(p, first.startMarker);
    if (first.stopMarker != NO_MARKER)
        s.stop = marker_position_or_exit(p, first.stopMarker);
    return s;
}

void allocate_period_buffer_or_exit(Player *p)
{
    const WaveFields &w = p->wave;
    // Room for the samples as read and as the device takes them, for two
    // periods: a period held for a pass's last frames has them after it.
    uint32_t room = std::max(frame_bytes(w), pcm_frame_room(p->pcm));
    uint64_t bytes = uint64_t{room} * p->period;
    if (p->period > 0 && bytes <= LARGEST_BUFFER)
        p->buffer = static_cast<unsigned char *>(std::calloc(2 * bytes, 1));
    if (p->buffer == nullptr)
        exit_with_message(stderr, 1, "Unable to allocate a period buffer of %u frames\n",
                          p->period);
}

// Whether the header's block align is the frame its other fields make: a
// frame of another size (24 bits in 4-byte containers, say) would play as
// noise.
bool frames_fit_block_align(const WaveFields &w)
{
    return w.format.blockAlign == frame_bytes(w);
}

// The encodings a device can be asked for; anything else (ADPCM, MP3 in a
// wave file, a width its tag doesn't have) would play as noise, and so
// would frames whose size the header gives otherwise.
SampleEncoding playable_encoding_or_exit(const WaveFields &w)
{
    SampleEncoding encoding = sample_encoding(w.format);
    if (encoding == ENCODING_NONE && !tag_is_played(w.format.tag))
        exit_with_message(
            stdout, 2,
            "Can't play this wave file: its samples are encoded as format 0x%04x; only "
            "PCM, floating-point, A-law and mu-law samples are supported!\n",
            w.format.tag);
    if (encoding == ENCODING_NONE)
        exit_with_message(stdout, 2,
                          "Can't play this wave file: format 0x%04x has no %u-bit samples!\n",
                          w.format.tag, w.format.bitsPerSample);
    if (!frames_fit_block_align(w))
        exit_with_message(
            stdout, 2,
            "Can't play this wave file: its frames are %u bytes long (block align), but "
            "%u channels of %u bytes make %u!\n",
            w.format.blockAlign, w.channels, w.bytesPerSample, frame_bytes(w));
    if (w.rate == 0)
        exit_with_message(stdout, 2, "Can't play this wave file: its sample rate is 0!\n");
    return encoding;
}

// Whether start-up would still play the file as it did: the same encoding
// in the same byte order (a RIFX file rewritten as RIFF), and frames that
// match the block align.
bool same_playable_format(const WaveFields &now, const WaveFields &before)
{
    return sample_encoding(now.format) == sample_encoding(before.format) &&
           now.format.bigEndian == before.format.bigEndian && frames_fit_block_align(now);
}

// Opens the data handle, after the probe has found a regular, playable file.
void open_data_or_exit(Player *p)
{
    OpenFailure failure = OPEN_MISSING;
    p->data = open_regular_file(p->fileName, &failure);
    // The probe's own open succeeded: the file went away in between, or
    // something else took its name.
    if (p->data == nullptr)
        exit_with_message(stdout, 2, "The file called %s cannot be read!\n", p->shownName);
    // Unbuffered: every period is one seek and one read straight into the
    // period buffer, with no copy through stdio and no block-aligning reads.
    std::setvbuf(p->data, nullptr, _IONBF, 0);
}

// The samples must come from the file whose header the latest probe read.
// Editors, mv and rsync replace a file by renaming another onto its name:
// the data handle would go on reading the old one. A file rewritten in
// place is the same file, and stays open.
void follow_replaced_file_or_exit(Player *p)
{
    struct stat named {};
    struct stat opened {};
    if (stat(p->fileName, &named) != 0 || fstat(fileno(p->data), &opened) != 0)
        return; // the probe has just found it; nothing better to read
    if (named.st_dev == opened.st_dev && named.st_ino == opened.st_ino)
        return;
    std::fclose(p->data);
    open_data_or_exit(p);
}

// A device name that is the name of a file is the usual first try
// ("cuedeck song.wav"): the failure then says how to play it.
PcmDevice *open_device_or_exit(const char *deviceName)
{
    PcmDevice *pcm = nullptr;
    int rc = pcm_open(deviceName, &pcm);
    if (rc >= 0)
        return pcm;
    struct stat file {};
    if (std::strcmp(deviceName, "default") != 0 && stat(deviceName, &file) == 0)
        exit_with_message(stderr, 1,
                          "unable to open pcm device: %s\n(The first argument is the ALSA device. "
                          "To play %s on the default device: cuedeck d %s)\n",
                          pcm_error_text(rc), deviceName, deviceName);
    exit_with_message(stderr, 1, "unable to open pcm device: %s\n", pcm_error_text(rc));
}

// Probes the file, opens it and the device, and works out the first
// selection. Ends the process when the file can't be played or the device
// can't be set up.
void start_up_or_exit(Player *p, const char *deviceName, const FirstSelection &first)
{
    probe_or_exit(p);
    const WaveFields &w = p->wave;
    p->baseline = w;
    SampleEncoding encoding = playable_encoding_or_exit(w);
    p->silence = silence_byte(encoding);
    open_data_or_exit(p);
    p->selection = first_selection(p, first);
    // Counted from before the device opens: a pause while it starts counts.
    count_pauses();
    pcm_ask_pipewire_for_its_usual_cycle(w.rate);
    p->pcm = open_device_or_exit(deviceName);
    p->period =
        pcm_configure_or_exit(p->pcm, PcmFrames{encoding, w.format.bigEndian, w.rate, w.channels,
                                                w.format.extensible, w.format.channelMask});
    p->nudge = FIRST_NUDGE;
    allocate_period_buffer_or_exit(p);
}

void unchanged_or_exit(bool unchanged, const char *what)
{
    if (!unchanged)
        exit_with_message(stdout, 1, "WARNING: Wavefile %s has changed!  Restart the program.\n",
                          what);
}

// Probes the file again and holds it to the first probe: a changed rate,
// sample width, channel count or sample format ends the process with status
// 1; a changed length is reported and the stop pulled back to it. The next
// play reads the file just probed, also when another took its name.
void recheck_file_or_exit(Player *p)
{
    probe_or_exit(p);
    const WaveFields &w = p->wave;
    const WaveFields &b = p->baseline;
    unchanged_or_exit(w.rate == b.rate, "samplerate");
    unchanged_or_exit(w.bytesPerSample == b.bytesPerSample, "bit depth");
    unchanged_or_exit(w.channels == b.channels, "channel number");
    unchanged_or_exit(same_playable_format(w, b), "sample format");
    if (w.length != b.length) {
        std::puts("WARNING: Wavefile length has changed!");
        // Unsigned, so a negative stop also counts as past the end.
        if (static_cast<uint32_t>(p->selection.stop) >= w.length)
            p->selection.stop = static_cast<int32_t>(w.length);
    }
    follow_replaced_file_or_exit(p);
}

// Drains and closes the device, frees the period buffer, closes the file.
void shut_down_or_exit(Player *p)
{
    pcm_drain_and_close_or_exit(p->pcm);
    std::free(p->buffer);
    std::fclose(p->data);
}

} // namespace

void PLAY(const char *fileName, const char *deviceName, uint32_t &rate, uint32_t &bytesPerSample,
          uint32_t &channels, uint32_t &dataOffset, uint32_t &length, float startSeconds,
          float stopSeconds, char *commandText, int32_t commandGiven, int32_t loops,
          int32_t showClock, int32_t startMarker, int32_t stopMarker, bool exact)
{
    Player p{};
    p.fileName = fileName;
    printable_copy(fileName, p.shownName, sizeof p.shownName);
    p.caller = WaveAttributes{&rate, &bytesPerSample, &channels, &dataOffset, &length};
    p.loops = loops;
    p.showClock = showClock;
    p.commandText = commandText;
    p.commandGiven = commandGiven;
    p.exact = exact;
    p.exactUsed = exact;
    start_up_or_exit(&p, deviceName,
                     FirstSelection{startSeconds, stopSeconds, startMarker, stopMarker});
    bool scriptFailed = false;
    bool heardToTheEnd = false; // a script's play: the remote is told after the drain
    for (;;) {
        Pending next = next_action(&p);
        recheck_file_or_exit(&p);
        if (next == PENDING_EXIT) {
            std::putchar('\n');
            break;
        }
        PlayEnd end = play_selection_or_exit(&p, next == PENDING_PLAY);
        std::putchar('\n'); // ends the clock line
        if (next == PENDING_PLAY_THEN_END) {
            scriptFailed = end == PLAY_CUT_SHORT || end == PLAY_NOT_HEARD;
            heardToTheEnd = end == PLAY_DONE && remote_on();
            break;
        }
        p.commandGiven = 0;
    }
    // What the file did hold is heard to its end; but a script must not
    // take a play cut short, or one the device did not play whole, for a
    // whole one.
    shut_down_or_exit(&p);
    if (heardToTheEnd)
        tell_play_done(PLAY_DONE, 0);
    if (scriptFailed) // what went wrong was said as it happened
        exit_with_message(stderr, 1, "%s", "");
}
