#include "util/signals.h"

bool handle_signal(int sig, void (*handler)(int), struct sigaction *old)
{
    struct sigaction action {};
    action.sa_handler = handler;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    return sigaction(sig, &action, old) == 0;
}
