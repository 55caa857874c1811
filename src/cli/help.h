// The help texts: the one shown at the file prompt, and the usage that
// --help prints.
#pragma once

// Prints the help text on standard output.
void Help();

// The usage that --help prints: arguments, examples, how to stop a play.
const char *usage_text();
