// A call that may block for long (a wait for a stalled server, say), run on
// a helper thread so that the caller's own wait for it can be cut short by
// SIGINT. It knows nothing of what the call does.
#pragma once
#include <csignal>

struct SideCall {
    bool running;
    int done[2]; // the helper writes one byte to done[1] when the call returns
    void (*call)(void *);
    void *argument;
};

// Readies a side call; without its pipe, calls are made in the caller.
void side_call_init(SideCall *c);

// Starts call(argument) on a helper thread that blocks every signal, so
// that SIGINT always reaches the caller. A helper that can't be started
// makes the call right here instead. At most one call runs at a time: wait
// for the last before starting another.
void side_call_start(SideCall *c, void (*call)(void *), void *argument);

// Waits until the running call returns, or (when stop is not null) until
// *stop is set by a signal handler. SIGINT is let in only inside the wait
// itself, so a stop can't slip in between the check and the wait. False
// when stopped first: the call goes on, and a later wait waits for it.
bool side_call_wait(SideCall *c, const volatile std::sig_atomic_t *stop);

// Waits up to ms milliseconds for the running call. True once no call runs.
bool side_call_done_within(SideCall *c, int ms);

// Waits for the running call, if any, and closes the pipe.
void side_call_close(SideCall *c);
