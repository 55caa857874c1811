#include "player/interrupt.h"

#include <csignal>
#include <signal.h>

namespace {

volatile std::sig_atomic_t interruptSeen = 0;
PcmDevice *device = nullptr; // set before the handler is installed
struct sigaction before;
bool caught = false;

void note_interrupt(int)
{
    interruptSeen = 1;
    pcm_abort(device);
}

} // namespace

void catch_interrupts(PcmDevice *pcm)
{
    interruptSeen = 0;
    device = pcm;
    if (sigaction(SIGINT, nullptr, &before) != 0 || before.sa_handler == SIG_IGN)
        return;
    struct sigaction noting {};
    noting.sa_handler = note_interrupt;
    sigemptyset(&noting.sa_mask);
    // Console output carries on; waits for the device are aborted all the same.
    noting.sa_flags = SA_RESTART;
    caught = sigaction(SIGINT, &noting, nullptr) == 0;
}

bool interrupted()
{
    return interruptSeen != 0;
}

bool release_interrupts()
{
    if (caught)
        sigaction(SIGINT, &before, nullptr);
    caught = false;
    bool seen = interruptSeen != 0;
    interruptSeen = 0;
    return seen;
}
