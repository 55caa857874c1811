// The playback device. This is the one place that talks to ALSA; the rest of
// the player sees an opaque handle and these few calls.
#pragma once
#include <cstdint>

struct PcmDevice; // opaque outside pcm.cpp

// What the device granted at configuration.
struct PcmGrant {
    uint32_t period;     // frames per period
    uint32_t frameBytes; // bytes of one frame as the device reads it
};

// Opens the device for blocking playback into *pcm. Returns 0, or a negative
// error code whose text pcm_error_text gives.
int pcm_open(const char *deviceName, PcmDevice **pcm);

// The library's text for a negative error code.
const char *pcm_error_text(int err);

// Configures interleaved access, the sample format for bytesPerSample (2 or
// 3, the only widths the player admits), the channels, the rate, a period near 4096 and a buffer near 16384 frames.
// A refused format or refused hardware parameters print their message on
// standard error and end the process with status 1.
PcmGrant pcm_configure_or_exit(PcmDevice *pcm, uint32_t bytesPerSample, uint32_t channels,
                               uint32_t rate);

// Writes one period (blocking) until every frame of it is out. An underrun, a
// suspend or an interrupted wait is recovered and the same frames written
// again, so no audio is lost. An error that can't be recovered, or writes that
// keep failing, print "Unable to write to the playback device: ..." on
// standard error and end the process with status 1.
void pcm_write_period_or_exit(PcmDevice *pcm, const unsigned char *buffer, uint32_t frames);

// Drops whatever is still queued, at once, and makes the device ready for
// the next play.
void pcm_drop(PcmDevice *pcm);

// Waits until everything queued has played, then closes the device.
void pcm_drain_and_close(PcmDevice *pcm);
