// What the device's files share, and no one else sees: the device's state,
// and the calls one of them makes for another.
#pragma once
#include <alsa/asoundlib.h>
#include <csignal>
#include <cstdint>

#include "device/pcm.h"
#include "device/speakers.h"
#include "util/side_call.h"
#include "util/text_sizes.h"

// The most channels whose order the device can change.
constexpr uint32_t MOST_ROUTED_CHANNELS = 32;

// How the file's channels reach the device's: device channel d plays the
// file's channel from[d] (or silence); unchanged when reorder is false.
struct ChannelRoute {
    bool reorder;
    uint8_t from[MOST_ROUTED_CHANNELS];
};

// Where the device tells no channel order, the one the channels are sent in.
enum RouteGuess { GUESS_NONE, GUESS_FILE_ORDER, GUESS_USUAL_ORDER };

// The device and everything the program remembers of it between calls.
struct PcmDevice {
    snd_pcm_t *handle;
    char name[DEVICE_NAME_SIZE]; // as opened, for the hints
    // Set by pcm_abort, from a signal handler; cleared by pcm_drop.
    volatile std::sig_atomic_t abortRequested;
    // A control call (a start, a drop, a recovery) that may wait for a
    // stalled device runs beside the player, so that its wait can be cut
    // short.
    SideCall call;
    // A stopped play's queued audio still to be dropped; claimed with
    // __atomic builtins by the helper or the player, whichever comes first.
    bool dropWanted;
    bool stalledAtStop; // the device had stalled when pcm_abort stopped a write
    int recoverErr;     // the error a recovery call clears
    int callResult;     // written and read with __atomic builtins across the threads
    // The end of the last write: a buffer's time later, every frame
    // written has played.
    int64_t lastWriteNs;
    uint32_t continuesSeen; // the process's continues as of the last write
    unsigned int rate;      // granted
    snd_pcm_uframes_t bufferFrames;
    snd_pcm_uframes_t periodFrames;
    // What a play with keys or the remote live keeps written and not yet
    // heard (see pcm_lead_frames); raised where the route proves to need more.
    uint64_t leadFrames;
    bool canPause;  // holds its place on snd_pcm_pause
    bool holdStart; // writes don't start the stream: a loaded play waits for its go
    // The start threshold in force: a write that fills the device to it
    // starts the stream.
    snd_pcm_uframes_t startThreshold;
    SampleEncoding encoding; // the file's samples
    bool bigEndian;          // ... with their bytes in the other order
    SampleEncoding played;   // as the device takes them: converted if they differ
    uint32_t channels;
    ChannelRoute route; // the file's channels in the device's order
    // What the order costs, said at the first write.
    RouteGuess guess;
    char notHeard[MOST_ROUTED_CHANNELS * 6]; // the speakers of channels no device channel plays
    bool routeTold;
};

// Follows every message about a device that won't take the file as it is.
extern const char PLUG_HINT[];

// A negative rc is an ALSA error: message, with the library's text for it,
// goes to standard error and the process ends with status 1.
void alsa_ok_or_exit(int rc, const char *message);

// After the hardware parameters: gives the device the file's speaker
// positions (from the mask, else the WAVE order for the count). A device
// that keeps an order of its own gets the channels reordered to it through
// pcm->route; one that tells no order is taken to use ALSA's usual one.
// Where the order is guessed or a channel has no speaker, tell_route says
// so at the first write.
void route_channels(PcmDevice *pcm, const PcmFrames &frames);

// Says once, on standard error, what the channel order costs.
void tell_route(PcmDevice *pcm);

// Where the device may wait for the start threshold (a sound server's
// start waits for the server): after configuring, so that no write starts
// the stream and pcm_write_period_or_exit starts it as a call Ctrl-C can
// leave.
void start_streams_by_hand(PcmDevice *pcm);
