// The one way the program installs a signal handler.
#pragma once
#include <signal.h>

// Installs handler for sig, with SA_RESTART (console reads and writes carry
// on after it) and no other signal blocked, and keeps the earlier action in
// *old when old is not null. False when it could not be installed.
bool handle_signal(int sig, void (*handler)(int), struct sigaction *old);
