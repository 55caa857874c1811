#include "control/osc_net.h"

#include <arpa/inet.h>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <unistd.h>

#include "control/osc_stream.h"

namespace {

// The datagrams taken at one wake-up: a flood must leave the device its turn.
constexpr int MOST_DATAGRAMS_AT_ONCE = 64;

// One TCP connection and the packet it is reading.
struct Connection {
    int fd;
    uint32_t serial;
    OscStream stream;
};

struct Sockets {
    int udp = -1;
    int listener = -1;
    struct sockaddr_storage bound {};
    Connection *connections[OSC_MOST_CONNECTIONS] = {};
    uint32_t connectionsMade = 0;
} sockets;

using PacketHandler = void (*)(const OscPeer *, unsigned char *, size_t);

// "HOST:PORT", "[V6]:PORT" or "PORT" split; false when the port is missing.
bool split_where(const char *where, char *host, size_t hostSize, const char **port)
{
    const char *colon = std::strrchr(where, ':');
    std::snprintf(host, hostSize, "127.0.0.1");
    *port = colon == nullptr ? where : colon + 1;
    if (colon != nullptr) {
        const char *from = where[0] == '[' ? where + 1 : where;
        size_t length = static_cast<size_t>(colon - from) - (where[0] == '[' ? 1 : 0);
        if (length == 0 || length >= hostSize)
            return false;
        std::memcpy(host, from, length);
        host[length] = '\0';
    }
    char *end = nullptr;
    long number = std::strtol(*port, &end, 10);
    return end != *port && *end == '\0' && number >= 0 && number <= 65535;
}

int bound_socket(const char *host, const char *port, int type, char *problem, size_t size)
{
    struct addrinfo hints {};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = type;
    hints.ai_flags = AI_PASSIVE | AI_NUMERICSERV;
    struct addrinfo *found = nullptr;
    int rc = getaddrinfo(host, port, &hints, &found);
    if (rc != 0) {
        std::snprintf(problem, size, "%s", gai_strerror(rc));
        return -1;
    }
    int fd = socket(found->ai_family, found->ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    int on = 1;
    if (fd >= 0 && type == SOCK_STREAM)
        setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    if (fd < 0 || bind(fd, found->ai_addr, found->ai_addrlen) != 0 ||
        (type == SOCK_STREAM && listen(fd, OSC_MOST_CONNECTIONS) != 0)) {
        std::snprintf(problem, size, "%s", std::strerror(errno));
        if (fd >= 0)
            close(fd);
        fd = -1;
    }
    freeaddrinfo(found);
    return fd;
}

uint16_t bound_port()
{
    const auto *a = &sockets.bound;
    if (a->ss_family == AF_INET6)
        return ntohs(reinterpret_cast<const sockaddr_in6 *>(a)->sin6_port);
    return ntohs(reinterpret_cast<const sockaddr_in *>(a)->sin_port);
}

void close_connection(int slot)
{
    Connection *c = sockets.connections[slot];
    close(c->fd);
    std::free(c);
    sockets.connections[slot] = nullptr;
}

void accept_connection()
{
    int fd = accept4(sockets.listener, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
    if (fd < 0)
        return;
    for (auto &slot : sockets.connections) {
        if (slot == nullptr) {
            slot = static_cast<Connection *>(std::calloc(1, sizeof(Connection)));
            if (slot == nullptr)
                break;
            slot->fd = fd;
            slot->serial = ++sockets.connectionsMade;
            return;
        }
    }
    close(fd); // no room: the peer sees the connection closed
}

void take_datagrams(PacketHandler handler)
{
    static unsigned char packet[OSC_MOST_PACKET];
    for (int i = 0; i < MOST_DATAGRAMS_AT_ONCE; ++i) {
        OscPeer from{};
        from.connection = -1;
        from.addressSize = sizeof from.address;
        ssize_t got = recvfrom(sockets.udp, packet, sizeof packet, MSG_DONTWAIT | MSG_TRUNC,
                               reinterpret_cast<sockaddr *>(&from.address), &from.addressSize);
        if (got < 0)
            return;
        // A datagram longer than the buffer arrives cut: its size tells.
        handler(&from, packet,
                static_cast<size_t>(got) <= sizeof packet ? static_cast<size_t>(got)
                                                          : sizeof packet + 1);
    }
}

void hand_on_packet(int slot, PacketHandler handler)
{
    Connection *c = sockets.connections[slot];
    OscPeer from{};
    from.connection = slot;
    from.serial = c->serial;
    // An overlong packet is handed on as one byte too many: refused by size.
    handler(&from, c->stream.bytes, c->stream.overlong ? OSC_MOST_PACKET + 1 : c->stream.have);
    c = sockets.connections[slot]; // a reply that failed closes it
    if (c != nullptr)
        osc_stream_packet_taken(&c->stream);
}

void take_stream(int slot, PacketHandler handler)
{
    unsigned char bytes[4096];
    Connection *c = sockets.connections[slot];
    ssize_t got = read(c->fd, bytes, sizeof bytes);
    if (got == 0 || (got < 0 && errno != EAGAIN && errno != EINTR)) {
        close_connection(slot);
        return;
    }
    for (ssize_t i = 0; i < got && sockets.connections[slot] == c; ++i) {
        if (osc_stream_byte(&c->stream, bytes[i]))
            hand_on_packet(slot, handler);
    }
}

void send_on_connection(int slot, const void *packet, size_t size)
{
    static unsigned char framed[OSC_MOST_FRAMED];
    Connection *c = sockets.connections[slot];
    if (size > OSC_MOST_PACKET)
        return;
    size_t n =
        osc_stream_frame(&c->stream, static_cast<const unsigned char *>(packet), size, framed);
    ssize_t sent = send(c->fd, framed, n, MSG_DONTWAIT | MSG_NOSIGNAL);
    if (sent != static_cast<ssize_t>(n))
        close_connection(slot);
}

} // namespace

bool osc_listen(const char *where, char *problem, size_t size)
{
    char host[256];
    const char *port = nullptr;
    if (!split_where(where, host, sizeof host, &port)) {
        std::snprintf(problem, size, "give a port, or HOST:PORT");
        return false;
    }
    sockets.udp = bound_socket(host, port, SOCK_DGRAM, problem, size);
    if (sockets.udp < 0)
        return false;
    socklen_t length = sizeof sockets.bound;
    getsockname(sockets.udp, reinterpret_cast<sockaddr *>(&sockets.bound), &length);
    // Port 0: TCP takes the port UDP was given.
    char udpPort[8];
    std::snprintf(udpPort, sizeof udpPort, "%u", bound_port());
    sockets.listener = bound_socket(host, udpPort, SOCK_STREAM, problem, size);
    if (sockets.listener < 0) {
        close(sockets.udp);
        sockets.udp = -1;
    }
    return sockets.listener >= 0;
}

bool osc_place_is_malformed(const char *where)
{
    char host[256];
    const char *port = nullptr;
    return !split_where(where, host, sizeof host, &port);
}

bool osc_listening()
{
    return sockets.udp >= 0;
}

void osc_describe(char *out, size_t size)
{
    char host[INET6_ADDRSTRLEN] = "?";
    const auto *a = &sockets.bound;
    if (a->ss_family == AF_INET6)
        inet_ntop(AF_INET6, &reinterpret_cast<const sockaddr_in6 *>(a)->sin6_addr, host,
                  sizeof host);
    else
        inet_ntop(AF_INET, &reinterpret_cast<const sockaddr_in *>(a)->sin_addr, host, sizeof host);
    std::snprintf(out, size, a->ss_family == AF_INET6 ? "[%s]:%u" : "%s:%u", host, bound_port());
}

int osc_fill_poll(struct pollfd *fds, int room)
{
    int n = 0;
    if (!osc_listening() || room < 2)
        return 0;
    fds[n++] = pollfd{sockets.udp, POLLIN, 0};
    fds[n++] = pollfd{sockets.listener, POLLIN, 0};
    for (Connection *c : sockets.connections) {
        if (c != nullptr && n < room)
            fds[n++] = pollfd{c->fd, POLLIN, 0};
    }
    return n;
}

void osc_take_packets(const struct pollfd *fds, int count, PacketHandler handler)
{
    for (int i = 0; i < count; ++i) {
        if (fds[i].revents == 0)
            continue;
        if (fds[i].fd == sockets.udp)
            take_datagrams(handler);
        else if (fds[i].fd == sockets.listener)
            accept_connection();
        for (int slot = 0; slot < OSC_MOST_CONNECTIONS; ++slot) {
            if (sockets.connections[slot] != nullptr && sockets.connections[slot]->fd == fds[i].fd)
                take_stream(slot, handler);
        }
    }
}

void osc_send(const OscPeer *to, const void *packet, size_t size)
{
    if (to->connection < 0) {
        sendto(sockets.udp, packet, size, MSG_DONTWAIT | MSG_NOSIGNAL,
               reinterpret_cast<const sockaddr *>(&to->address), to->addressSize);
        return;
    }
    if (osc_peer_open(to))
        send_on_connection(to->connection, packet, size);
}

bool osc_peer_open(const OscPeer *peer)
{
    if (peer->connection < 0)
        return true;
    const Connection *c = sockets.connections[peer->connection];
    return c != nullptr && c->serial == peer->serial;
}
