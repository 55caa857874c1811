#include "player/interrupt.h"

#include <csignal>
#include <signal.h>

namespace {

PcmDevice *device = nullptr; // set before the handler is installed
struct sigaction before;
bool caught = false;

void abort_play(int)
{
    pcm_abort(device);
}

} // namespace

void catch_interrupts(PcmDevice *pcm)
{
    device = pcm;
    if (sigaction(SIGINT, nullptr, &before) != 0 || before.sa_handler == SIG_IGN)
        return;
    struct sigaction aborting {};
    aborting.sa_handler = abort_play;
    sigemptyset(&aborting.sa_mask);
    // Console output carries on; waits for the device are aborted all the same.
    aborting.sa_flags = SA_RESTART;
    caught = sigaction(SIGINT, &aborting, nullptr) == 0;
}

void release_interrupts()
{
    if (caught)
        sigaction(SIGINT, &before, nullptr);
    caught = false;
}
