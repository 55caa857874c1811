// Words and whole numbers typed at the terminal, read the way scanf's "%s"
// and "%i" read them, but with every length and range defined: a word never
// overruns its buffer and a whole number saturates at the int32_t limits
// (scanf's own overflow is undefined).
#pragma once
#include <cstddef>
#include <cstdint>
#include <cstdio>

enum WordResult {
    WORD_READ,
    WORD_TOO_LONG, // the word was cut to capacity - 1 bytes; its rest was read and dropped
    WORD_END,      // end of input (or a read error) before any word
};

// One character of in, as getc reads it, except that a read a signal cut
// short (a pause's SIGCONT, under an emulator that doesn't restart it) is
// made again rather than taken for the end of input.
int console_getc(std::FILE *in);

// From now on, a read that would wait for the terminal calls wait first,
// which returns once input_waiting; nullptr: reads block as usual.
void console_wait_with(void (*wait)(std::FILE *in));

// Whether a read of in would not wait: bytes in its buffer, or at its
// descriptor.
bool input_waiting(std::FILE *in);

// Skips the white space that is there without waiting. True when what
// follows is a word or the end of input, which read_word then takes
// without waiting for more than the rest of its line.
bool word_waiting(std::FILE *in);

// Skips white space and reads one word into word[0..capacity-1].
WordResult read_word(std::FILE *in, char *word, size_t capacity);

// Reads a whole number as "%i" and "%li" do: an optional sign, then "0x" for
// hexadecimal, a leading 0 for octal, decimal otherwise. Beyond the int32_t
// range it gives the nearest end of the range. On false, the number stays
// untouched and the characters that could not start a number are left
// unread, so the next word read picks them up.
bool read_int32(std::FILE *in, int32_t *number);

// A marker's number as typed: "#" and a whole decimal number, nothing
// else. Beyond the int32_t range it gives the nearest end of the range.
bool marker_number(const char *word, int32_t *number);

// A whole number that strtol already converted, brought into the int32_t range
// (long has 64 bits on some machines and 32 on others).
int32_t clamp_to_int32(long value);
