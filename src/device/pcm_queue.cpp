// What the device holds and how long it takes to play: the queue, counted
// from the free room or the device's delay, and frames as time.
#include "device/pcm_device.h"

uint64_t pcm_buffer_frames(const PcmDevice *pcm)
{
    return pcm->bufferFrames;
}

// Taken from the free room, which no device waits to tell: a delay query
// may wait for a stalled server (the pulse plugin's does), and Ctrl-C
// can't end it.
uint64_t pcm_queued_frames(const PcmDevice *pcm)
{
    snd_pcm_sframes_t room = snd_pcm_avail_update(pcm->handle);
    if (room < 0 || static_cast<snd_pcm_uframes_t>(room) >= pcm->bufferFrames)
        return 0;
    return pcm->bufferFrames - static_cast<snd_pcm_uframes_t>(room);
}

PcmLook pcm_look(const PcmDevice *pcm, bool byDelay)
{
    uint64_t queued = pcm_queued_frames(pcm);
    // Read after the room, whose update may find the stream run dry.
    snd_pcm_state_t state = snd_pcm_state(pcm->handle);
    bool running = state == SND_PCM_STATE_RUNNING;
    snd_pcm_sframes_t delay = 0;
    if (!byDelay || !(running || state == SND_PCM_STATE_PAUSED) ||
        snd_pcm_delay(pcm->handle, &delay) < 0 || delay < 0)
        return PcmLook{running, queued, queued};
    return PcmLook{running, queued, static_cast<uint64_t>(delay)};
}

int64_t pcm_ns_of(const PcmDevice *pcm, uint64_t frames)
{
    return pcm->rate == 0 ? 0 : int64_t{1000000000} * static_cast<int64_t>(frames) / pcm->rate;
}

bool pcm_running(const PcmDevice *pcm)
{
    return snd_pcm_state(pcm->handle) == SND_PCM_STATE_RUNNING;
}

// Below this, in ms, the device's own queue runs low: a server that holds
// more than the lead by itself (PulseAudio on a card keeps a period of the
// stream in its sink) would soon run dry.
constexpr uint64_t LOW_OWN_QUEUE_MS = 20;

uint64_t pcm_lead_frames(PcmDevice *pcm, uint64_t queued, uint64_t unheard)
{
    if (unheard > pcm->leadFrames && queued <= uint64_t{pcm->rate} * LOW_OWN_QUEUE_MS / 1000)
        pcm->leadFrames = unheard + uint64_t{pcm->rate} * LOW_OWN_QUEUE_MS / 1000;
    return pcm->leadFrames;
}
