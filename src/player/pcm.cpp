#include "player/pcm.h"

#include <alsa/asoundlib.h>
#include <cerrno>
#include <cstdio>
#include <cstdlib>

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

constexpr char WRITE_FAILED[] = "Unable to write to the playback device: %s\n";

// A negative rc is an ALSA error: message, with the library's text for it,
// goes to standard error and the process ends with status 1.
void alsa_ok_or_exit(int rc, const char *message)
{
    if (rc >= 0)
        return;
    std::fprintf(stderr, message, snd_strerror(rc));
    std::exit(1);
}

// After a failed write, makes the device ready to take the same frames again.
// An underrun (the device ran dry, typically while the menu waited) is
// prepared, a suspend resumed or prepared, an interrupted wait simply retried:
// writing the frames again keeps every play whole. Anything else (the device
// unplugged, its server gone) can't be cleared, and ends the run: playing on
// would only pretend.
void recover_or_exit(snd_pcm_t *handle, int err)
{
    if (err == -EAGAIN) {
        snd_pcm_wait(handle, ROOM_WAIT_MS);
        return;
    }
    if (err != -EPIPE && err != -ESTRPIPE && err != -EINTR)
        alsa_ok_or_exit(err, WRITE_FAILED);
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

PcmGrant pcm_configure_or_exit(PcmDevice *pcm, uint32_t bytesPerSample, uint32_t channels,
                               uint32_t rate)
{
    snd_pcm_t *handle = handle_of(pcm);
    snd_pcm_hw_params_t *params;
    snd_pcm_hw_params_alloca(&params); // on the stack, zero-filled
    snd_pcm_hw_params_any(handle, params);
    snd_pcm_hw_params_set_access(handle, params, SND_PCM_ACCESS_RW_INTERLEAVED);

    snd_pcm_format_t format = bytesPerSample == 2 ? SND_PCM_FORMAT_S16_LE : SND_PCM_FORMAT_S24_3LE;
    alsa_ok_or_exit(snd_pcm_hw_params_set_format(handle, params, format),
                    "Unable to set playback format: %s\n");
    snd_pcm_hw_params_set_channels(handle, params, channels);
    unsigned int grantedRate = rate; // the player keeps timing by the file's rate
    snd_pcm_hw_params_set_rate_near(handle, params, &grantedRate, nullptr);
    snd_pcm_uframes_t period = PERIOD_REQUEST;
    snd_pcm_hw_params_set_period_size_near(handle, params, &period, nullptr);
    snd_pcm_uframes_t buffer = BUFFER_REQUEST;
    snd_pcm_hw_params_set_buffer_size_near(handle, params, &buffer);
    int rc = snd_pcm_hw_params(handle, params);
    alsa_ok_or_exit(rc, "Unable to set hardware parameters: %s\n");
    snd_pcm_hw_params_get_period_size(params, &period, nullptr);

    PcmGrant grant{};
    grant.period = period > UINT32_MAX ? UINT32_MAX : static_cast<uint32_t>(period);
    // The frame the device reads: wider than the file's frame when it kept a
    // channel count of its own.
    ssize_t frameBytes = snd_pcm_frames_to_bytes(handle, 1);
    grant.frameBytes = frameBytes > 0 ? static_cast<uint32_t>(frameBytes) : 0;
    return grant;
}

void pcm_write_period_or_exit(PcmDevice *pcm, const unsigned char *buffer, uint32_t frames)
{
    snd_pcm_t *handle = handle_of(pcm);
    int failuresInARow = 0;
    while (frames > 0) {
        snd_pcm_sframes_t written = snd_pcm_writei(handle, buffer, frames);
        if (written > 0) {
            // A short count: the rest of the period follows in the next write.
            buffer += snd_pcm_frames_to_bytes(handle, written);
            frames -= static_cast<uint32_t>(written);
            failuresInARow = 0;
            continue;
        }
        // Nothing taken counts as "try again": a blocking write should never do it.
        int err = written == 0 ? -EAGAIN : static_cast<int>(written);
        if (++failuresInARow > MOST_FAILED_WRITES_IN_A_ROW)
            alsa_ok_or_exit(err, WRITE_FAILED);
        recover_or_exit(handle, err);
    }
}

void pcm_drop(PcmDevice *pcm)
{
    snd_pcm_t *handle = handle_of(pcm);
    snd_pcm_drop(handle);
    snd_pcm_prepare(handle); // a failure here shows in the next play's write
}

void pcm_drain_and_close(PcmDevice *pcm)
{
    snd_pcm_t *handle = handle_of(pcm);
    snd_pcm_drain(handle);
    snd_pcm_close(handle);
}
