#include "control/wait.h"

#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

namespace {

// The most descriptors one wait watches: the wake pipe, the terminal and
// the sources' (the remote's take 2 and a connection's each).
constexpr int MOST_WATCHED = 64;

struct Wait {
    // The self-pipe: handlers write a byte, the wait reads them all.
    int wakePipe[2] = {-1, -1};
    WaitSource sources[MOST_WAIT_SOURCES] = {};
    int sourceCount = 0;
} wait;

void drain_wakes()
{
    char bytes[64];
    while (read(wait.wakePipe[0], bytes, sizeof bytes) > 0) {
    }
}

} // namespace

void open_the_wait()
{
    if (wait.wakePipe[0] >= 0 || pipe(wait.wakePipe) != 0)
        return;
    for (int fd : wait.wakePipe)
        fcntl(fd, F_SETFL, O_NONBLOCK);
}

void wake_the_wait()
{
    int savedErrno = errno;
    if (wait.wakePipe[1] >= 0) {
        char byte = 0;
        // A full pipe already wakes the wait.
        [[maybe_unused]] ssize_t wrote = write(wait.wakePipe[1], &byte, 1);
    }
    errno = savedErrno;
}

bool wait_register(WaitSource source)
{
    if (wait.sourceCount == MOST_WAIT_SOURCES)
        return false;
    wait.sources[wait.sourceCount++] = source;
    return true;
}

void wait_for_input(int fd, int64_t ns)
{
    // The wake pipe, fd, then each source's descriptors.
    struct pollfd watched[MOST_WATCHED] = {{wait.wakePipe[0], POLLIN, 0}, {fd, POLLIN, 0}};
    int counts[MOST_WAIT_SOURCES] = {};
    int n = 2;
    for (int i = 0; i < wait.sourceCount; ++i) {
        counts[i] = wait.sources[i].fill(watched + n, MOST_WATCHED - n);
        n += counts[i];
    }
    struct timespec timeout = {static_cast<time_t>(ns / 1000000000),
                               static_cast<long>(ns % 1000000000)};
    // A negative fd is left out of the poll by poll itself.
    if (ppoll(watched, static_cast<nfds_t>(n), ns < 0 ? nullptr : &timeout, nullptr) <= 0)
        return;
    if ((watched[0].revents & POLLIN) != 0)
        drain_wakes();
    for (int i = 0, at = 2; i < wait.sourceCount; at += counts[i++])
        wait.sources[i].serve(watched + at, counts[i]);
}
