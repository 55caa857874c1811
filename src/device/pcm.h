// The playback device: the one room that talks to ALSA. The rest of the
// program sees an opaque handle and these few calls, and hands the device
// the file's own frames: the device converts and reorders them for itself.
#pragma once
#include <cstdint>

#include "wave/encoding.h"

struct PcmDevice; // opaque outside src/device

// Before pcm_open, while the process has one thread: asks PipeWire, through
// the environment its streams read, for its usual cycle of 1024 frames at
// this rate instead of the longest, unless the user chose one.
void pcm_ask_pipewire_for_its_usual_cycle(uint32_t rate);

// Opens the device for blocking playback into *pcm. Returns 0, or a negative
// error code whose text pcm_error_text gives.
int pcm_open(const char *deviceName, PcmDevice **pcm);

// The library's text for a negative error code.
const char *pcm_error_text(int err);

// The frames the file holds, as the device is to play them.
struct PcmFrames {
    SampleEncoding encoding;
    bool bigEndian; // the samples' bytes in the other order (RIFX)
    uint32_t rate;
    uint32_t channels;
    bool hasMask;         // the file gives its speakers; a mask of 0 then means none
    uint32_t channelMask; // the file's speaker positions
};

// Configures interleaved access, the sample encoding (the file's, or the
// one converted_encoding gives when the device refuses it), the rate, the
// channels, a period near 4096 and a buffer near 16384 frames, and the
// channel order: the file's speakers offered, else reordered to the
// device's, each channel to one speaker at most (a file without speaker
// positions goes out in its own order). What the order costs (a guess, a
// channel not heard) is said once, at the first write. Returns the period granted, in frames. A
// refused format, a refused channel count and refused hardware parameters end the process with
// status 1 after their message and a pointer to the plug devices on standard error; another rate
// than the file's is played with a warning there.
uint32_t pcm_configure_or_exit(PcmDevice *pcm, const PcmFrames &frames);

// Bytes each frame needs in the buffers handed to pcm_write_period_or_exit:
// the file's frame, or the device's where conversion widens it.
uint32_t pcm_frame_room(const PcmDevice *pcm);

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

// Writes one period of the file's frames, blocking, until every frame of
// it is out, unless pcm_abort stops it. The frames are converted and
// reordered for the device in the buffer itself (frames × pcm_frame_room
// bytes). A suspend or an interrupted wait is recovered and the same frames
// written again. An underrun is recovered too and counted in trouble: the
// device ran dry, so a gap was heard, and frames it still held may have
// been dropped with it. A stall is noted there too, whether or not the
// device then reported an underrun. An error that can't be recovered, or
// writes that keep failing, print "Unable to write to the playback device:
// ..." on standard error and end the process with status 1.
WriteResult pcm_write_period_or_exit(PcmDevice *pcm, unsigned char *buffer, uint32_t frames,
                                     WriteTrouble *trouble);

// Frames the device's buffer holds, as granted.
uint64_t pcm_buffer_frames(const PcmDevice *pcm);

// While held, writes fill the device without starting it (a loaded play);
// pcm_start_held lets it go, starting it at once where it holds frames.
// A held device takes at most pcm_held_room frames, less than a period:
// one more might start it by itself, by reaching its start threshold, a
// sound server's pre-buffer (a period, for the stream the hardware
// parameters make) or its least request (pipewire-pulse plays a stream
// that holds a period, whatever its pre-buffer).
void pcm_hold_start(PcmDevice *pcm);
void pcm_start_held(PcmDevice *pcm);
uint64_t pcm_held_room(const PcmDevice *pcm);

// Waits for a control call still under way (a stopped play's drop, which a
// stalled sound server holds up): until it is done, any other call on the
// device waits for it, and Ctrl-C could not end that wait. False when
// pcm_abort came first.
bool pcm_settle(PcmDevice *pcm);

// The frames the device holds not yet played; 0 where it can't tell.
uint64_t pcm_queued_frames(const PcmDevice *pcm);

// One look at the device, its state read once.
struct PcmLook {
    bool running;     // started, and neither stopped nor paused
    uint64_t queued;  // the frames it holds not yet played, as pcm_queued_frames
    uint64_t unheard; // the frames written and not yet heard
};

// Looks at the device. Where byDelay, what is not yet heard is the device's
// delay: finer than the queue through a sound server, whose plugin counts
// the queue in whole periods. The delay is asked only of a running or
// paused stream (the pulse plugin's waits for the server's first timing
// answer, which it asks for as the stream is made, at the prepare before
// any play); else, or where the device can't tell, it is the queue.
PcmLook pcm_look(const PcmDevice *pcm, bool byDelay);

// Whether the stream is running: started, and neither stopped nor paused.
bool pcm_running(const PcmDevice *pcm);

// What a play with keys or the remote live keeps written and not yet heard,
// so that a key acts that long before what is heard: a server's cycle of
// 1024 frames and 150 ms, or two periods on a device that moves by the
// period (a card). Given the device's queue and the frames not yet heard:
// where the device's own queue runs low before the lead is reached, the
// server holds more than the lead by itself, and the lead grows to what it
// holds, for the rest of the run.
uint64_t pcm_lead_frames(PcmDevice *pcm, uint64_t queued, uint64_t unheard);

// How long frames take to play at the rate granted.
int64_t pcm_ns_of(const PcmDevice *pcm, uint64_t frames);

// A wait for the device that lasted longer than the audio queued ahead of
// it (queuedNs) means the device stopped taking audio meanwhile: it
// stalled, and what it held ran out. Keeps the longest such wait in
// trouble. The caller leaves out waits the player's own pause spanned.
void pcm_note_stall(int64_t waitedNs, int64_t queuedNs, WriteTrouble *trouble);

// Whether pcm_abort has stopped the play.
bool pcm_stopping(const PcmDevice *pcm);

// Holds the device where it is (paused), or lets it go on, where the device
// can; false where it can't.
bool pcm_pause(PcmDevice *pcm, bool paused);

// For a pause on a device that can't hold its place, once it has played
// all it held: stops it, so that it does not run dry, and makes it ready
// for the next write, which starts it again.
void pcm_rest(PcmDevice *pcm);

// Stops the play: a write, or a wait for the device, returns at once, and
// no later write starts until pcm_drop. Safe to call from a signal handler.
void pcm_abort(PcmDevice *pcm);

// After a play that pcm_abort stopped: drops whatever is still queued and
// makes the device ready for the next play, without waiting for it. A
// stalled device (a stopped sound server) would not answer a drop: a
// warning says that it may still play some of the stopped play when it
// resumes; the drop is made the moment the device answers the call it is
// held in, and the next write or drain waits for it, a wait that pcm_abort
// ends too.
void pcm_drop(PcmDevice *pcm);

// Waits until everything queued has played, then closes the device and
// releases it. A drain that fails ends the process with status 1, like a
// failed write, unless every frame written had had the time to play: then
// nothing was lost, and a warning says what failed.
void pcm_drain_and_close_or_exit(PcmDevice *pcm);
