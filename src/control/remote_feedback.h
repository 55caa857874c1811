// Inside the remote: what is answered without the player (the state, a
// subscription), and the subscribers that feedback goes to.
#pragma once

#include "control/remote.h"

// Answers a state request or a subscription at once; false for a request
// the player is to apply.
bool remote_answered_here(const RemoteRequest *r);

// Where replies go over UDP: the sender's host at this port, or, for 0,
// the port each message came from.
void remote_reply_to_port(int32_t port);

// At an exit that ends a play (a device that failed): the play's end, told
// to the subscribers.
void remote_last_words(int status);
