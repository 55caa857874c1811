#include "control/wait.h"

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
    struct pollfd watched[2] = {{wakePipe[0], POLLIN, 0}, {fd, POLLIN, 0}};
    struct timespec timeout = {static_cast<time_t>(ns / 1000000000),
                               static_cast<long>(ns % 1000000000)};
    if (ppoll(watched, fd >= 0 ? 2 : 1, ns < 0 ? nullptr : &timeout, nullptr) > 0 &&
        (watched[0].revents & POLLIN) != 0)
        drain_wakes();
}
