#include "player/pcm.h"

#include <alsa/asoundlib.h>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include "player/channels.h"
#include "util/fatal.h"

// The device and everything the player remembers of it between calls.
struct PcmDevice {
    snd_pcm_t *handle;
    char name[64]; // as opened, for the hints
    // Set by pcm_abort, from a signal handler; cleared by pcm_drop.
    volatile std::sig_atomic_t abortRequested;
    // A control call (a drop, a recovery) that may wait for a stalled
    // device runs on a helper thread, so that the player's own wait for it
    // can be cut short; the helper writes one byte to callDone when done.
    bool callRunning;
    bool dropWanted; // a stopped play's queued audio still to be dropped
    int recoverErr;  // the error a recovery call clears; 0 for a drop
    int callResult;  // written and read with __atomic builtins across the threads
    int callDone[2];
    // The end of the last write: a buffer's time later, every frame
    // written has played.
    int64_t lastWriteNs;
    unsigned int rate; // granted
    snd_pcm_uframes_t bufferFrames;
};

namespace {

// The period and buffer sizes the player asks for, in frames: small enough
// for quick starts, four periods deep against scheduling hiccups.
constexpr snd_pcm_uframes_t PERIOD_REQUEST = 4096;
constexpr snd_pcm_uframes_t BUFFER_REQUEST = 16384;

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

int64_t now_ns()
{
    struct timespec t {};
    clock_gettime(CLOCK_MONOTONIC, &t);
    return int64_t{t.tv_sec} * 1000000000 + t.tv_nsec;
}

constexpr char WRITE_FAILED[] = "Unable to write to the playback device: %s\n";

// Follows every message about a device that won't take the file as it is.
constexpr char PLUG_HINT[] =
    "(A plug device converts format, rate and channels: plughw:0,0 or default, for example.)\n";

// A negative rc is an ALSA error: message, with the library's text for it,
// goes to standard error and the process ends with status 1.
void alsa_ok_or_exit(int rc, const char *message)
{
    if (rc < 0)
        exit_with_message(stderr, 1, message, snd_strerror(rc));
}

// As alsa_ok_or_exit, for a setting the device refused: message ends in
// a second %s, for the plug hint.
void configured_or_exit(int rc, const char *message)
{
    if (rc < 0)
        exit_with_message(stderr, 1, message, snd_strerror(rc), PLUG_HINT);
}

snd_pcm_format_t alsa_format(SampleEncoding encoding)
{
    switch (encoding) {
    case ENCODING_U8:
        return SND_PCM_FORMAT_U8;
    case ENCODING_S16:
        return SND_PCM_FORMAT_S16_LE;
    case ENCODING_S24_3:
        return SND_PCM_FORMAT_S24_3LE;
    case ENCODING_S32:
        return SND_PCM_FORMAT_S32_LE;
    case ENCODING_FLOAT:
        return SND_PCM_FORMAT_FLOAT_LE;
    case ENCODING_FLOAT64:
        return SND_PCM_FORMAT_FLOAT64_LE;
    case ENCODING_A_LAW:
        return SND_PCM_FORMAT_A_LAW;
    case ENCODING_MU_LAW:
        return SND_PCM_FORMAT_MU_LAW;
    case ENCODING_NONE:
        break;
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
        warn("Warning: the device plays at %u Hz, not at the file's %u Hz: the sound is off in "
             "pitch and speed\n%s",
             granted, rate, PLUG_HINT);
}

// The control call itself, on the helper thread.
void *control_call(void *device)
{
    auto *pcm = static_cast<PcmDevice *>(device);
    if (pcm->recoverErr == 0) {
        snd_pcm_drop(pcm->handle);
        __atomic_store_n(&pcm->callResult, snd_pcm_prepare(pcm->handle), __ATOMIC_RELEASE);
    } else {
        __atomic_store_n(&pcm->callResult, snd_pcm_recover(pcm->handle, pcm->recoverErr, 1),
                         __ATOMIC_RELEASE);
    }
    // Nothing to do if it fails: the pipe lives as long as the device.
    char done = 0;
    [[maybe_unused]] ssize_t wrote = write(pcm->callDone[1], &done, 1);
    return nullptr;
}

// Starts the call on a helper thread that leaves SIGINT to the player. A
// helper that can't be started makes the call right here instead.
void start_control_call(PcmDevice *pcm, int recoverErr)
{
    pcm->recoverErr = recoverErr;
    pcm->callRunning = true;
    sigset_t all;
    sigset_t before;
    sigfillset(&all);
    pthread_sigmask(SIG_SETMASK, &all, &before);
    pthread_t helper;
    bool started =
        pcm->callDone[0] >= 0 && pthread_create(&helper, nullptr, control_call, pcm) == 0;
    pthread_sigmask(SIG_SETMASK, &before, nullptr);
    if (started) {
        pthread_detach(helper);
        return;
    }
    control_call(pcm);
    // Without the pipe, nothing would tell the wait that the call is done.
    pcm->callRunning = pcm->callDone[0] >= 0;
}

// Waits for the running control call. SIGINT is let in only inside the
// wait itself, so an abort can't slip in between the check and the wait.
// False when stoppable and pcm_abort ended the wait first.
bool control_call_done(PcmDevice *pcm, bool stoppable)
{
    if (!pcm->callRunning)
        return true;
    sigset_t interrupt;
    sigset_t before;
    sigemptyset(&interrupt);
    sigaddset(&interrupt, SIGINT);
    pthread_sigmask(SIG_BLOCK, &interrupt, &before);
    while (pcm->callRunning && !(stoppable && pcm->abortRequested != 0)) {
        struct pollfd done = {pcm->callDone[0], POLLIN, 0};
        char byte = 0;
        if (ppoll(&done, 1, nullptr, &before) > 0 && read(pcm->callDone[0], &byte, 1) == 1)
            pcm->callRunning = false;
    }
    pthread_sigmask(SIG_SETMASK, &before, nullptr);
    return !pcm->callRunning;
}

// Runs a drop or a recovery and waits for it. False when stopped first.
bool control_call_made(PcmDevice *pcm, int recoverErr, bool stoppable)
{
    start_control_call(pcm, recoverErr);
    return control_call_done(pcm, stoppable);
}

// The device is free for a write or a drain once the last control call is
// done and a stopped play's audio dropped. False when stopped first.
bool device_settled(PcmDevice *pcm, bool stoppable)
{
    if (!control_call_done(pcm, stoppable))
        return false;
    if (!pcm->dropWanted)
        return true;
    pcm->dropWanted = false;
    // A prepare that fails shows in the next write.
    return control_call_made(pcm, 0, stoppable);
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
    if (!control_call_made(pcm, err, true))
        return false;
    alsa_ok_or_exit(__atomic_load_n(&pcm->callResult, __ATOMIC_ACQUIRE), WRITE_FAILED);
    return true;
}

// ALSA's channel positions of the WAVE speaker bits, from bit 0 up.
constexpr uint32_t SPEAKER_BITS = 18;
const unsigned int POSITION_OF_SPEAKER_BIT[SPEAKER_BITS] = {
    SND_CHMAP_FL,  SND_CHMAP_FR,  SND_CHMAP_FC,  SND_CHMAP_LFE, SND_CHMAP_RL,  SND_CHMAP_RR,
    SND_CHMAP_FLC, SND_CHMAP_FRC, SND_CHMAP_RC,  SND_CHMAP_SL,  SND_CHMAP_SR,  SND_CHMAP_TC,
    SND_CHMAP_TFL, SND_CHMAP_TFC, SND_CHMAP_TFR, SND_CHMAP_TRL, SND_CHMAP_TRC, SND_CHMAP_TRR,
};

unsigned int position_of(uint32_t speaker)
{
    for (uint32_t bit = 0; bit < SPEAKER_BITS; ++bit) {
        if (speaker == 1u << bit)
            return POSITION_OF_SPEAKER_BIT[bit];
    }
    return SND_CHMAP_UNKNOWN;
}

uint32_t speaker_at(unsigned int position)
{
    for (uint32_t bit = 0; bit < SPEAKER_BITS; ++bit) {
        if (POSITION_OF_SPEAKER_BIT[bit] == position)
            return 1u << bit;
    }
    return 0;
}

// Asks the device to take the channels for these speakers, in this order.
// Only 0 means it did: PipeWire's plugin answers 1 and keeps the order its
// stream already has, so the map it was offered is set back to the one it
// told (told, when not null).
bool device_took_speakers(snd_pcm_t *handle, const uint32_t *speakers, uint32_t channels,
                          const uint32_t *told)
{
    auto *map = static_cast<snd_pcm_chmap_t *>(
        std::calloc(1, sizeof(snd_pcm_chmap_t) + channels * sizeof(unsigned int)));
    if (map == nullptr)
        return false;
    map->channels = channels;
    for (uint32_t c = 0; c < channels; ++c)
        map->pos[c] = position_of(speakers[c]);
    int rc = snd_pcm_set_chmap(handle, map);
    if (rc > 0 && told != nullptr) {
        for (uint32_t c = 0; c < channels; ++c)
            map->pos[c] = position_of(told[c]);
        snd_pcm_set_chmap(handle, map);
    }
    std::free(map);
    return rc == 0;
}

// The speakers of the device's channels, as it tells them.
bool device_tells_speakers(snd_pcm_t *handle, uint32_t channels, uint32_t *speakers)
{
    snd_pcm_chmap_t *map = snd_pcm_get_chmap(handle);
    bool told = map != nullptr && map->channels == channels;
    for (uint32_t c = 0; told && c < channels; ++c)
        speakers[c] = speaker_at(map->pos[c]);
    std::free(map);
    return told;
}

// Where the device tells no order: ALSA's usual one for the count (which
// ALSA's own surround devices and its pulse plugin use). False, with a
// warning, when there is none.
bool usual_speakers(uint32_t channels, uint32_t *speakers)
{
    if (usual_device_speakers(channels, speakers)) {
        warn("Warning: the device tells no channel map; the %u channels are sent in ALSA's usual "
             "order (FL FR RL RR FC LFE SL SR)\n",
             channels);
        return true;
    }
    warn("Warning: the device tells no channel map; the %u channels are sent in the file's order\n",
         channels);
    return false;
}

// How long frames take to play at the rate granted.
int64_t frames_ns(const PcmDevice *pcm, snd_pcm_uframes_t frames)
{
    return pcm->rate == 0 ? 0 : int64_t{1000000000} * static_cast<int64_t>(frames) / pcm->rate;
}

// How long the audio in the device's buffer will play, from now. Taken
// from the free room, which no device waits to tell: a delay query may wait
// for a stalled server (the pulse plugin's does), and Ctrl-C can't end it.
int64_t queued_ns(const PcmDevice *pcm)
{
    snd_pcm_sframes_t room = snd_pcm_avail_update(pcm->handle);
    if (room < 0 || static_cast<snd_pcm_uframes_t>(room) >= pcm->bufferFrames)
        return 0;
    return frames_ns(pcm, pcm->bufferFrames - static_cast<snd_pcm_uframes_t>(room));
}

// A write that waited longer than the audio queued ahead of it lasted
// means the device stopped taking audio meanwhile: it stalled, and what it
// held ran out. Keeps the longest such wait.
void note_stall(int64_t waitedNs, int64_t queuedNs, WriteTrouble *trouble)
{
    if (waitedNs > queuedNs + STALL_SLACK_NS && waitedNs > trouble->stalledNs)
        trouble->stalledNs = waitedNs;
}

} // namespace

void pcm_route_channels(PcmDevice *pcm, uint32_t channels, uint32_t channelMask,
                        ChannelRoute *route)
{
    route->reorder = false;
    if (channels <= 2 || channels > MOST_ROUTED_CHANNELS)
        return;
    uint32_t file[MOST_ROUTED_CHANNELS];
    uint32_t device[MOST_ROUTED_CHANNELS];
    file_speakers(channels, channelMask, file);
    // Asked before the map is offered: a device may tell the offered map
    // back whether or not it plays by it.
    bool told = device_tells_speakers(pcm->handle, channels, device);
    if (device_took_speakers(pcm->handle, file, channels, told ? device : nullptr) ||
        !(told || usual_speakers(channels, device)))
        return;
    if (!route_by_speakers(file, device, channels, route->from)) {
        warn("Warning: the device's channels are for other speakers than the file's; they are sent "
             "in the file's order\n");
        return;
    }
    for (uint32_t d = 0; d < channels; ++d)
        route->reorder = route->reorder || route->from[d] != d;
}

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
    if (pipe(device->callDone) != 0)
        device->callDone[0] = device->callDone[1] = -1;
    *pcm = device;
    return 0;
}

const char *pcm_error_text(int err)
{
    return snd_strerror(err);
}

uint32_t pcm_configure_or_exit(PcmDevice *pcm, SampleEncoding encoding, uint32_t rate,
                               uint32_t channels, SampleEncoding *played)
{
    snd_pcm_t *handle = pcm->handle;
    snd_pcm_hw_params_t *params;
    snd_pcm_hw_params_alloca(&params); // on the stack, zero-filled
    snd_pcm_hw_params_any(handle, params);
    snd_pcm_hw_params_set_access(handle, params, SND_PCM_ACCESS_RW_INTERLEAVED);
    *played = format_taken_or_exit(pcm, params, encoding);
    channels_kept_or_exit(handle, params, channels);
    unsigned int nearRate = rate;
    snd_pcm_hw_params_set_rate_near(handle, params, &nearRate, nullptr);
    snd_pcm_uframes_t period = PERIOD_REQUEST;
    snd_pcm_hw_params_set_period_size_near(handle, params, &period, nullptr);
    snd_pcm_uframes_t buffer = BUFFER_REQUEST;
    snd_pcm_hw_params_set_buffer_size_near(handle, params, &buffer);
    configured_or_exit(snd_pcm_hw_params(handle, params),
                       "Unable to set hardware parameters: %s\n%s");
    snd_pcm_hw_params_get_period_size(params, &period, nullptr);
    unsigned int granted = rate;
    snd_pcm_hw_params_get_rate(params, &granted, nullptr);
    warn_of_another_rate(granted, rate);
    pcm->rate = granted;
    pcm->bufferFrames = buffer;
    return period > UINT32_MAX ? UINT32_MAX : static_cast<uint32_t>(period);
}

WriteResult pcm_write_period_or_exit(PcmDevice *pcm, const unsigned char *buffer, uint32_t frames,
                                     uint32_t frameBytes, WriteTrouble *trouble)
{
    if (!device_settled(pcm, true))
        return WRITE_STOPPED;
    int failuresInARow = 0;
    while (pcm->abortRequested == 0 && frames > 0) {
        int64_t queuedNs = queued_ns(pcm);
        int64_t startNs = now_ns();
        snd_pcm_sframes_t written = snd_pcm_writei(pcm->handle, buffer, frames);
        // An abort ends a waiting write (it returns -EINTR, or the frames it
        // took): that means stop, not a failure to recover from.
        if (pcm->abortRequested != 0)
            break;
        int64_t endNs = now_ns();
        note_stall(endNs - startNs, queuedNs, trouble);
        if (written > 0) {
            pcm->lastWriteNs = endNs;
            // A short count: the rest of the period follows in the next write.
            buffer += static_cast<uint32_t>(written) * frameBytes;
            frames -= static_cast<uint32_t>(written);
            failuresInARow = 0;
            continue;
        }
        // Nothing taken counts as "try again": a blocking write should never do it.
        int err = written == 0 ? -EAGAIN : static_cast<int>(written);
        if (++failuresInARow > MOST_FAILED_WRITES_IN_A_ROW)
            alsa_ok_or_exit(err, WRITE_FAILED);
        if (err == -EPIPE)
            trouble->underruns += 1;
        if (!recovered_or_exit(pcm, err))
            break;
    }
    return pcm->abortRequested != 0 ? WRITE_STOPPED : WRITE_DONE;
}

void pcm_abort(PcmDevice *pcm)
{
    pcm->abortRequested = 1;
    snd_pcm_abort(pcm->handle);
}

void pcm_drop(PcmDevice *pcm)
{
    pcm->abortRequested = 0;
    if (pcm->callRunning) {
        pcm->dropWanted = true; // after the call that a stall holds up
        return;
    }
    pcm->dropWanted = false;
    start_control_call(pcm, 0);
}

void pcm_drain_and_close_or_exit(PcmDevice *pcm)
{
    device_settled(pcm, false);
    int rc = snd_pcm_drain(pcm->handle);
    // What is still queued is part of the play: a drain that fails lost it,
    // unless all of it had had the time to play.
    if (rc < 0 &&
        now_ns() - pcm->lastWriteNs <= frames_ns(pcm, pcm->bufferFrames) + SERVER_SLACK_NS)
        alsa_ok_or_exit(rc, WRITE_FAILED);
    if (rc < 0)
        warn("Warning: the playback device failed after the last sound had played: %s\n",
             snd_strerror(rc));
    snd_pcm_close(pcm->handle);
    for (int fd : pcm->callDone) {
        if (fd >= 0)
            close(fd);
    }
    std::free(pcm);
}
