// The sizes of the program's text buffers, each including the terminating
// zero: what the command line, the prompts and the device share.
#pragma once
#include <cstdint>

constexpr uint32_t DEVICE_NAME_SIZE = 64;
constexpr uint32_t FILE_NAME_SIZE = 256;
constexpr uint32_t COMMAND_TEXT_SIZE = 256;
