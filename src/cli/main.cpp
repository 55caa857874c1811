// cuedeck: plays one PCM wave file, whole or in part, on an ALSA device.
#include <csignal>
#include <cstdint>
#include <fcntl.h>
#include <unistd.h>

#include "cli/args.h"
#include "control/remote.h"
#include "control/wait.h"
#include "player/player.h"

namespace {

// A standard descriptor left closed by the caller would go to the next file
// opened (the device's capture file, say), and the console text after it:
// /dev/null takes its place first. open() always takes the lowest free one.
void keep_standard_descriptors_open()
{
    for (int fd = 0; fd <= 2; ++fd) {
        if (fcntl(fd, F_GETFD) == -1 && open("/dev/null", O_RDWR) == -1)
            return;
    }
}

} // namespace

int main(int argc, char **argv)
{
    keep_standard_descriptors_open();
    open_the_wait(); // before any handler that wakes it

    // A reader of the console text that goes away (`cuedeck ... | head -1`)
    // must not silence the audio: the text is lost, the play goes on.
    std::signal(SIGPIPE, SIG_IGN);
    Arguments a{};
    read_arguments_or_exit(argc, argv, &a);
    if (a.oscPlace != nullptr)
        remote_listen_or_exit(a.oscPlace, a.oscReplyPort);
    // The wave attributes, filled by every probe of the file.
    uint32_t rate = 0;
    uint32_t bytesPerSample = 0;
    uint32_t channels = 0;
    uint32_t dataOffset = 0;
    uint32_t length = 0;
    PLAY(a.fileName, a.deviceName, rate, bytesPerSample, channels, dataOffset, length,
         a.startSeconds, a.stopSeconds, a.commandText, a.commandGiven, a.loops, a.showClock,
         a.startMarker, a.stopMarker, a.exact);
    return 0;
}
