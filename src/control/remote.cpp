// The remote's messages: packets taken apart (bundles into their
// messages), each message matched against the address table and its
// arguments checked, then queued for the player or answered here.
#include "control/remote.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <lo/lo_lowlevel.h>

#include "control/remote_feedback.h"
#include "control/wait.h"
#include "util/fatal.h"

namespace {

// The shapes of arguments an address takes: "w" a whole number (OSC i or
// h), "s" seconds (f or d), "b" a flag (T or F, with no data); each
// address lists up to three shapes.
struct Address {
    const char *address;
    Command command;
    const char *shapes[3];
};

const Address ADDRESSES[] = {
    {"/cuedeck/go", COMMAND_PLAY, {"", "w", "ss"}},
    {"/cuedeck/load", COMMAND_ARM, {"", "w", "ss"}},
    {"/cuedeck/arm", COMMAND_ARM, {"", "w", "ss"}}, // the load's older name
    {"/cuedeck/stop", COMMAND_STOP, {""}},
    {"/cuedeck/next", COMMAND_HAND_ON, {""}},
    {"/cuedeck/prev", COMMAND_HAND_BACK, {""}},
    {"/cuedeck/release", COMMAND_RELEASE, {""}},
    {"/cuedeck/pause", COMMAND_PAUSE, {""}},
    {"/cuedeck/resume", COMMAND_RESUME, {""}},
    {"/cuedeck/in", COMMAND_SET_IN, {"s", "w"}},
    {"/cuedeck/out", COMMAND_SET_OUT, {"s", "w"}},
    {"/cuedeck/loops", COMMAND_SET_LOOPS, {"w"}},
    {"/cuedeck/exact", COMMAND_SET_EXACT, {"w", "b"}},
    {"/cuedeck/state", COMMAND_STATE, {""}},
    {"/cuedeck/subscribe", COMMAND_SUBSCRIBE, {"", "w", "ww"}},
    {"/cuedeck/unsubscribe", COMMAND_UNSUBSCRIBE, {""}},
    {"/cuedeck/exit", COMMAND_EXIT, {""}},
};

// Requests wait here for the player; more are refused as busy.
constexpr int QUEUE_SIZE = 64;

// Bundles inside bundles, at most.
constexpr int MOST_BUNDLE_DEPTH = 8;

struct Queue {
    RemoteRequest items[QUEUE_SIZE];
    int first;
    int count;
} queue;

// An argument type's shape letter, or 0 for a type no address takes.
char shape_of(char type)
{
    if (type == LO_INT32 || type == LO_INT64)
        return 'w';
    if (type == LO_FLOAT || type == LO_DOUBLE)
        return 's';
    if (type == LO_TRUE || type == LO_FALSE)
        return 'b';
    return 0;
}

bool shape_fits(const Address &a, const char *types)
{
    char shape[8] = "";
    size_t n = std::strlen(types);
    if (n >= sizeof shape)
        return false;
    for (size_t i = 0; i < n; ++i) {
        shape[i] = shape_of(types[i]);
        if (shape[i] == 0)
            return false;
    }
    shape[n] = '\0';
    for (const char *s : a.shapes) {
        if (s != nullptr && std::strcmp(s, shape) == 0)
            return true;
    }
    return false;
}

// The one address a path (which may be a pattern) names, or nullptr;
// *matches counts those it names.
const Address *address_named(const char *path, int *matches)
{
    const Address *found = nullptr;
    *matches = 0;
    for (const Address &a : ADDRESSES) {
        if (lo_pattern_match(a.address, path) != 0) {
            found = &a;
            *matches += 1;
        }
    }
    return *matches == 1 ? found : nullptr;
}

// liblo's arguments lie in its packet at 4-byte steps: an 8-byte one may
// be misaligned for lo_arg, so each is copied out by its own type.
template <typename T>
T argument_at(lo_arg **argv, int i)
{
    T value;
    std::memcpy(&value, argv[i], sizeof value);
    return value;
}

// A whole number argument in the int32_t range, saturated beyond it.
int32_t whole_at(lo_arg **argv, const char *types, int i)
{
    int64_t v =
        types[i] == LO_INT64 ? argument_at<int64_t>(argv, i) : argument_at<int32_t>(argv, i);
    return v > INT32_MAX ? INT32_MAX : v < INT32_MIN ? INT32_MIN : static_cast<int32_t>(v);
}

double seconds_at(lo_arg **argv, const char *types, int i)
{
    return types[i] == LO_DOUBLE ? argument_at<double>(argv, i) : argument_at<float>(argv, i);
}

// The request's arguments, from a message whose shape fits its address.
void take_arguments(RemoteRequest *r, lo_message m)
{
    const char *types = lo_message_get_types(m);
    lo_arg **argv = lo_message_get_argv(m);
    int argc = lo_message_get_argc(m);
    r->arguments = argc;
    for (int i = 0; i < argc && i < 2; ++i) {
        if (shape_of(types[i]) == 's') {
            r->hasSeconds = true;
            r->seconds[i] = seconds_at(argv, types, i);
        } else if (shape_of(types[i]) == 'b') {
            r->whole = types[i] == LO_TRUE ? 1 : 0;
        } else if (i == 0) {
            r->whole = whole_at(argv, types, i);
            r->marker = r->whole;
        } else {
            r->second = whole_at(argv, types, i);
        }
    }
}

void queue_request(const RemoteRequest &r)
{
    if (queue.count == QUEUE_SIZE) {
        remote_reply(&r, false, "busy: %i commands are waiting", QUEUE_SIZE);
        return;
    }
    queue.items[(queue.first + queue.count) % QUEUE_SIZE] = r;
    queue.count += 1;
}

// A refusal is answered in its turn, as every message is.
void refuse(const OscPeer *from, const char *path, const char *why)
{
    RemoteRequest r{};
    std::snprintf(r.refusedAddress, sizeof r.refusedAddress, "%s", path);
    r.refusal = why;
    r.from = *from;
    queue_request(r);
}

void take_message(const OscPeer *from, unsigned char *data, size_t size)
{
    const char *path = lo_get_path(data, static_cast<ssize_t>(size));
    int result = 0;
    lo_message m = lo_message_deserialise(data, size, &result);
    if (path == nullptr || m == nullptr) {
        refuse(from, path == nullptr ? "" : path, "not an OSC message");
        if (m != nullptr)
            lo_message_free(m);
        return;
    }
    int matches = 0;
    const Address *a = address_named(path, &matches);
    if (a == nullptr)
        refuse(from, path,
               matches == 0 ? "no such address" : "the pattern names more than one address");
    else if (!shape_fits(*a, lo_message_get_types(m)))
        refuse(from, a->address, "wrong arguments for this address");
    else {
        RemoteRequest r{};
        r.command = a->command;
        r.address = a->address;
        r.from = *from;
        take_arguments(&r, m);
        queue_request(r);
    }
    lo_message_free(m);
}

uint32_t big_endian32(const unsigned char *b)
{
    return (uint32_t{b[0]} << 24) | (uint32_t{b[1]} << 16) | (uint32_t{b[2]} << 8) | b[3];
}

// A bundle's elements, in order: "#bundle", a time tag (not waited for:
// every message acts when it arrives), then sized elements.
void take_element(const OscPeer *from, unsigned char *data, size_t size, int depth)
{
    constexpr size_t HEADER = 16;
    if (size < 8 || std::memcmp(data, "#bundle", 8) != 0) {
        take_message(from, data, size);
        return;
    }
    if (depth >= MOST_BUNDLE_DEPTH || size < HEADER) {
        refuse(from, "#bundle",
               depth >= MOST_BUNDLE_DEPTH ? "bundles nested too deep" : "not an OSC bundle");
        return;
    }
    for (size_t at = HEADER; at < size;) {
        uint32_t length = size - at >= 4 ? big_endian32(data + at) : 0;
        if (size - at < 4 || length > size - at - 4 || length % 4 != 0) {
            refuse(from, "#bundle", "an element of the bundle is cut short");
            return;
        }
        take_element(from, data + at + 4, length, depth + 1);
        at += 4 + size_t{length};
    }
}

// What the remote's sockets brought, for the wait.
void serve_packets(const struct pollfd *fds, int count)
{
    osc_take_packets(fds, count, remote_take_packet);
}

} // namespace

void remote_take_packet(const OscPeer *from, unsigned char *packet, size_t size)
{
    if (size > OSC_MOST_PACKET)
        refuse(from, "", "the packet is too long");
    else
        take_element(from, packet, size, 0);
}

void remote_listen_or_exit(const char *where, int32_t replyPort)
{
    remote_reply_to_port(replyPort);
    char problem[128] = "";
    if (!osc_listen(where, problem, sizeof problem))
        exit_with_message(stderr, 1, "cuedeck: can't listen for OSC at %s: %s\n", where, problem);
    char place[80];
    osc_describe(place, sizeof place);
    tell("cuedeck: listening for OSC at %s (UDP and TCP)\n", place);
    wait_register(WaitSource{osc_fill_poll, serve_packets});
    before_exit_with_message(remote_last_words);
}

bool remote_on()
{
    return osc_listening();
}

bool remote_peek(RemoteRequest *request)
{
    // In their turn, so that a state asked after a change shows it.
    while (queue.count > 0 && remote_answered_here(&queue.items[queue.first])) {
        queue.first = (queue.first + 1) % QUEUE_SIZE;
        queue.count -= 1;
    }
    if (queue.count == 0)
        return false;
    *request = queue.items[queue.first];
    return true;
}

bool remote_next(RemoteRequest *request)
{
    if (!remote_peek(request))
        return false;
    queue.first = (queue.first + 1) % QUEUE_SIZE;
    queue.count -= 1;
    return true;
}
