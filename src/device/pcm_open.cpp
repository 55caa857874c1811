// Opening and configuring the device: the encoding, the channels, the rate,
// the period and buffer, and the start that a play makes by hand.
#include <cerrno>
#include <cstdio>
#include <cstdlib>

#include "device/pcm_device.h"
#include "util/fatal.h"

const char PLUG_HINT[] =
    "(A plug device converts format, rate and channels: plughw:0,0 or default, for example.)\n";

void alsa_ok_or_exit(int rc, const char *message)
{
    if (rc < 0)
        exit_with_message(stderr, 1, message, snd_strerror(rc));
}

namespace {

// The period and buffer sizes the player asks for, in frames: small enough
// for quick starts, four periods deep against scheduling hiccups.
constexpr snd_pcm_uframes_t PERIOD_REQUEST = 4096;
constexpr snd_pcm_uframes_t BUFFER_REQUEST = 16384;

// As alsa_ok_or_exit, for a setting the device refused: message ends in
// a second %s, for the plug hint.
void configured_or_exit(int rc, const char *message)
{
    if (rc < 0)
        exit_with_message(stderr, 1, message, snd_strerror(rc), PLUG_HINT);
}

const struct {
    SampleEncoding encoding;
    snd_pcm_format_t format;
} ALSA_FORMATS[] = {
    {ENCODING_U8, SND_PCM_FORMAT_U8},          {ENCODING_S16, SND_PCM_FORMAT_S16_LE},
    {ENCODING_S24_3, SND_PCM_FORMAT_S24_3LE},  {ENCODING_S32, SND_PCM_FORMAT_S32_LE},
    {ENCODING_FLOAT, SND_PCM_FORMAT_FLOAT_LE}, {ENCODING_FLOAT64, SND_PCM_FORMAT_FLOAT64_LE},
    {ENCODING_A_LAW, SND_PCM_FORMAT_A_LAW},    {ENCODING_MU_LAW, SND_PCM_FORMAT_MU_LAW},
};

snd_pcm_format_t alsa_format(SampleEncoding encoding)
{
    for (const auto &f : ALSA_FORMATS) {
        if (f.encoding == encoding)
            return f.format;
    }
    return SND_PCM_FORMAT_UNKNOWN;
}

// A device that keeps another channel count (a stereo-only card playing a
// mono file) would read the samples as frames of its own: refused.
void channels_kept_or_exit(snd_pcm_t *handle, snd_pcm_hw_params_t *params, unsigned int channels)
{
    if (snd_pcm_hw_params_set_channels(handle, params, channels) >= 0)
        return;
    unsigned int fewest = 0;
    unsigned int most = 0;
    snd_pcm_hw_params_get_channels_min(params, &fewest);
    snd_pcm_hw_params_get_channels_max(params, &most);
    if (fewest == most)
        exit_with_message(stderr, 1,
                          "Unable to set the channel count to %u: the device takes %u\n%s",
                          channels, fewest, PLUG_HINT);
    exit_with_message(stderr, 1,
                      "Unable to set the channel count to %u: the device takes %u to %u\n%s",
                      channels, fewest, most, PLUG_HINT);
}

// The file's encoding, or the one its samples are converted to when the
// device refuses it (a sound server's device and 64-bit floats, say). A
// refusal of both ends the process with status 1, naming the format and a
// plug device that converts it.
SampleEncoding format_taken_or_exit(PcmDevice *pcm, snd_pcm_hw_params_t *params,
                                    SampleEncoding encoding)
{
    int rc = snd_pcm_hw_params_set_format(pcm->handle, params, alsa_format(encoding));
    if (rc >= 0)
        return encoding;
    SampleEncoding converted = converted_encoding(encoding);
    if (converted != ENCODING_NONE &&
        snd_pcm_hw_params_set_format(pcm->handle, params, alsa_format(converted)) >= 0)
        return converted;
    exit_with_message(stderr, 1,
                      "Unable to set playback format: %s\n(The device takes no %s samples; "
                      "plug:%s converts them.)\n",
                      snd_strerror(rc), snd_pcm_format_name(alsa_format(encoding)), pcm->name);
}

// The player keeps timing by the file's rate; another rate is played, at
// another pitch and speed, but not without a word.
void warn_of_another_rate(unsigned int granted, unsigned int rate)
{
    if (granted != rate)
        warn("the device plays at %u Hz, not at the file's %u Hz: the sound is off in "
             "pitch and speed\n%s",
             granted, rate, PLUG_HINT);
}

// The lead a play with keys live starts from: a server's cycle of 1024
// frames (PipeWire's usual one, a PulseAudio pipe sink's block at 16-bit
// stereo) and 150 ms for a busy machine's late wake-up and a server's own
// slack (with 40 ms, ten minutes beside two busy loops ran PulseAudio's
// sink dry; with 100 ms, PipeWire's routes once lost audio): 173 ms at
// 44.1 kHz, 171 ms at 48 kHz, 278 ms at 8 kHz. A card or dmix moves its
// position a period at a time, and wants two periods, as ever; a sound
// server's plugin, a file or null move theirs by the frame.
uint64_t first_lead_frames(snd_pcm_t *handle, unsigned int rate, snd_pcm_uframes_t period)
{
    uint64_t lead = 1024 + uint64_t{rate} * 15 / 100;
    snd_pcm_type_t type = snd_pcm_type(handle);
    bool byTheFrame =
        type == SND_PCM_TYPE_IOPLUG || type == SND_PCM_TYPE_FILE || type == SND_PCM_TYPE_NULL;
    return byTheFrame || lead > 2 * uint64_t{period} ? lead : 2 * uint64_t{period};
}

} // namespace

// PipeWire's plugin asks the graph for a cycle as long as a period (93 ms
// at 44.1 kHz; the graph takes up to 2048 frames), and ALSA keeps avail_min
// at a period or more: a stop would be heard cycles late. PIPEWIRE_LATENCY,
// which every PipeWire stream honours, asks for a quarter of a period
// instead, unless the user chose one: 1024 frames, PipeWire's usual cycle,
// so a graph already playing other sound keeps its cycle. (A shorter one
// makes the graph change cycle as a play starts, and on a busy machine a
// graph of 256-frame cycles loses audio.) No other device reads it. Set
// before the device opens: its plugin starts threads, and setenv is not
// safe beside a getenv in another thread.
void pcm_ask_pipewire_for_its_usual_cycle(uint32_t rate)
{
    char latency[32];
    std::snprintf(latency, sizeof latency, "%lu/%u", PERIOD_REQUEST / 4, rate);
    setenv("PIPEWIRE_LATENCY", latency, 0);
}

int pcm_open(const char *deviceName, PcmDevice **pcm)
{
    snd_pcm_t *handle = nullptr;
    int rc = snd_pcm_open(&handle, deviceName, SND_PCM_STREAM_PLAYBACK, 0);
    if (rc < 0)
        return rc;
    // Allocated with calloc, as all the program's memory: it needs no C++
    // runtime library.
    auto *device = static_cast<PcmDevice *>(std::calloc(1, sizeof(PcmDevice)));
    if (device == nullptr) {
        snd_pcm_close(handle);
        return -ENOMEM;
    }
    device->handle = handle;
    std::snprintf(device->name, sizeof device->name, "%s", deviceName);
    side_call_init(&device->call);
    *pcm = device;
    return 0;
}

const char *pcm_error_text(int err)
{
    return snd_strerror(err);
}

uint32_t pcm_configure_or_exit(PcmDevice *pcm, const PcmFrames &frames)
{
    snd_pcm_t *handle = pcm->handle;
    snd_pcm_hw_params_t *params;
    snd_pcm_hw_params_alloca(&params); // on the stack, zero-filled
    snd_pcm_hw_params_any(handle, params);
    snd_pcm_hw_params_set_access(handle, params, SND_PCM_ACCESS_RW_INTERLEAVED);
    pcm->encoding = frames.encoding;
    pcm->bigEndian = frames.bigEndian;
    pcm->played = format_taken_or_exit(pcm, params, frames.encoding);
    pcm->channels = frames.channels;
    channels_kept_or_exit(handle, params, frames.channels);
    unsigned int nearRate = frames.rate;
    snd_pcm_hw_params_set_rate_near(handle, params, &nearRate, nullptr);
    snd_pcm_uframes_t period = PERIOD_REQUEST;
    snd_pcm_hw_params_set_period_size_near(handle, params, &period, nullptr);
    snd_pcm_uframes_t buffer = BUFFER_REQUEST;
    snd_pcm_hw_params_set_buffer_size_near(handle, params, &buffer);
    configured_or_exit(snd_pcm_hw_params(handle, params),
                       "Unable to set hardware parameters: %s\n%s");
    snd_pcm_hw_params_get_period_size(params, &period, nullptr);
    unsigned int granted = frames.rate;
    snd_pcm_hw_params_get_rate(params, &granted, nullptr);
    warn_of_another_rate(granted, frames.rate);
    pcm->rate = granted;
    pcm->bufferFrames = buffer;
    pcm->periodFrames = period;
    pcm->leadFrames = first_lead_frames(handle, granted, period);
    pcm->canPause = snd_pcm_hw_params_can_pause(params) != 0;
    route_channels(pcm, frames);
    start_streams_by_hand(pcm);
    return period > UINT32_MAX ? UINT32_MAX : static_cast<uint32_t>(period);
}

uint32_t pcm_frame_room(const PcmDevice *pcm)
{
    uint32_t file = encoding_width(pcm->encoding);
    uint32_t played = encoding_width(pcm->played);
    return pcm->channels * (played > file ? played : file);
}

void start_streams_by_hand(PcmDevice *pcm)
{
    snd_pcm_sw_params_t *params;
    snd_pcm_sw_params_alloca(&params);
    // A threshold of a whole buffer: the writes of a play never reach it,
    // since each play starts the stream after its first period. It must be
    // no more than that: the pulse plugin makes it the server's pre-buffer
    // in bytes (a 32-bit field) when it connects a stream at the next
    // prepare. The boundary, 2^30 frames, wraps there to 0: after a stopped
    // play the new stream would run at once and, unfed while the menu
    // waits, its read position runs ahead of what is written, so the next
    // play would lose as much of its beginning as the menu waited.
    // A device that keeps its own start threshold starts on the write that
    // reaches it, as before: taken as the library's default, one frame, so
    // that a load never starts it.
    pcm->startThreshold = 1;
    if (snd_pcm_sw_params_current(pcm->handle, params) < 0 ||
        snd_pcm_sw_params_set_start_threshold(pcm->handle, params, pcm->bufferFrames) < 0 ||
        snd_pcm_sw_params(pcm->handle, params) < 0)
        return;
    pcm->startThreshold = pcm->bufferFrames;
}
