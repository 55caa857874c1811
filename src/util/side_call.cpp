#include "util/side_call.h"

#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <unistd.h>

namespace {

void *run_call(void *side)
{
    auto *c = static_cast<SideCall *>(side);
    c->call(c->argument);
    // Nothing to do if it fails: the pipe lives as long as the side call.
    char done = 0;
    [[maybe_unused]] ssize_t wrote = write(c->done[1], &done, 1);
    return nullptr;
}

} // namespace

void side_call_init(SideCall *c)
{
    c->running = false;
    if (pipe(c->done) != 0)
        c->done[0] = c->done[1] = -1;
}

void side_call_start(SideCall *c, void (*call)(void *), void *argument)
{
    c->call = call;
    c->argument = argument;
    c->running = true;
    sigset_t all;
    sigset_t before;
    sigfillset(&all);
    pthread_sigmask(SIG_SETMASK, &all, &before);
    pthread_t helper;
    bool started = c->done[0] >= 0 && pthread_create(&helper, nullptr, run_call, c) == 0;
    pthread_sigmask(SIG_SETMASK, &before, nullptr);
    if (started) {
        pthread_detach(helper);
        return;
    }
    call(argument);
    c->running = false;
}

namespace {

// Takes the helper's byte once the call has returned, waiting for it up to
// timeout (null: without end) with the signal mask `during`.
void take_done(SideCall *c, const struct timespec *timeout, const sigset_t *during)
{
    struct pollfd done = {c->done[0], POLLIN, 0};
    char byte = 0;
    if (ppoll(&done, 1, timeout, during) > 0 && read(c->done[0], &byte, 1) == 1)
        c->running = false;
}

} // namespace

bool side_call_wait(SideCall *c, const volatile std::sig_atomic_t *stop)
{
    // Before every write of a period: with no call running, no mask to
    // change, and no system call at all.
    if (!c->running)
        return true;
    sigset_t interrupt;
    sigset_t before;
    sigemptyset(&interrupt);
    sigaddset(&interrupt, SIGINT);
    pthread_sigmask(SIG_BLOCK, &interrupt, &before);
    while (c->running && !(stop != nullptr && *stop != 0))
        take_done(c, nullptr, &before);
    pthread_sigmask(SIG_SETMASK, &before, nullptr);
    return !c->running;
}

bool side_call_done_within(SideCall *c, int ms)
{
    struct timespec timeout = {ms / 1000, (ms % 1000) * 1000000L};
    if (c->running)
        take_done(c, &timeout, nullptr);
    return !c->running;
}

void side_call_close(SideCall *c)
{
    side_call_wait(c, nullptr);
    for (int fd : c->done) {
        if (fd >= 0)
            close(fd);
    }
}
