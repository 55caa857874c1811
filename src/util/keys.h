// Single keys read at the terminal while a play runs: no Enter, no echo.
// The terminal is set so only between keys_begin and keys_end, and its
// settings are put back on every way out: the end, an exit, SIGINT,
// SIGTERM and SIGHUP; Ctrl-Z puts them back while the program is stopped
// and sets the keys again when it goes on.
#pragma once

// When standard input is a terminal and the program is not a background
// job of its shell, sets it for single keys and returns true; otherwise
// changes nothing, and no key is ever read.
bool keys_begin();

// The next key typed, or -1 when none is waiting. Never waits.
int next_key();

// Puts the terminal back as keys_begin found it, and drops what was typed
// but not read: nothing typed during a play becomes a command.
void keys_end();
