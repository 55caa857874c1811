// The help texts: the one shown at the file prompt, and the usage that
// --help prints.
#pragma once
#include <cstdio>

// Prints the help text on standard output.
void Help();

// Prints the usage on stream: arguments, examples, how to stop a play.
void print_usage(std::FILE *stream);
