#include "util/keys.h"

#include "util/signals.h"

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <poll.h>
#include <signal.h>
#include <termios.h>
#include <unistd.h>

namespace {

// What the handlers reach: set before they are installed.
struct termios before;
volatile std::sig_atomic_t live = 0;    // between keys_begin and keys_end
volatile std::sig_atomic_t reading = 0; // the terminal is set for keys, ours to read
struct termios keys;

// The signals whose default action would leave the terminal set for keys.
const int ENDING_SIGNALS[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT};
constexpr int ENDING_SIGNAL_COUNT = sizeof ENDING_SIGNALS / sizeof ENDING_SIGNALS[0];
struct sigaction earlier[ENDING_SIGNAL_COUNT];
struct sigaction earlierStop;

// Sets the terminal without stopping the process: a background job that
// blocks SIGTTOU may still set it (the job may have been sent to the
// background during the play).
void set_terminal(const struct termios *settings)
{
    sigset_t ttou;
    sigset_t was;
    sigemptyset(&ttou);
    sigaddset(&ttou, SIGTTOU);
    sigprocmask(SIG_BLOCK, &ttou, &was);
    tcsetattr(STDIN_FILENO, TCSANOW, settings);
    sigprocmask(SIG_SETMASK, &was, nullptr);
}

// Only while the keys are set: once the terminal is the shell's again
// (Ctrl-Z, then bg), its settings are the shell's to keep. What was typed
// during the play and not read goes with them, on every way out: it must
// not reach the menu, or the shell after an error or a signal.
void put_terminal_back()
{
    if (reading == 0)
        return;
    tcflush(STDIN_FILENO, TCIFLUSH);
    set_terminal(&before);
}

// A job the shell runs in the background leaves the terminal to the job in
// the foreground: it reads no keys. (A terminal that is not the process's
// controlling one has no foreground job to disturb.)
bool in_the_foreground()
{
    pid_t foreground = tcgetpgrp(STDIN_FILENO);
    return foreground == getpgrp() || (foreground == -1 && errno == ENOTTY);
}

// Puts the terminal back, then lets the signal do what it would have done.
void end_by_signal(int sig)
{
    put_terminal_back();
    reading = 0;
    live = 0;
    die_by_signal(sig);
}

// Ctrl-Z: the terminal as it was while stopped; the keys again after fg
// (after bg, the terminal is the shell's, and no key is read).
void stop_by_signal(int)
{
    int savedErrno = errno;
    put_terminal_back();
    reading = 0;
    act_by_default(SIGTSTP);
    // Continued.
    if (live != 0 && in_the_foreground()) {
        set_terminal(&keys);
        reading = 1;
    }
    signal(SIGTSTP, stop_by_signal);
    errno = savedErrno;
}

} // namespace

bool keys_begin()
{
    if (isatty(STDIN_FILENO) == 0 || !in_the_foreground() || tcgetattr(STDIN_FILENO, &before) != 0)
        return false;
    static bool registered = false;
    if (!registered)
        registered = std::atexit(put_terminal_back) == 0;
    keys = before;
    // Signals stay on: Ctrl-C and Ctrl-Z keep their meaning. Ctrl-S is a
    // key (ignored), not a stop of the output that would stall the clock.
    keys.c_lflag &= static_cast<tcflag_t>(~(ICANON | ECHO));
    keys.c_iflag &= static_cast<tcflag_t>(~IXON);
    keys.c_cc[VMIN] = 1;
    keys.c_cc[VTIME] = 0;
    live = 1;
    for (int i = 0; i < ENDING_SIGNAL_COUNT; ++i) {
        signal_action(ENDING_SIGNALS[i], &earlier[i]);
        // A handler of the player's own (Ctrl-C stops a menu play), or an
        // ignored signal, stays.
        if (earlier[i].sa_handler == SIG_DFL)
            handle_signal(ENDING_SIGNALS[i], end_by_signal, nullptr);
    }
    signal_action(SIGTSTP, &earlierStop);
    if (earlierStop.sa_handler == SIG_DFL)
        handle_signal(SIGTSTP, stop_by_signal, nullptr);
    if (tcsetattr(STDIN_FILENO, TCSANOW, &keys) != 0) {
        keys_end();
        return false;
    }
    reading = 1;
    return true;
}

int next_key()
{
    if (reading == 0)
        return -1;
    struct pollfd in = {STDIN_FILENO, POLLIN, 0};
    unsigned char key = 0;
    if (poll(&in, 1, 0) <= 0 || read(STDIN_FILENO, &key, 1) != 1)
        return -1;
    return key;
}

void keys_end()
{
    if (live == 0)
        return;
    for (int i = 0; i < ENDING_SIGNAL_COUNT; ++i) {
        if (earlier[i].sa_handler == SIG_DFL)
            restore_signal(ENDING_SIGNALS[i], &earlier[i]);
    }
    if (earlierStop.sa_handler == SIG_DFL)
        restore_signal(SIGTSTP, &earlierStop);
    put_terminal_back();
    reading = 0;
    live = 0;
}
