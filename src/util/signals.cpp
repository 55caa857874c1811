#include "util/signals.h"

#include <unistd.h>

bool handle_signal(int sig, void (*handler)(int), struct sigaction *old)
{
    struct sigaction action {};
    action.sa_handler = handler;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    return sigaction(sig, &action, old) == 0;
}

bool signal_action(int sig, struct sigaction *now)
{
    return sigaction(sig, nullptr, now) == 0;
}

void restore_signal(int sig, const struct sigaction *old)
{
    sigaction(sig, old, nullptr);
}

void act_by_default(int sig)
{
    // In its own handler the signal is blocked: raised, it would wait.
    sigset_t only;
    sigemptyset(&only);
    sigaddset(&only, sig);
    signal(sig, SIG_DFL);
    sigprocmask(SIG_UNBLOCK, &only, nullptr);
    raise(sig);
    sigprocmask(SIG_BLOCK, &only, nullptr);
}

void die_by_signal(int sig)
{
    act_by_default(sig);
    _exit(128 + sig);
}
