// cuedeck: plays one PCM wave file, whole or in part, on an ALSA device.
#include <cstdint>

#include "cli/args.h"
#include "player/player.h"

int main(int argc, char **argv)
{
    Arguments a{};
    read_arguments(argc, argv, &a);
    // The wave attributes, filled by every probe of the file.
    uint32_t rate = 0;
    uint32_t bytesPerSample = 0;
    uint32_t channels = 0;
    uint32_t dataOffset = 0;
    uint32_t length = 0;
    PLAY(a.fileName, a.deviceName, rate, bytesPerSample, channels, dataOffset, length,
         a.startSeconds, a.stopSeconds, a.commandText, a.commandGiven, a.loops, a.showClock);
    return 0;
}
