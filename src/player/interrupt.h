// Ctrl-C during a play that returns to the menu stops that play, not the
// program. Everywhere else SIGINT keeps its usual effect.
#pragma once

#include "device/pcm.h"

// From now until release_interrupts(), SIGINT aborts the play on pcm
// (pcm_abort) instead of ending the process: a write that waits for the
// device returns at once and says that the play stopped. A SIGINT that the caller
// ignored (a background job's) stays ignored.
void catch_interrupts(PcmDevice *pcm);

// SIGINT has its earlier effect again.
void release_interrupts();
