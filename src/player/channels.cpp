#include "player/channels.h"

namespace {

constexpr uint32_t FL = 0x1, FR = 0x2, FC = 0x4, LFE = 0x8, BL = 0x10, BR = 0x20, BC = 0x100,
                   SL = 0x200, SR = 0x400;

// The WAVE order for files that give no mask, by channel count.
const uint32_t WAVE_ORDER[9][8] = {
    {},
    {FC},
    {FL, FR},
    {FL, FR, FC},
    {FL, FR, BL, BR},
    {FL, FR, FC, BL, BR},
    {FL, FR, FC, LFE, BL, BR},
    {FL, FR, FC, LFE, BC, SL, SR},
    {FL, FR, FC, LFE, BL, BR, SL, SR},
};

const uint32_t ALSA_ORDER[8] = {FL, FR, BL, BR, FC, LFE, SL, SR};

uint32_t bits_set(uint32_t mask)
{
    uint32_t count = 0;
    for (; mask != 0; mask &= mask - 1)
        ++count;
    return count;
}

} // namespace

void file_speakers(uint32_t channels, uint32_t mask, uint32_t *speakers)
{
    bool useMask = mask != 0 && bits_set(mask) >= channels;
    uint32_t bit = 1;
    for (uint32_t c = 0; c < channels; ++c) {
        if (useMask) {
            while ((mask & bit) == 0)
                bit <<= 1;
            speakers[c] = bit;
            bit <<= 1;
        } else {
            speakers[c] = channels < 9 ? WAVE_ORDER[channels][c] : 0;
        }
    }
}

bool usual_device_speakers(uint32_t channels, uint32_t *speakers)
{
    if (channels != 4 && channels != 5 && channels != 6 && channels != 8)
        return false;
    for (uint32_t c = 0; c < channels; ++c)
        speakers[c] = ALSA_ORDER[c];
    return true;
}

namespace {

// Loosely, side and back speakers stand in for each other: a 5.1 file
// made for side speakers plays on a device's rear ones.
uint32_t loosely(uint32_t speaker)
{
    if (speaker == SL)
        return BL;
    return speaker == SR ? BR : speaker;
}

bool route(const uint32_t *file, const uint32_t *device, uint32_t channels, bool loose,
           uint8_t *from)
{
    for (uint32_t d = 0; d < channels; ++d) {
        uint32_t c = 0;
        while (c < channels && (file[c] == 0 || (loose ? loosely(file[c]) != loosely(device[d])
                                                       : file[c] != device[d])))
            ++c;
        if (c == channels)
            return false;
        from[d] = static_cast<uint8_t>(c);
    }
    return true;
}

} // namespace

bool route_by_speakers(const uint32_t *file, const uint32_t *device, uint32_t channels,
                       uint8_t *from)
{
    return route(file, device, channels, false, from) || route(file, device, channels, true, from);
}
