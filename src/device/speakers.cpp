#include "device/speakers.h"

#include <alsa/asoundlib.h>

namespace {

// The WAVE speaker bits, from bit 0 up, with ALSA's position for each.
const struct {
    const char *name;
    unsigned int position;
} SPEAKERS[] = {
    {"FL", SND_CHMAP_FL},   {"FR", SND_CHMAP_FR},   {"FC", SND_CHMAP_FC},   {"LFE", SND_CHMAP_LFE},
    {"BL", SND_CHMAP_RL},   {"BR", SND_CHMAP_RR},   {"FLC", SND_CHMAP_FLC}, {"FRC", SND_CHMAP_FRC},
    {"BC", SND_CHMAP_RC},   {"SL", SND_CHMAP_SL},   {"SR", SND_CHMAP_SR},   {"TC", SND_CHMAP_TC},
    {"TFL", SND_CHMAP_TFL}, {"TFC", SND_CHMAP_TFC}, {"TFR", SND_CHMAP_TFR}, {"TBL", SND_CHMAP_TRL},
    {"TBC", SND_CHMAP_TRC}, {"TBR", SND_CHMAP_TRR},
};
constexpr uint32_t SPEAKER_BITS = sizeof SPEAKERS / sizeof SPEAKERS[0];

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

// The table's row for a speaker bit, or SPEAKER_BITS.
uint32_t row_of(uint32_t speaker)
{
    for (uint32_t bit = 0; bit < SPEAKER_BITS; ++bit) {
        if (speaker == 1u << bit)
            return bit;
    }
    return SPEAKER_BITS;
}

} // namespace

unsigned int speaker_position(uint32_t speaker)
{
    uint32_t row = row_of(speaker);
    return row < SPEAKER_BITS ? SPEAKERS[row].position : unsigned{SND_CHMAP_UNKNOWN};
}

uint32_t speaker_at_position(unsigned int position)
{
    for (uint32_t bit = 0; bit < SPEAKER_BITS; ++bit) {
        if (SPEAKERS[bit].position == position)
            return 1u << bit;
    }
    return 0;
}

const char *speaker_name(uint32_t speaker)
{
    uint32_t row = row_of(speaker);
    return row < SPEAKER_BITS ? SPEAKERS[row].name : "?";
}

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

// How a device channel may take a file channel, in the order they are tried.
enum Match { SAME_SPEAKER, STAND_IN, UNKNOWN_SPEAKER };

bool matches(Match match, uint32_t file, uint32_t device)
{
    switch (match) {
    case SAME_SPEAKER:
        return file != 0 && file == device;
    case STAND_IN:
        return file != 0 && loosely(file) == loosely(device);
    case UNKNOWN_SPEAKER:
        return device == 0;
    }
    return false;
}

} // namespace

void route_by_speakers(const uint32_t *file, const uint32_t *device, uint32_t channels,
                       uint8_t *from)
{
    bool used[256] = {};
    for (uint32_t d = 0; d < channels; ++d)
        from[d] = NO_CHANNEL;
    const Match inTurn[] = {SAME_SPEAKER, STAND_IN, UNKNOWN_SPEAKER};
    for (Match match : inTurn) {
        for (uint32_t d = 0; d < channels; ++d) {
            for (uint32_t c = 0; c < channels && from[d] == NO_CHANNEL; ++c) {
                if (!used[c] && matches(match, file[c], device[d])) {
                    from[d] = static_cast<uint8_t>(c);
                    used[c] = true;
                }
            }
        }
    }
}
