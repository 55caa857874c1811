#include "util/pauses.h"

#include <csignal>
#include <signal.h>

namespace {

volatile std::sig_atomic_t continues = 0;

void count_continue(int)
{
    continues = continues + 1;
}

} // namespace

void count_pauses()
{
    struct sigaction counting {};
    counting.sa_handler = count_continue;
    sigemptyset(&counting.sa_mask);
    counting.sa_flags = SA_RESTART;
    sigaction(SIGCONT, &counting, nullptr);
}

uint32_t pauses_so_far()
{
    return static_cast<uint32_t>(continues);
}
