// Ctrl-C during a play that returns to the menu stops that play, not the
// program. Everywhere else SIGINT keeps its usual effect.
#pragma once

#include "player/pcm.h"

// From now until release_interrupts(), SIGINT is noted instead of ending the
// process, and aborts a write that waits for the device, so the play stops
// at once. A SIGINT that the caller ignored (a background job's) stays ignored.
void catch_interrupts(PcmDevice *pcm);

// Whether SIGINT came since catch_interrupts().
bool interrupted();

// SIGINT has its earlier effect again. Returns whether it came meanwhile.
bool release_interrupts();
