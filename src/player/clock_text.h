// The running clock line, printed once per period while a selection plays.
#pragma once
#include <cstddef>

// Writes seconds as "%.2f" would (the float promoted to double, rounded to
// nearest with ties to even) into out, which holds at least 16 bytes, and
// returns the length. Returns 0, writing nothing, for values it leaves to
// printf: negative (-0 too), not finite, or 10^7 seconds and above.
size_t format_hundredths(float seconds, char *out);

// Prints "\rclock = %.2f sec" and flushes standard output.
void print_clock(float seconds);
