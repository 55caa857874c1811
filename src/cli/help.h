// The help text shown at the file prompt.
#pragma once

// Prints the help text on standard output.
void Help();
