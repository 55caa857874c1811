// What the player holds while it runs, shared by its start-up, command loop,
// play pass and shut-down.
#pragma once
#include <cstdint>
#include <cstdio>

#include "player/pcm.h"
#include "player/player.h"
#include "player/selection.h"

// The attributes the first probe found, which every later probe is held to.
struct Baseline {
    uint32_t rate;
    uint32_t bytesPerSample;
    uint32_t channels;
    uint32_t length;
};

// The caller's wave attributes, rewritten by every probe.
struct WaveAttributes {
    uint32_t *rate;
    uint32_t *bytesPerSample;
    uint32_t *channels;
    uint32_t *dataOffset;
    uint32_t *length;
};

struct Player {
    const char *fileName;
    WaveAttributes wave;
    Baseline baseline;
    std::FILE *data;       // the read handle all samples come through
    PcmDevice *pcm;
    uint32_t period;       // frames per period, as the device granted
    unsigned char *buffer; // one period, sized for the wider of file and device frame
    uint32_t bufferBytes;
    Selection selection;
    int32_t loops;
    int32_t showClock;
    int32_t nudge;         // frames that the nudge commands move by
    char *commandText;
    int32_t commandGiven;
};

// Probes the file again and holds it to the baseline: a changed rate, sample
// width or channel count ends the process with status 1; a changed length
// is reported and the stop pulled back to it.
void recheck_file(Player *p);

// Prints the play header and plays the selection `loops` times.
void play_selection(Player *p);

// Drains and closes the device, frees the period buffer, closes the file.
void shut_down(Player *p);

// Menu and commands, from the first command to the end of the run.
void run_command_loop(Player *p);
