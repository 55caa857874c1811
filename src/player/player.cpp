// The player's entry point PLAY, which reads as the run: start-up, then the
// next action, re-check and play until the run ends, then shut-down.
#include "player/player.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sys/stat.h>

#include "player/command_loop.h"
#include "player/play_pass.h"
#include "player/player_state.h"
#include "player/seconds.h"

namespace {

// The nudge amount a run starts with, in frames.
constexpr int32_t FIRST_NUDGE = 12000;

// Largest period buffer the player will allocate; a device that grants more
// is treated like a failed allocation.
constexpr uint64_t LARGEST_BUFFER = 64u * 1024u * 1024u;

// Probes the file into the caller's wave attributes; see GetAttributes for
// when it ends the process.
void probe_or_exit(Player *p)
{
    WaveAttributes &w = p->wave;
    GetAttributes(p->fileName, w.rate, w.bytesPerSample, w.channels, w.dataOffset, w.length);
}

Selection first_selection(const WaveFields &w, float startSeconds, float stopSeconds)
{
    Selection s{};
    s.start = startSeconds == 0 ? 0 : seconds_to_frames(w.rate, startSeconds);
    s.stop = stopSeconds == 0 ? static_cast<int32_t>(w.length) : seconds_to_frames(w.rate, stopSeconds);
    return s;
}

void allocate_period_buffer_or_exit(Player *p, uint32_t deviceFrameBytes)
{
    const WaveFields w = wave_now(p);
    uint32_t fileFrameBytes = w.channels * w.bytesPerSample;
    uint32_t frameBytes = deviceFrameBytes > fileFrameBytes ? deviceFrameBytes : fileFrameBytes;
    uint64_t bytes = uint64_t{frameBytes} * p->period;
    if (p->period > 0 && bytes <= LARGEST_BUFFER)
        p->buffer = static_cast<unsigned char *>(std::calloc(bytes, 1));
    if (p->buffer == nullptr) {
        std::fprintf(stderr, "Unable to allocate a period buffer of %u frames\n", p->period);
        std::exit(1);
    }
    p->bufferBytes = static_cast<uint32_t>(bytes);
}

// Only 16- and 24-bit samples have a format to ask the device for; any other
// width would play as noise.
void playable_width_or_exit(uint32_t bytesPerSample)
{
    if (bytesPerSample == 2 || bytesPerSample == 3)
        return;
    std::printf("Can't play %u-bit samples: only 16- and 24-bit wave files are supported!\n",
                bytesPerSample * 8);
    std::exit(2);
}

// Opens the data handle, after the probe has found a regular, playable file
// (opening a fifo, say, could wait for ever).
void open_data_or_exit(Player *p)
{
    p->data = std::fopen(p->fileName, "rb");
    if (p->data == nullptr) {
        // The probe's own open succeeded: the file went away in between.
        std::printf("The file called %s cannot be read!\n", p->fileName);
        std::exit(2);
    }
    // Unbuffered: every period is one seek and one read straight into the
    // period buffer, with no copy through stdio and no block-aligning reads.
    std::setvbuf(p->data, nullptr, _IONBF, 0);
}

// A device name that is the name of a file is the usual first try
// ("cuedeck song.wav"): the failure then says how to play it.
PcmDevice *open_device_or_exit(const char *deviceName)
{
    PcmDevice *pcm = nullptr;
    int rc = pcm_open(deviceName, &pcm);
    if (rc >= 0)
        return pcm;
    std::fprintf(stderr, "unable to open pcm device: %s\n", pcm_error_text(rc));
    struct stat file {};
    if (std::strcmp(deviceName, "default") != 0 && stat(deviceName, &file) == 0)
        std::fprintf(stderr,
                     "(The first argument is the ALSA device. To play %s on the default device: "
                     "cuedeck d %s)\n",
                     deviceName, deviceName);
    std::exit(1);
}

// Probes the file, opens it and the device, and works out the first
// selection. Ends the process when the file can't be played or the device
// can't be set up.
void start_up_or_exit(Player *p, const char *deviceName, float startSeconds, float stopSeconds)
{
    probe_or_exit(p);
    const WaveFields w = wave_now(p);
    p->baseline = w;
    playable_width_or_exit(w.bytesPerSample);
    open_data_or_exit(p);
    p->selection = first_selection(w, startSeconds, stopSeconds);
    p->pcm = open_device_or_exit(deviceName);
    PcmGrant grant = pcm_configure_or_exit(p->pcm, w.bytesPerSample, w.channels, w.rate);
    p->period = grant.period;
    p->nudge = FIRST_NUDGE;
    allocate_period_buffer_or_exit(p, grant.frameBytes);
}

void unchanged_or_exit(uint32_t now, uint32_t before, const char *what)
{
    if (now == before)
        return;
    std::printf("WARNING: Wavefile %s has changed!  Restart the program.\n", what);
    std::exit(1);
}

// Probes the file again and holds it to the first probe: a changed rate,
// sample width or channel count ends the process with status 1; a changed
// length is reported and the stop pulled back to it.
void recheck_file_or_exit(Player *p)
{
    probe_or_exit(p);
    const WaveFields w = wave_now(p);
    const WaveFields &b = p->baseline;
    unchanged_or_exit(w.rate, b.rate, "samplerate");
    unchanged_or_exit(w.bytesPerSample, b.bytesPerSample, "bit depth");
    unchanged_or_exit(w.channels, b.channels, "channel number");
    if (w.length != b.length) {
        std::puts("WARNING: Wavefile length has changed!");
        // Unsigned, so a negative stop also counts as past the end.
        if (static_cast<uint32_t>(p->selection.stop) >= w.length)
            p->selection.stop = static_cast<int32_t>(w.length);
    }
}

// Drains and closes the device, frees the period buffer, closes the file.
void shut_down(Player *p)
{
    pcm_drain_and_close(p->pcm);
    std::free(p->buffer);
    std::fclose(p->data);
}

} // namespace

void PLAY(const char *fileName, const char *deviceName, uint32_t &rate, uint32_t &bytesPerSample,
          uint32_t &channels, uint32_t &dataOffset, uint32_t &length, float startSeconds,
          float stopSeconds, char *commandText, int32_t commandGiven, int32_t loops,
          int32_t showClock)
{
    Player p{};
    p.fileName = fileName;
    p.wave = WaveAttributes{&rate, &bytesPerSample, &channels, &dataOffset, &length};
    p.loops = loops;
    p.showClock = showClock;
    p.commandText = commandText;
    p.commandGiven = commandGiven;
    start_up_or_exit(&p, deviceName, startSeconds, stopSeconds);
    for (;;) {
        // "px" and "wx" end the run after the next play, even when their own
        // check found nothing to play and a later "p" starts it.
        bool endAfterPlay = false;
        Pending next = next_action(&p, &endAfterPlay);
        recheck_file_or_exit(&p);
        if (next == PENDING_EXIT) {
            std::putchar('\n');
            break;
        }
        play_selection_or_exit(&p, !endAfterPlay);
        std::putchar('\n'); // ends the clock line
        if (endAfterPlay)
            break;
        p.commandGiven = 0;
    }
    shut_down(&p);
}
