// The remote's answers: replies to each request, and the feedback pushed
// to subscribers, each message with the subscriber's own sequence number
// first so that a lost datagram shows as a gap.
#include "control/remote_feedback.h"

#include <arpa/inet.h>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <lo/lo_lowlevel.h>

#include "util/clock.h"

namespace {

// The most subscribers; a further one is refused.
constexpr int MOST_SUBSCRIBERS = 16;

// Position messages a second, unless the subscriber names a rate.
constexpr int32_t USUAL_POSITIONS_PER_SECOND = 10;

// ... and at most: each costs the play a message's making and sending.
constexpr int32_t MOST_POSITIONS_PER_SECOND = 100;

struct Subscriber {
    bool used;
    OscPeer to;
    int32_t sent; // the last sequence number sent
    int32_t positionsPerSecond;
    int64_t nextPositionNs;
};

struct Feedback {
    Subscriber subscribers[MOST_SUBSCRIBERS];
    RemoteStatus status;
    bool statusSet;
    int32_t replyPort; // replies over UDP go to the sender's host here; 0: its port
} feedback;

// Sends the message to one peer; the message is freed.
void send_message(const OscPeer *to, const char *path, lo_message m)
{
    unsigned char packet[OSC_MOST_PACKET];
    size_t size = lo_message_length(m, path);
    if (size <= sizeof packet && lo_message_serialise(m, path, packet, &size) != nullptr)
        osc_send(to, packet, size);
    lo_message_free(m);
}

// Seconds as OSC floats: what a show controller shows.
float seconds_of(int32_t frames, uint32_t rate)
{
    return rate == 0 ? 0.0f : static_cast<float>(static_cast<double>(frames) / rate);
}

// The state's fields, as /cuedeck/state and the state reply carry them.
void add_status(lo_message m, const RemoteStatus &s)
{
    lo_message_add_string(m, s.state != nullptr ? s.state : "idle");
    lo_message_add_int32(m, s.start);
    lo_message_add_int32(m, s.stop);
    lo_message_add_float(m, seconds_of(s.start, s.rate));
    lo_message_add_float(m, seconds_of(s.stop, s.rate));
    lo_message_add_int32(m, s.loops);
    lo_message_add_int32(m, s.exact ? 1 : 0);
    lo_message_add_int32(m, s.marker);
}

// A new message with the subscriber's next sequence number.
lo_message numbered(Subscriber *s)
{
    lo_message m = lo_message_new();
    lo_message_add_int32(m, ++s->sent);
    return m;
}

// Whether the subscriber can still be reached: a closed connection ends
// its subscription.
bool reachable(Subscriber *s)
{
    if (s->used && !osc_peer_open(&s->to))
        s->used = false;
    return s->used;
}

// A message to every subscriber: its sequence number, then what
// add_arguments adds.
template <typename AddArguments>
void push(const char *path, AddArguments add_arguments)
{
    for (Subscriber &s : feedback.subscribers) {
        if (!reachable(&s))
            continue;
        lo_message m = numbered(&s);
        add_arguments(m);
        send_message(&s.to, path, m);
    }
}

void push_status(Subscriber *s)
{
    lo_message m = numbered(s);
    add_status(m, feedback.status);
    send_message(&s->to, "/cuedeck/state", m);
}

// The sender of a UDP request at another port (1 to 65535), or, for 0, as
// it is; a connection stays a connection.
OscPeer at_port(OscPeer to, int32_t port)
{
    if (to.connection >= 0 || port == 0)
        return to;
    auto inPort = htons(static_cast<uint16_t>(port));
    if (to.address.ss_family == AF_INET6)
        reinterpret_cast<sockaddr_in6 *>(&to.address)->sin6_port = inPort;
    else
        reinterpret_cast<sockaddr_in *>(&to.address)->sin_port = inPort;
    return to;
}

// Where a request's reply goes.
OscPeer reply_peer(const RemoteRequest *r)
{
    return at_port(r->from, feedback.replyPort);
}

// Where a subscriber's feedback goes: its connection, or, over UDP, its
// host at the port it named, else where replies go.
OscPeer feedback_peer(const RemoteRequest *r)
{
    return r->arguments < 2 ? reply_peer(r) : at_port(r->from, r->second);
}

bool same_peer(const OscPeer &a, const OscPeer &b)
{
    if (a.connection >= 0 || b.connection >= 0)
        return a.connection == b.connection && a.serial == b.serial;
    return a.addressSize == b.addressSize &&
           std::memcmp(&a.address, &b.address, a.addressSize) == 0;
}

Subscriber *subscriber_for(const OscPeer &to, bool make)
{
    Subscriber *free = nullptr;
    for (Subscriber &s : feedback.subscribers) {
        if (reachable(&s) && same_peer(s.to, to))
            return &s;
        if (!s.used && free == nullptr)
            free = &s;
    }
    if (!make || free == nullptr)
        return nullptr;
    *free = Subscriber{true, to, 0, 0, 0};
    return free;
}

void subscribe(const RemoteRequest *r)
{
    int32_t rate = r->arguments > 0 ? r->whole : USUAL_POSITIONS_PER_SECOND;
    if (rate < 0 || rate > MOST_POSITIONS_PER_SECOND) {
        remote_reply(r, false, "position messages per second: 0 to %i", MOST_POSITIONS_PER_SECOND);
        return;
    }
    if (r->arguments > 1 && (r->second < 1 || r->second > 65535)) {
        remote_reply(r, false, "the port to send to: 1 to 65535");
        return;
    }
    Subscriber *s = subscriber_for(feedback_peer(r), true);
    if (s == nullptr) {
        remote_reply(r, false, "busy: %i subscribers already", MOST_SUBSCRIBERS);
        return;
    }
    s->positionsPerSecond = rate;
    s->nextPositionNs = monotonic_ns();
    remote_reply(r, true, "subscribed, %i position messages a second", rate);
    push_status(s); // where things stand, to begin with
}

void state_reply(const RemoteRequest *r)
{
    lo_message m = lo_message_new();
    lo_message_add_string(m, r->address);
    lo_message_add_string(m, "ok");
    lo_message_add_string(m, "the state follows");
    add_status(m, feedback.status);
    OscPeer to = reply_peer(r);
    send_message(&to, "/cuedeck/reply", m);
}

} // namespace

bool remote_answered_here(const RemoteRequest *r)
{
    if (r->refusal != nullptr) {
        remote_reply(r, false, "%s", r->refusal);
        return true;
    }
    if (r->command == COMMAND_STATE) {
        state_reply(r);
    } else if (r->command == COMMAND_SUBSCRIBE) {
        subscribe(r);
    } else if (r->command == COMMAND_UNSUBSCRIBE) {
        Subscriber *s = subscriber_for(feedback_peer(r), false);
        if (s != nullptr)
            s->used = false;
        remote_reply(r, s != nullptr, s != nullptr ? "unsubscribed" : "not subscribed");
    }
    return r->command == COMMAND_STATE || r->command == COMMAND_SUBSCRIBE ||
           r->command == COMMAND_UNSUBSCRIBE;
}

void remote_last_words(int status)
{
    const char *state = feedback.status.state;
    if (status != 0 && state != nullptr && std::strcmp(state, "idle") != 0)
        remote_push_done("device error", status);
}

void remote_reply(const RemoteRequest *r, bool ok, const char *format, ...)
{
    char text[256];
    va_list args;
    va_start(args, format);
    std::vsnprintf(text, sizeof text, format, args);
    va_end(args);
    lo_message m = lo_message_new();
    lo_message_add_string(m, r->address != nullptr ? r->address : r->refusedAddress);
    lo_message_add_string(m, ok ? "ok" : "error");
    lo_message_add_string(m, text);
    OscPeer to = reply_peer(r);
    send_message(&to, "/cuedeck/reply", m);
}

void remote_reply_to_port(int32_t port)
{
    feedback.replyPort = port;
}

void remote_set_status(const RemoteStatus &status)
{
    const RemoteStatus &was = feedback.status;
    bool same = feedback.statusSet && was.state == status.state && was.start == status.start &&
                was.stop == status.stop && was.loops == status.loops && was.exact == status.exact &&
                was.marker == status.marker;
    feedback.status = status;
    feedback.statusSet = true;
    for (Subscriber &s : feedback.subscribers) {
        if (!same && reachable(&s))
            push_status(&s);
    }
}

void remote_push_pass(int32_t pass, int32_t passes)
{
    push("/cuedeck/pass", [&](lo_message m) {
        lo_message_add_int32(m, pass);
        lo_message_add_int32(m, passes);
    });
}

void remote_push_marker(int32_t number, const char *label)
{
    push("/cuedeck/marker", [&](lo_message m) {
        lo_message_add_int32(m, number);
        lo_message_add_string(m, label);
    });
}

void remote_push_done(const char *how, int32_t status)
{
    push("/cuedeck/done", [&](lo_message m) {
        lo_message_add_string(m, how);
        lo_message_add_int32(m, status);
    });
}

bool remote_has_subscribers()
{
    for (Subscriber &s : feedback.subscribers) {
        if (reachable(&s))
            return true;
    }
    return false;
}

int64_t remote_push_position(int32_t frame, double secondsLeft)
{
    int64_t now = monotonic_ns();
    int64_t soonest = -1;
    for (Subscriber &s : feedback.subscribers) {
        if (!reachable(&s) || s.positionsPerSecond == 0)
            continue;
        if (s.nextPositionNs <= now) {
            s.nextPositionNs = now + 1000000000 / s.positionsPerSecond;
            lo_message m = numbered(&s);
            lo_message_add_int32(m, frame);
            lo_message_add_float(m, static_cast<float>(secondsLeft));
            send_message(&s.to, "/cuedeck/position", m);
        }
        int64_t in = s.nextPositionNs - now;
        soonest = soonest < 0 || in < soonest ? in : soonest;
    }
    return soonest;
}
