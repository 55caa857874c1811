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

void fail(const char *message, int err)
{
    std::fprintf(stderr, message, snd_strerror(err));
    std::exit(1);
}

} // namespace

PcmDevice *pcm_open_or_exit(const char *deviceName)
{
    snd_pcm_t *handle = nullptr;
    int rc = snd_pcm_open(&handle, deviceName, SND_PCM_STREAM_PLAYBACK, 0);
    if (rc < 0)
        fail("unable to open pcm device: %s\n", rc);
    return reinterpret_cast<PcmDevice *>(handle);
}

PcmGrant pcm_configure_or_exit(PcmDevice *pcm, uint32_t bytesPerSample, uint32_t channels,
                               uint32_t rate)
{
    snd_pcm_t *handle = handle_of(pcm);
    snd_pcm_hw_params_t *params;
    snd_pcm_hw_params_alloca(&params); // on the stack, zero-filled
    snd_pcm_hw_params_any(handle, params);
    snd_pcm_hw_params_set_access(handle, params, SND_PCM_ACCESS_RW_INTERLEAVED);

    // Other widths request no format: the device's configuration decides.
    if (bytesPerSample == 2 || bytesPerSample == 3) {
        snd_pcm_format_t format = bytesPerSample == 2 ? SND_PCM_FORMAT_S16_LE : SND_PCM_FORMAT_S24_3LE;
        int rc = snd_pcm_hw_params_set_format(handle, params, format);
        if (rc < 0)
            fail("Unable to set playback format: %s\n", rc);
    }
    snd_pcm_hw_params_set_channels(handle, params, channels);
    unsigned int grantedRate = rate; // the player keeps timing by the file's rate
    snd_pcm_hw_params_set_rate_near(handle, params, &grantedRate, nullptr);
    snd_pcm_uframes_t period = PERIOD_REQUEST;
    snd_pcm_hw_params_set_period_size_near(handle, params, &period, nullptr);
    snd_pcm_uframes_t buffer = BUFFER_REQUEST;
    snd_pcm_hw_params_set_buffer_size_near(handle, params, &buffer);
    int rc = snd_pcm_hw_params(handle, params);
    if (rc < 0)
        fail("Unable to set hardware parameters: %s\n", rc);
    snd_pcm_hw_params_get_period_size(params, &period, nullptr);

    PcmGrant grant{};
    grant.period = period > UINT32_MAX ? UINT32_MAX : static_cast<uint32_t>(period);
    // The frame the device reads: wider than the file's frame when it chose a
    // format or channel count of its own.
    ssize_t frameBytes = snd_pcm_frames_to_bytes(handle, 1);
    grant.frameBytes = frameBytes > 0 ? static_cast<uint32_t>(frameBytes) : 0;
    return grant;
}

void pcm_write_period(PcmDevice *pcm, const unsigned char *buffer, uint32_t frames)
{
    snd_pcm_t *handle = handle_of(pcm);
    snd_pcm_sframes_t written = snd_pcm_writei(handle, buffer, frames);
    if (written == -EPIPE) {
        // The device ran dry, typically while the menu waited. Writing the
        // period again keeps every play starting exactly at its start frame.
        snd_pcm_prepare(handle);
        snd_pcm_writei(handle, buffer, frames);
    }
}

void pcm_drain_and_close(PcmDevice *pcm)
{
    snd_pcm_t *handle = handle_of(pcm);
    snd_pcm_drain(handle);
    snd_pcm_close(handle);
}
