// The one wait: for a key at the terminal or a word there, a message from
// the remote, a signal, or the time the device needs to play down to its
// lead.
#pragma once
#include <cstdint>

// Readies the pipe that signal handlers write to end a wait. Call once,
// before the handlers that call wake_the_wait are installed.
void open_the_wait();

// From a signal handler (async-signal-safe): the wait under way, or the
// next one, ends at once.
void wake_the_wait();

// Waits up to ns nanoseconds (without end when negative) for input on fd
// (none when fd is negative), a wake-up, any signal, or a message to the
// remote, which is taken in (queued, or answered) before this returns.
// The caller looks again at what it waits for.
void wait_for_input(int fd, int64_t ns);
