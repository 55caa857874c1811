// Text from a file or the command line, made safe to print at a terminal:
// an escape sequence hidden in a label or a file name must not reach it.
#pragma once
#include <cstddef>

// Replaces each control character of text, in place, with '?': C0, DEL,
// and C1 both as a raw byte and encoded in UTF-8 (which takes two bytes,
// so the text may get shorter). Other UTF-8, and other bytes, stay.
void make_printable(char *text);

// Room for a file name as messages show it.
constexpr size_t SHOWN_NAME_SIZE = 1024;

// The same, into out (size bytes), cut to fit.
void printable_copy(const char *text, char *out, size_t size);
