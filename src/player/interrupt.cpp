#include "player/interrupt.h"

#include "control/wait.h"
#include "util/signals.h"

#include <csignal>
#include <signal.h>

namespace {

PcmDevice *device = nullptr; // set before the handler is installed
struct sigaction before;
bool caught = false;

void abort_play(int)
{
    pcm_abort(device);
    wake_the_wait();
}

} // namespace

void catch_interrupts(PcmDevice *pcm)
{
    device = pcm;
    open_the_wait();
    if (sigaction(SIGINT, nullptr, &before) != 0 || before.sa_handler == SIG_IGN)
        return;
    // Console output carries on; waits for the device are aborted all the same.
    caught = handle_signal(SIGINT, abort_play, nullptr);
}

void release_interrupts()
{
    if (caught)
        sigaction(SIGINT, &before, nullptr);
    caught = false;
}
