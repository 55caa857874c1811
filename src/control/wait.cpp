#include "control/wait.h"

#include "control/remote.h"

#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

namespace {

// The self-pipe: handlers write a byte, the wait reads them all.
int wakePipe[2] = {-1, -1};

void drain_wakes()
{
    char bytes[64];
    while (read(wakePipe[0], bytes, sizeof bytes) > 0) {
    }
}

} // namespace

void open_the_wait()
{
    if (wakePipe[0] >= 0 || pipe(wakePipe) != 0)
        return;
    for (int fd : wakePipe)
        fcntl(fd, F_SETFL, O_NONBLOCK);
}

void wake_the_wait()
{
    int savedErrno = errno;
    if (wakePipe[1] >= 0) {
        char byte = 0;
        // A full pipe already wakes the wait.
        [[maybe_unused]] ssize_t wrote = write(wakePipe[1], &byte, 1);
    }
    errno = savedErrno;
}

void wait_for_input(int fd, int64_t ns)
{
    // The wake pipe, fd, and the remote's sockets and connections.
    struct pollfd watched[2 + 2 + OSC_MOST_CONNECTIONS] = {{wakePipe[0], POLLIN, 0},
                                                           {fd, POLLIN, 0}};
    int remoteCount = remote_fill_poll(watched + 2, 2 + OSC_MOST_CONNECTIONS);
    struct timespec timeout = {static_cast<time_t>(ns / 1000000000),
                               static_cast<long>(ns % 1000000000)};
    // A negative fd is left out of the poll by poll itself.
    if (ppoll(watched, 2 + static_cast<nfds_t>(remoteCount), ns < 0 ? nullptr : &timeout,
              nullptr) <= 0)
        return;
    if ((watched[0].revents & POLLIN) != 0)
        drain_wakes();
    remote_serve(watched + 2, remoteCount);
}
