// The one way a check ends the process: a message, then an exit status;
// and the one way to warn.
#pragma once
#include <cstdio>

// Prints the printf-style message on stream, then ends the process with
// status. Every check that may end the run calls it, and keeps an _or_exit
// name so that its callers can see it.
[[noreturn]] void exit_with_message(std::FILE *stream, int status, const char *format, ...)
    __attribute__((format(printf, 3, 4)));

// Has words(status) called by exit_with_message, after its message and
// before the exit: the last a listener hears.
void before_exit_with_message(void (*words)(int status));

// Prints the printf-style message on standard error; the run goes on.
void tell(const char *format, ...) __attribute__((format(printf, 1, 2)));

// Prints "Warning: " and the printf-style warning on standard error; the
// run goes on.
void warn(const char *format, ...) __attribute__((format(printf, 1, 2)));
