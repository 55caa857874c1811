// Whether the process was stopped and continued (Ctrl-Z then fg, or
// SIGSTOP and SIGCONT): a wait that spans a pause measures the pause, not
// whatever it waited for.
#pragma once
#include <cstdint>

// Counts SIGCONT from now on; the signal keeps its usual effect.
void count_pauses();

// How many times the process was continued since count_pauses.
uint32_t pauses_so_far();
