// The player: owns the file, the device and the selection for one run.
#pragma once
#include <cstdint>

// A marker number that names no marker: the seconds choose.
constexpr int32_t NO_MARKER = -1;

// Plays fileName on deviceName. The five wave attributes belong to the caller
// and are rewritten by every probe of the file. startSeconds and stopSeconds
// choose the first selection (0 means from the beginning and to the end);
// startMarker and stopMarker, where not NO_MARKER, choose it by the positions of
// the file's markers of those numbers instead, and a number that no marker
// has ends the process with status 2.
// When commandGiven is not 0, commandText is processed before the menu is
// shown; later commands are read into commandText (COMMAND_TEXT_SIZE bytes).
// With exact, a play ends on its stop frame and loops join without a gap
// (the menu's "e" turns it on and off).
// Returns after the run ends normally; fatal conditions end the process.
void PLAY(const char *fileName, const char *deviceName, uint32_t &rate, uint32_t &bytesPerSample,
          uint32_t &channels, uint32_t &dataOffset, uint32_t &length, float startSeconds,
          float stopSeconds, char *commandText, int32_t commandGiven, int32_t loops,
          int32_t showClock, int32_t startMarker, int32_t stopMarker, bool exact);
