#include "player/pcm.h"

#include <alsa/asoundlib.h>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <ctime>

#include "util/fatal.h"

namespace {

// The period and buffer sizes the player asks for, in frames: small enough
// for quick starts, four periods deep against scheduling hiccups.
constexpr snd_pcm_uframes_t PERIOD_REQUEST = 4096;
constexpr snd_pcm_uframes_t BUFFER_REQUEST = 16384;

snd_pcm_t *handle_of(PcmDevice *pcm)
{
    return reinterpret_cast<snd_pcm_t *>(pcm);
}

// Failed writes, each followed by a recovery, after which the device counts
// as lost: a stream that recovers but never takes a frame must not spin.
constexpr int MOST_FAILED_WRITES_IN_A_ROW = 4;

// How long to wait for room in the device when a write said "try again".
constexpr int ROOM_WAIT_MS = 1000;

// What the player needs to remember of its one device between calls.
struct DeviceState {
    // A write that waits for room longer than two periods' time has found
    // the device stalled (a stopped sound server, a hung card): it would
    // not answer a drop either.
    int64_t stallNs;
    bool lastWriteStalled;
    // A play stopped while the device stalled: its queued audio is dropped
    // before the device is used again, not at once.
    bool dropPending;
};
DeviceState state{};

// Set by pcm_abort, from a signal handler; cleared when the play is dropped.
volatile std::sig_atomic_t abortRequested = 0;

int64_t now_ns()
{
    struct timespec t {};
    clock_gettime(CLOCK_MONOTONIC, &t);
    return int64_t{t.tv_sec} * 1000000000 + t.tv_nsec;
}

void drop_now(snd_pcm_t *handle)
{
    snd_pcm_drop(handle);
    snd_pcm_prepare(handle); // a failure here shows in the next play's write
    state.dropPending = false;
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

// As alsa_ok_or_exit, for a setting the device refused: the plug hint follows.
void configured_or_exit(int rc, const char *message)
{
    if (rc >= 0)
        return;
    std::fprintf(stderr, message, snd_strerror(rc));
    exit_with_message(stderr, 1, "%s", PLUG_HINT);
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
        std::fprintf(stderr, "Unable to set the channel count to %u: the device takes %u\n",
                     channels, fewest);
    else
        std::fprintf(stderr, "Unable to set the channel count to %u: the device takes %u to %u\n",
                     channels, fewest, most);
    exit_with_message(stderr, 1, "%s", PLUG_HINT);
}

// The player keeps timing by the file's rate; another rate is played, at
// another pitch and speed, but not without a word.
void warn_of_another_rate(unsigned int granted, unsigned int rate)
{
    if (granted != rate)
        std::fprintf(stderr,
                     "Warning: the device plays at %u Hz, not at the file's %u Hz: the sound is off "
                     "in pitch and speed\n%s",
                     granted, rate, PLUG_HINT);
}

// After a failed write, makes the device ready to take the same frames
// again. snd_pcm_recover clears what can be cleared (an underrun, a suspend,
// an interrupted wait) and hands back the rest (the device unplugged, its
// server gone), which ends the run: playing on would only pretend. It
// doesn't wait for room, which a write that said "try again" needs.
void recover_or_exit(snd_pcm_t *handle, int err)
{
    if (err == -EAGAIN) {
        snd_pcm_wait(handle, ROOM_WAIT_MS);
        return;
    }
    alsa_ok_or_exit(snd_pcm_recover(handle, err, 1), WRITE_FAILED);
}

} // namespace

int pcm_open(const char *deviceName, PcmDevice **pcm)
{
    snd_pcm_t *handle = nullptr;
    int rc = snd_pcm_open(&handle, deviceName, SND_PCM_STREAM_PLAYBACK, 0);
    *pcm = reinterpret_cast<PcmDevice *>(handle);
    return rc;
}

const char *pcm_error_text(int err)
{
    return snd_strerror(err);
}

uint32_t pcm_configure_or_exit(PcmDevice *pcm, SampleEncoding encoding, uint32_t channels,
                               uint32_t rate)
{
    snd_pcm_t *handle = handle_of(pcm);
    snd_pcm_hw_params_t *params;
    snd_pcm_hw_params_alloca(&params); // on the stack, zero-filled
    snd_pcm_hw_params_any(handle, params);
    snd_pcm_hw_params_set_access(handle, params, SND_PCM_ACCESS_RW_INTERLEAVED);
    configured_or_exit(snd_pcm_hw_params_set_format(handle, params, alsa_format(encoding)),
                       "Unable to set playback format: %s\n");
    channels_kept_or_exit(handle, params, channels);
    unsigned int nearRate = rate;
    snd_pcm_hw_params_set_rate_near(handle, params, &nearRate, nullptr);
    snd_pcm_uframes_t period = PERIOD_REQUEST;
    snd_pcm_hw_params_set_period_size_near(handle, params, &period, nullptr);
    snd_pcm_uframes_t buffer = BUFFER_REQUEST;
    snd_pcm_hw_params_set_buffer_size_near(handle, params, &buffer);
    configured_or_exit(snd_pcm_hw_params(handle, params), "Unable to set hardware parameters: %s\n");
    snd_pcm_hw_params_get_period_size(params, &period, nullptr);
    unsigned int granted = rate;
    snd_pcm_hw_params_get_rate(params, &granted, nullptr);
    warn_of_another_rate(granted, rate);
    state.stallNs = granted > 0 ? 2 * int64_t{1000000000} * static_cast<int64_t>(period) / granted : 0;
    return period > UINT32_MAX ? UINT32_MAX : static_cast<uint32_t>(period);
}

WriteResult pcm_write_period_or_exit(PcmDevice *pcm, const unsigned char *buffer, uint32_t frames,
                                     uint32_t frameBytes)
{
    snd_pcm_t *handle = handle_of(pcm);
    if (state.dropPending)
        drop_now(handle);
    WriteResult result = WRITE_DONE;
    int failuresInARow = 0;
    while (frames > 0) {
        // An abort ends a waiting write (it returns -EINTR, or the frames it
        // took): that means stop, not try again.
        if (abortRequested != 0)
            return WRITE_STOPPED;
        int64_t began = now_ns();
        snd_pcm_sframes_t written = snd_pcm_writei(handle, buffer, frames);
        state.lastWriteStalled = now_ns() - began > state.stallNs;
        if (written > 0) {
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
            result = WRITE_DONE_AFTER_UNDERRUN;
        recover_or_exit(handle, err);
    }
    return result;
}

void pcm_abort(PcmDevice *pcm)
{
    abortRequested = 1;
    snd_pcm_abort(handle_of(pcm));
}

bool pcm_stopped(const PcmDevice *)
{
    return abortRequested != 0;
}

void pcm_drop(PcmDevice *pcm)
{
    abortRequested = 0;
    if (state.lastWriteStalled)
        state.dropPending = true;
    else
        drop_now(handle_of(pcm));
}

void pcm_drain_and_close_or_exit(PcmDevice *pcm)
{
    snd_pcm_t *handle = handle_of(pcm);
    if (state.dropPending)
        drop_now(handle);
    // What is still queued is part of the play: a drain that fails lost it.
    alsa_ok_or_exit(snd_pcm_drain(handle), WRITE_FAILED);
    snd_pcm_close(handle);
}
