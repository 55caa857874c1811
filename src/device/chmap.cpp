// Channel maps: the file's speakers offered to the device, the device's own
// order asked for, or ALSA's usual order assumed where it tells none.
#include <cstdio>
#include <cstdlib>
#include <cstring>

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

// Notes the speakers of the file's channels that no device channel plays,
// as "FLC and FRC".
void note_channels_not_heard(PcmDevice *pcm, const uint32_t *file)
{
    bool heard[MOST_ROUTED_CHANNELS] = {};
    for (uint32_t d = 0; d < pcm->channels; ++d) {
        if (pcm->route.from[d] != NO_CHANNEL)
            heard[pcm->route.from[d]] = true;
    }
    uint32_t missing[MOST_ROUTED_CHANNELS];
    uint32_t count = 0;
    for (uint32_t c = 0; c < pcm->channels; ++c) {
        if (!heard[c])
            missing[count++] = c;
    }
    char *names = pcm->notHeard;
    size_t room = sizeof pcm->notHeard;
    for (uint32_t i = 0; i < count; ++i) {
        const char *between = i == 0 ? "" : i + 1 == count ? " and " : ", ";
        int n = std::snprintf(names, room, "%s%s", between, speaker_name(file[missing[i]]));
        if (n < 0 || static_cast<size_t>(n) >= room)
            break;
        names += n;
        room -= static_cast<size_t>(n);
    }
}

} // namespace

void route_channels(PcmDevice *pcm, const PcmFrames &frames)
{
    uint32_t channels = pcm->channels;
    ChannelRoute *route = &pcm->route;
    route->reorder = false;
    // A mask of 0 says the channels are for no speakers (the tracks of a
    // multitrack recording): they go out as they are.
    if (channels <= 2 || channels > MOST_ROUTED_CHANNELS ||
        (frames.hasMask && frames.channelMask == 0))
        return;
    uint32_t file[MOST_ROUTED_CHANNELS];
    uint32_t device[MOST_ROUTED_CHANNELS];
    file_speakers(channels, frames.channelMask, file);
    // Asked before the map is offered: a device may tell the offered map
    // back whether or not it plays by it.
    bool told = device_tells_speakers(pcm->handle, channels, device);
    if (device_took_speakers(pcm->handle, file, channels, told ? device : nullptr))
        return;
    if (!told && !usual_device_speakers(channels, device)) {
        pcm->guess = GUESS_FILE_ORDER;
        return;
    }
    if (!told)
        pcm->guess = GUESS_USUAL_ORDER;
    route_by_speakers(file, device, channels, route->from);
    for (uint32_t d = 0; d < channels; ++d)
        route->reorder = route->reorder || route->from[d] != d;
    note_channels_not_heard(pcm, file);
}

void tell_route(PcmDevice *pcm)
{
    if (pcm->routeTold)
        return;
    pcm->routeTold = true;
    if (pcm->guess == GUESS_FILE_ORDER)
        warn("the device tells no channel map; the %u channels are sent in the file's order\n",
             pcm->channels);
    if (pcm->guess == GUESS_USUAL_ORDER)
        warn("the device tells no channel map; the %u channels are sent in ALSA's usual order "
             "(FL FR RL RR FC LFE SL SR)\n",
             pcm->channels);
    // Names are joined by " and " or ", ": a space means more than one.
    bool several = std::strchr(pcm->notHeard, ' ') != nullptr;
    if (pcm->notHeard[0] != '\0')
        warn("%s %s no speaker on this device and %s not heard\n", pcm->notHeard,
             several ? "have" : "has", several ? "are" : "is");
}
