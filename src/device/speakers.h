// Which speaker each channel is for, by the WAVE speaker bits
// (SPEAKER_FRONT_LEFT 0x1, SPEAKER_FRONT_RIGHT 0x2, SPEAKER_FRONT_CENTER
// 0x4, SPEAKER_LOW_FREQUENCY 0x8, SPEAKER_BACK_LEFT 0x10, ...), and how the
// file's channels are routed to a device that orders them otherwise.
#pragma once
#include <cstdint>

// The speakers of the file's channels: the mask's bits from the lowest up,
// else (too few bits) the WAVE order for the count. A channel with no known
// speaker gets 0.
void file_speakers(uint32_t channels, uint32_t mask, uint32_t *speakers);

// ALSA's usual order for devices that tell none (its surround40, 50, 51
// and 71 devices): FL FR RL RR FC LFE SL SR, for 4, 5, 6 or 8 channels.
// False for other counts.
bool usual_device_speakers(uint32_t channels, uint32_t *speakers);

// A device channel that no channel of the file is for: it plays silence.
constexpr uint8_t NO_CHANNEL = 0xFF;

// from[d] = the file's channel for the device's channel d, each of the
// file's channels used once at most: the channel for the same speaker, else
// side and back speakers standing in for each other; a device channel whose
// speaker is unknown takes a channel left over, in order; NO_CHANNEL where
// none is left.
void route_by_speakers(const uint32_t *file, const uint32_t *device, uint32_t channels,
                       uint8_t *from);

// ALSA's channel position of a speaker bit (SND_CHMAP_UNKNOWN for none),
// the speaker bit at an ALSA position (0 for none), and a speaker's short
// name ("FL", "FLC", ...; "?" for none).
unsigned int speaker_position(uint32_t speaker);
uint32_t speaker_at_position(unsigned int position);
const char *speaker_name(uint32_t speaker);
