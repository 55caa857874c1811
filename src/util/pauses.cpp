#include "util/pauses.h"

#include "util/signals.h"

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
    handle_signal(SIGCONT, count_continue, nullptr);
}

uint32_t pauses_so_far()
{
    return static_cast<uint32_t>(continues);
}
