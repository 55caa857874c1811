#include "player/interrupt.h"

#include "control/wait.h"
#include "util/signals.h"

#include <csignal>
#include <signal.h>

namespace {

// The signals that end the run by default, and the effect each had.
const int ENDINGS[] = {SIGINT, SIGTERM, SIGHUP};
constexpr int ENDING_COUNT = sizeof ENDINGS / sizeof ENDINGS[0];

PcmDevice *device = nullptr; // set before a handler is installed
struct sigaction before;
bool caught = false;
struct sigaction beforeEnding[ENDING_COUNT];
bool endingCaught[ENDING_COUNT];
volatile std::sig_atomic_t endedBy = 0;

void abort_play(int)
{
    pcm_abort(device);
    wake_the_wait();
}

void end_play(int sig)
{
    endedBy = sig;
    abort_play(sig);
}

} // namespace

void catch_interrupts(PcmDevice *pcm)
{
    device = pcm;
    if (!signal_action(SIGINT, &before) || before.sa_handler == SIG_IGN)
        return;
    // Console output carries on; waits for the device are aborted all the same.
    caught = handle_signal(SIGINT, abort_play, nullptr);
}

void catch_endings(PcmDevice *pcm)
{
    device = pcm;
    endedBy = 0;
    // An ignored signal stays ignored; a SIGINT that stops the play is
    // caught already.
    for (int i = 0; i < ENDING_COUNT; ++i) {
        endingCaught[i] = signal_action(ENDINGS[i], &beforeEnding[i]) &&
                          beforeEnding[i].sa_handler == SIG_DFL &&
                          handle_signal(ENDINGS[i], end_play, nullptr);
    }
}

void release_interrupts()
{
    for (int i = ENDING_COUNT - 1; i >= 0; --i) {
        if (endingCaught[i])
            restore_signal(ENDINGS[i], &beforeEnding[i]);
        endingCaught[i] = false;
    }
    if (caught)
        restore_signal(SIGINT, &before);
    caught = false;
}

int ended_by_signal()
{
    return endedBy;
}
