// The one way the program installs a signal handler, reads one and puts
// one back.
#pragma once
#include <signal.h>

// Installs handler for sig, with SA_RESTART (console reads and writes carry
// on after it) and no other signal blocked, and keeps the earlier action in
// *old when old is not null. False when it could not be installed.
bool handle_signal(int sig, void (*handler)(int), struct sigaction *old);

// The action sig has now, into *now. False when it can't be read.
bool signal_action(int sig, struct sigaction *now);

// Puts back an action that signal_action or handle_signal kept.
void restore_signal(int sig, const struct sigaction *old);

// Does now what sig does by default (a stop: returns once continued, sig
// blocked and its action the default). Safe in sig's own handler.
void act_by_default(int sig);

// Ends the process by sig, as its default action would have (status 128 +
// sig for one whose default does not end it). Safe in a signal handler.
[[noreturn]] void die_by_signal(int sig);
