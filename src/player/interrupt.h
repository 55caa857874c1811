// Ctrl-C during a play that returns to the menu stops that play, not the
// program. Everywhere else SIGINT keeps its usual effect. With the remote
// on, a signal that ends the run ends the play first, so that the remote
// hears how it ended, and then the run, by that signal.
#pragma once

#include "device/pcm.h"

// From now until release_interrupts(), SIGINT aborts the play on pcm
// (pcm_abort) instead of ending the process: a write that waits for the
// device returns at once and says that the play stopped. A SIGINT that the caller
// ignored (a background job's) stays ignored.
void catch_interrupts(PcmDevice *pcm);

// From now until release_interrupts(), SIGTERM, SIGHUP and SIGINT, where
// each would end the process, abort the play on pcm instead, and are kept
// for ended_by_signal.
void catch_endings(PcmDevice *pcm);

// The signals have their earlier effect again.
void release_interrupts();

// The signal caught by catch_endings since, or 0.
int ended_by_signal();
