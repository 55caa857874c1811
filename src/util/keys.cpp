#include "util/keys.h"

#include <csignal>
#include <cstdlib>
#include <poll.h>
#include <signal.h>
#include <termios.h>
#include <unistd.h>

namespace {

// What the handlers reach: set before they are installed.
struct termios before;
volatile std::sig_atomic_t live = 0;
struct termios keys;

// The signals whose default action would leave the terminal set for keys.
const int ENDING_SIGNALS[] = {SIGINT, SIGTERM, SIGHUP};
struct sigaction earlier[3];
struct sigaction earlierStop;

void put_terminal_back()
{
    if (live != 0)
        tcsetattr(STDIN_FILENO, TCSANOW, &before);
}

// Puts the terminal back, then lets the signal do what it would have done.
void end_by_signal(int sig)
{
    put_terminal_back();
    live = 0;
    signal(sig, SIG_DFL);
    raise(sig);
}

// Ctrl-Z: the terminal as it was while stopped; the keys again after fg.
void stop_by_signal(int)
{
    put_terminal_back();
    sigset_t tstp;
    sigemptyset(&tstp);
    sigaddset(&tstp, SIGTSTP);
    signal(SIGTSTP, SIG_DFL);
    sigprocmask(SIG_UNBLOCK, &tstp, nullptr);
    raise(SIGTSTP);
    // Continued.
    sigprocmask(SIG_BLOCK, &tstp, nullptr);
    if (live != 0)
        tcsetattr(STDIN_FILENO, TCSANOW, &keys);
    signal(SIGTSTP, stop_by_signal);
}

void handle(int sig, void (*handler)(int), struct sigaction *old)
{
    struct sigaction action {};
    action.sa_handler = handler;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(sig, &action, old);
}

} // namespace

bool keys_begin()
{
    if (isatty(STDIN_FILENO) == 0 || tcgetattr(STDIN_FILENO, &before) != 0)
        return false;
    static bool registered = false;
    if (!registered)
        registered = std::atexit(put_terminal_back) == 0;
    keys = before;
    // Signals stay on: Ctrl-C and Ctrl-Z keep their meaning.
    keys.c_lflag &= static_cast<tcflag_t>(~(ICANON | ECHO));
    keys.c_cc[VMIN] = 1;
    keys.c_cc[VTIME] = 0;
    live = 1;
    for (int i = 0; i < 3; ++i) {
        sigaction(ENDING_SIGNALS[i], nullptr, &earlier[i]);
        // A handler of the player's own (Ctrl-C stops a menu play), or an
        // ignored signal, stays.
        if (earlier[i].sa_handler == SIG_DFL)
            handle(ENDING_SIGNALS[i], end_by_signal, nullptr);
    }
    sigaction(SIGTSTP, nullptr, &earlierStop);
    if (earlierStop.sa_handler == SIG_DFL)
        handle(SIGTSTP, stop_by_signal, nullptr);
    if (tcsetattr(STDIN_FILENO, TCSANOW, &keys) != 0) {
        keys_end();
        return false;
    }
    return true;
}

int next_key()
{
    if (live == 0)
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
    for (int i = 0; i < 3; ++i) {
        if (earlier[i].sa_handler == SIG_DFL)
            sigaction(ENDING_SIGNALS[i], &earlier[i], nullptr);
    }
    if (earlierStop.sa_handler == SIG_DFL)
        sigaction(SIGTSTP, &earlierStop, nullptr);
    tcflush(STDIN_FILENO, TCIFLUSH);
    put_terminal_back();
    live = 0;
}
