// The command text: the buffer that the first command arrives in and every
// later command word is read into.
#pragma once
#include <cstdint>

// Its size, including the terminating zero.
constexpr uint32_t COMMAND_TEXT_SIZE = 256;
