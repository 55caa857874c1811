// Channel maps: the file's speakers offered to the device, the device's own
// order asked for, or ALSA's usual order assumed where it tells none.
#include <cstdlib>

#include "device/pcm_device.h"
#include "device/speakers.h"
#include "util/fatal.h"

namespace {

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
        map->pos[c] = speaker_position(speakers[c]);
    int rc = snd_pcm_set_chmap(handle, map);
    if (rc > 0 && told != nullptr) {
        for (uint32_t c = 0; c < channels; ++c)
            map->pos[c] = speaker_position(told[c]);
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
        speakers[c] = speaker_at_position(map->pos[c]);
    std::free(map);
    return told;
}

// Where the device tells no order: ALSA's usual one for the count (which
// ALSA's own surround devices and its pulse plugin use). False, with a
// warning, when there is none.
bool usual_speakers(uint32_t channels, uint32_t *speakers)
{
    if (usual_device_speakers(channels, speakers)) {
        warn("the device tells no channel map; the %u channels are sent in ALSA's usual "
             "order (FL FR RL RR FC LFE SL SR)\n",
             channels);
        return true;
    }
    warn("the device tells no channel map; the %u channels are sent in the file's order\n",
         channels);
    return false;
}

} // namespace

void route_channels(PcmDevice *pcm, uint32_t channelMask)
{
    uint32_t channels = pcm->channels;
    ChannelRoute *route = &pcm->route;
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
        warn("the device's channels are for other speakers than the file's; they are sent "
             "in the file's order\n");
        return;
    }
    for (uint32_t d = 0; d < channels; ++d)
        route->reorder = route->reorder || route->from[d] != d;
}
