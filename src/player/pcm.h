// The playback device. This is the one place that talks to ALSA; the rest of
// the player sees an opaque handle and these few calls.
#pragma once
#include <cstdint>

#include "wave/encoding.h"

struct PcmDevice; // opaque outside pcm.cpp

// Before pcm_open, while the process has one thread: asks PipeWire, through
// the environment its streams read, for its usual cycle of 1024 frames at
// this rate instead of the longest, unless the user chose one.
void pcm_ask_pipewire_for_its_usual_cycle(uint32_t rate);

// Opens the device for blocking playback into *pcm. Returns 0, or a negative
// error code whose text pcm_error_text gives.
int pcm_open(const char *deviceName, PcmDevice **pcm);

// The library's text for a negative error code.
const char *pcm_error_text(int err);

// Configures interleaved access, the sample encoding, the rate, the
// channels, a period near 4096 and a buffer near 16384 frames, and returns
// the period granted, in frames. *played is the encoding the device takes:
// the file's, or the one converted_encoding gives when the device refuses
// the file's. A refused format, a refused channel count and refused
// hardware parameters end the process with status 1 after their message
// and a pointer to the plug devices on standard error; another rate than
// the file's is played with a warning there.
uint32_t pcm_configure_or_exit(PcmDevice *pcm, SampleEncoding encoding, uint32_t rate,
                               uint32_t channels, SampleEncoding *played);

// The most channels whose order the player can change.
constexpr uint32_t MOST_ROUTED_CHANNELS = 32;

// How the file's channels reach the device's: device channel d plays the
// file's channel from[d]; unchanged when reorder is false.
struct ChannelRoute {
    bool reorder;
    uint8_t from[MOST_ROUTED_CHANNELS];
};

// After pcm_configure_or_exit, for more than two channels: gives the device
// the file's speaker positions (from channelMask, else the WAVE order for
// the count). A device that keeps an order of its own gets the channels
// reordered to it through *route; one that tells no order is taken to use
// ALSA's usual one, with a warning on standard error.
void pcm_route_channels(PcmDevice *pcm, uint32_t channels, uint32_t channelMask,
                        ChannelRoute *route);

enum WriteResult {
    WRITE_DONE,
    WRITE_STOPPED, // pcm_abort came; the rest of the period was not written
};

// What writes met that was heard: each a gap, and audio may have been lost.
struct WriteTrouble {
    uint32_t underruns; // the device ran dry, and was recovered
    // The longest a write waited beyond the audio queued ahead of it (the
    // device stalled: a sound server stopped, say), in ns; 0 if none did.
    int64_t stalledNs;
};

// Writes one period of frames (frameBytes each, blocking) until every frame
// of it is out, unless pcm_abort stops it. A suspend or an interrupted wait
// is recovered and the same frames written again. An underrun is recovered
// too and counted in trouble: the device ran dry, so a gap was heard, and
// frames it still held may have been dropped with it. A stall is noted
// there too, whether or not the device then reported an underrun. An error
// that can't be recovered, or writes that keep failing, print "Unable to
// write to the playback device: ..." on standard error and end the process
// with status 1.
WriteResult pcm_write_period_or_exit(PcmDevice *pcm, const unsigned char *buffer, uint32_t frames,
                                     uint32_t frameBytes, WriteTrouble *trouble);

// Stops the play: a write, or a wait for the device, returns at once, and
// no later write starts until pcm_drop. Safe to call from a signal handler.
void pcm_abort(PcmDevice *pcm);

// After a play that pcm_abort stopped: drops whatever is still queued and
// makes the device ready for the next play. A stalled device (a stopped
// sound server) would not answer a drop: the player never waits for it
// here, and the next write or drain waits for the drop first, a wait that
// pcm_abort ends too.
void pcm_drop(PcmDevice *pcm);

// Waits until everything queued has played, then closes the device and
// releases it. A drain that fails ends the process with status 1, like a
// failed write, unless every frame written had had the time to play: then
// nothing was lost, and a warning says what failed.
void pcm_drain_and_close_or_exit(PcmDevice *pcm);
