#include "cli/help.h"

#include <cstdio>

void Help()
{
    std::puts("");
    std::puts("\nThis program will play mono or stereo, 16 or 24 bit wave files.");
    std::puts("You will be able to play the entire file or set start and stop points.");
    std::puts("Press 'enter' after your choices.");
    std::puts("\nSound will be sent to the default alsa soundcard unless you enter a device name\n"
              "such as plughw:0,0 as the first argument when you first run the application.\n"
              "For example, cuedeck plughw:0,0");
    std::puts("\nAdditional Command Line Arguments:\n");
    std::puts("These are optional, but if you need argument 3 for example,\n"
              "you need to enter arguments 1 and 2 as well.\n");
    std::puts("The name of the wavefile is the 2nd argument.\n"
              "In this case, you may wish to use the shortcut 'd' for the first argument\n"
              "to use the default soundcard. For example, cuedeck d song1.wav\n");
    std::puts("The 3rd argument is the start time\n");
    std::puts("The 4th argument is the stop time\n");
    std::puts("Adding a 5th argument will skip the first interactive dialog and use the\n"
              "5th argument as the command.  So, entering 'p' will start playback immediately.\n\n"
              "'px' will play once or the set number of loops and exit.\n\n"
              "'w' will overwrite the in and out times and play the whole file.\n\n"
              "'wx' will play the whole file once or the set number of loops and exit.\n");
    std::puts("The 6th argument can set the number of loops, 1 = play once");
    std::puts("The 7th argument if set to 0 hides the clock");
}
