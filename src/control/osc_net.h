// The remote's sockets: one UDP socket and one TCP listener, bound to the
// address asked for (loopback unless a host is given), and the TCP
// connections they accept. Packets go whole to a handler; replies and
// feedback go back the way a peer came. OSC over TCP is framed with a
// 32-bit size before each packet (OSC 1.0), or with SLIP (OSC 1.1), as the
// peer's first byte shows.
#pragma once
#include <cstddef>
#include <cstdint>
#include <poll.h>
#include <sys/socket.h>

// The largest packet taken: a UDP datagram's most, and a TCP frame's.
constexpr size_t OSC_MOST_PACKET = 65536;

// The most TCP connections open at once; one more is closed at once.
constexpr int OSC_MOST_CONNECTIONS = 16;

// Where a packet came from, and where its reply goes: a TCP connection
// (by its slot and descriptor), or a UDP sender's address.
struct OscPeer {
    int connection;  // the TCP connection's slot, or -1 for UDP
    uint32_t serial; // ... the connection's own number: a slot is reused
    struct sockaddr_storage address;
    socklen_t addressSize;
};

// Binds the UDP socket and the TCP listener to where: "PORT", "HOST:PORT"
// or "[IPv6]:PORT"; without a host, 127.0.0.1. Port 0 takes a free port,
// the same for both. False with the reason in problem.
bool osc_listen(const char *where, char *problem, size_t size);

// Whether where is no place osc_listen takes (a typing error, not a
// network's refusal).
bool osc_place_is_malformed(const char *where);

// Whether osc_listen has bound the sockets.
bool osc_listening();

// The port and address bound, as "HOST:PORT", for the start-up line.
void osc_describe(char *out, size_t size);

// The descriptors to watch: fills up to room and returns how many.
int osc_fill_poll(struct pollfd *fds, int room);

// The packets that arrived, each handed to handler; takes connections.
// fds are the ones osc_fill_poll filled, with the poll's answers.
void osc_take_packets(const struct pollfd *fds, int count,
                      void (*handler)(const OscPeer *from, unsigned char *packet, size_t size));

// Sends a packet to a peer: a datagram from the bound port, or a frame on
// the connection. A connection that can't take it at once is closed: a
// client that reads nothing must not hold up the play.
void osc_send(const OscPeer *to, const void *packet, size_t size);

// Whether the peer's connection is still open (always true for UDP).
bool osc_peer_open(const OscPeer *peer);
