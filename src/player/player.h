// The player: owns the file, the device and the selection for one run.
#pragma once
#include <cstdint>

// Plays fileName on deviceName. The five wave attributes belong to the caller
// and are rewritten by every probe of the file. startSeconds and stopSeconds
// choose the first selection (0 means from the beginning and to the end).
// When commandGiven is not 0, commandText is processed before the menu is
// shown; later commands are read into commandText (COMMAND_TEXT_SIZE bytes).
// Returns after the run ends normally; fatal conditions end the process.
void PLAY(const char *fileName, const char *deviceName, uint32_t &rate, uint32_t &bytesPerSample,
          uint32_t &channels, uint32_t &dataOffset, uint32_t &length, float startSeconds,
          float stopSeconds, char *commandText, int32_t commandGiven, int32_t loops,
          int32_t showClock);
