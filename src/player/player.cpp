// Start-up, re-check and shut-down of the player, and its entry point PLAY.
#include "player/player.h"

#include <cstdio>
#include <cstdlib>

#include "player/player_state.h"
#include "player/seconds.h"
#include "wave/probe.h"

namespace {

// The nudge amount a run starts with, in frames.
constexpr int32_t FIRST_NUDGE = 12000;

// Largest period buffer the player will allocate; a device that grants more
// is treated like a failed allocation.
constexpr uint64_t LARGEST_BUFFER = 64u * 1024u * 1024u;

void probe(Player *p)
{
    WaveAttributes &w = p->wave;
    GetAttributes(p->fileName, w.rate, w.bytesPerSample, w.channels, w.dataOffset, w.length);
}

Selection first_selection(uint32_t rate, uint32_t length, float startSeconds, float stopSeconds)
{
    Selection s{};
    s.start = startSeconds == 0 ? 0 : seconds_to_frames(rate, startSeconds);
    s.stop = stopSeconds == 0 ? static_cast<int32_t>(length) : seconds_to_frames(rate, stopSeconds);
    return s;
}

void allocate_period_buffer(Player *p, uint32_t deviceFrameBytes)
{
    uint32_t fileFrameBytes = *p->wave.channels * *p->wave.bytesPerSample;
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

void start_up(Player *p, const char *deviceName, float startSeconds, float stopSeconds)
{
    p->data = std::fopen(p->fileName, "rb");
    // Unbuffered: every period is one seek and one read straight into the
    // period buffer, with no copy through stdio and no block-aligning reads.
    if (p->data != nullptr)
        std::setvbuf(p->data, nullptr, _IONBF, 0);
    probe(p);
    const WaveAttributes &w = p->wave;
    p->baseline = Baseline{*w.rate, *w.bytesPerSample, *w.channels, *w.length};
    if (p->data == nullptr) {
        // The probe opened the file but the player's own open had failed:
        // the file appeared between the two.
        std::printf("The file called %s cannot be read!\n", p->fileName);
        std::exit(2);
    }
    p->selection = first_selection(*w.rate, *w.length, startSeconds, stopSeconds);
    p->pcm = pcm_open_or_exit(deviceName);
    PcmGrant grant = pcm_configure_or_exit(p->pcm, *w.bytesPerSample, *w.channels, *w.rate);
    p->period = grant.period;
    p->nudge = FIRST_NUDGE;
    allocate_period_buffer(p, grant.frameBytes);
}

void exit_on_format_change(bool changed, const char *what)
{
    if (!changed)
        return;
    std::printf("WARNING: Wavefile %s has changed!  Restart the program.\n", what);
    std::exit(1);
}

} // namespace

void recheck_file(Player *p)
{
    probe(p);
    const WaveAttributes &w = p->wave;
    const Baseline &b = p->baseline;
    exit_on_format_change(*w.rate != b.rate, "samplerate");
    exit_on_format_change(*w.bytesPerSample != b.bytesPerSample, "bit depth");
    exit_on_format_change(*w.channels != b.channels, "channel number");
    if (*w.length != b.length) {
        std::puts("WARNING: Wavefile length has changed!");
        // Unsigned, so a negative stop also counts as past the end.
        if (static_cast<uint32_t>(p->selection.stop) >= *w.length)
            p->selection.stop = static_cast<int32_t>(*w.length);
    }
}

void shut_down(Player *p)
{
    pcm_drain_and_close(p->pcm);
    std::free(p->buffer);
    std::fclose(p->data);
}

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
    start_up(&p, deviceName, startSeconds, stopSeconds);
    run_command_loop(&p);
}
