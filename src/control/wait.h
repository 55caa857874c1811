// The one wait: for a key at the terminal or a word there, input from the
// sources registered (the remote's messages), a signal, or the time the
// device needs to play down to its lead.
#pragma once
#include <cstdint>
#include <poll.h>

// A source of input the wait watches beside the terminal (the remote's
// sockets, say): fill gives the descriptors to watch, up to room, and
// returns how many; serve takes in what they brought.
struct WaitSource {
    int (*fill)(struct pollfd *fds, int room);
    void (*serve)(const struct pollfd *fds, int count);
};

// Every wait from now on watches source too. False where there is no room
// for one more (MOST_WAIT_SOURCES).
bool wait_register(WaitSource source);
constexpr int MOST_WAIT_SOURCES = 4;

// Readies the pipe that signal handlers write to end a wait. Called once,
// at start-up, before any handler that calls wake_the_wait is installed.
void open_the_wait();

// From a signal handler (async-signal-safe): the wait under way, or the
// next one, ends at once.
void wake_the_wait();

// Waits up to ns nanoseconds (without end when negative) for input on fd
// (none when fd is negative), a wake-up, any signal, or input from a
// registered source, which it serves before this returns. The caller
// looks again at what it waits for.
void wait_for_input(int fd, int64_t ns);
