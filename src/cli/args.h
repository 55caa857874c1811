// The command line and the file prompt: everything main hands to the player.
#pragma once
#include <cstdint>

#include "util/text_sizes.h"

struct Arguments {
    char deviceName[DEVICE_NAME_SIZE];
    char fileName[FILE_NAME_SIZE];
    char commandText[COMMAND_TEXT_SIZE];
    float startSeconds;  // 0: from the beginning
    float stopSeconds;   // 0: to the end of the file
    int32_t startMarker; // from START as "#N": marker N's position (or NO_MARKER)
    int32_t stopMarker;  // from STOP as "#N"
    int32_t loops;
    int32_t showClock; // 0 hides the clock
    int32_t commandGiven;
    bool exact;           // --exact or -e
    const char *oscPlace; // --osc PLACE: where the remote listens, or nullptr
    int32_t oscReplyPort; // --osc-reply-port PORT: where replies go, or 0
};

// Fills *a from the options --exact (or -e), --osc PLACE and --osc-reply-port
// PORT, wherever they stand before a
// "--", and up to seven positional arguments: device ("d" for the default),
// file, start, stop (seconds, or "#N" for marker N), first command, loops,
// clock. Without a file argument it asks for the file name at the terminal.
// Ends the process with status 0 after --help, -h or --version; with status
// 2 for another option, for an --osc place that is no port nor
// HOST:PORT, and for a reply port outside 1 to 65535; with status 1 on "x" or end of input at the
// prompt, and when the device name is too long (status 2 for a file name too long).
void read_arguments_or_exit(int argc, char **argv, Arguments *a);
