// The remote: OSC messages, over UDP and TCP, as one more source of the
// player's commands. Each message becomes a request, queued for the player
// to apply where it applies the same menu word or key, and every request
// gets a reply. Subscribers get the state, the passes, the position and
// the end of each play pushed to them.
#pragma once
#include <cstddef>
#include <cstdint>
#include <poll.h>

#include "control/commands.h"
#include "control/osc_net.h"

// What a message asks, with its arguments.
struct RemoteRequest {
    Command command;
    const char *address; // as the address table spells it
    int arguments;       // how many the message had
    int32_t marker;      // a marker's number (from 1), or 0 for none
    bool hasSeconds;     // seconds[0] (and, for a go or an arm, seconds[1]) were given
    double seconds[2];
    int32_t whole;           // loops, exact, a subscriber's position messages per second
    int32_t second;          // a second whole number: the subscriber's port
    const char *refusal;     // why the message is refused, or nullptr
    char refusedAddress[64]; // ... its address, as far as it goes, where none of the table's
    OscPeer from;
};

// Listens where asked ("PORT", "HOST:PORT"), or ends the process with
// status 1. Says on standard error where it listens. Over UDP, replies go
// to the sender's host at replyPort, and so does the feedback of a
// subscriber that names no port; where replyPort is 0, back to the port
// each message came from.
void remote_listen_or_exit(const char *where, int32_t replyPort);

// Whether the remote listens.
bool remote_on();

// One packet as it arrived from a peer: its messages queued, or answered.
void remote_take_packet(const OscPeer *from, unsigned char *packet, size_t size);

// The next request queued for the player, taken (or only looked at);
// false when none is. The requests before it that the remote answers
// itself (the state, a subscription) are answered on the way, in turn.
bool remote_next(RemoteRequest *request);
bool remote_peek(RemoteRequest *request);

// Answers a request: /cuedeck/reply with its address, "ok" or "error" and
// the printf-style text.
void remote_reply(const RemoteRequest *r, bool ok, const char *format, ...)
    __attribute__((format(printf, 3, 4)));

// What the player is doing and with what, as /cuedeck/state tells it.
struct RemoteStatus {
    const char *state; // "idle", "armed", "playing", "paused"
    int32_t start;     // the selection, in frames
    int32_t stop;
    uint32_t rate;
    int32_t loops;
    bool exact;
    int32_t marker; // the marker the selection starts at (from 1), or 0
};

// The player's status from now on: pushed to subscribers when it changed.
void remote_set_status(const RemoteStatus &status);

// Feedback to every subscriber, each message with the subscriber's own
// sequence number first.
void remote_push_pass(int32_t pass, int32_t passes);
void remote_push_marker(int32_t number, const char *label);
void remote_push_done(const char *how, int32_t status);

// Whether anyone is told the feedback.
bool remote_has_subscribers();

// The frame being heard and the seconds left, to each subscriber whose
// next position message is due. Returns the time until the next is due, in
// ns, or -1 when no one takes them.
int64_t remote_push_position(int32_t frame, double secondsLeft);
