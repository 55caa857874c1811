// OSC over a TCP stream: each packet preceded by its size in 4 bytes,
// big-endian (OSC 1.0), or framed with SLIP (OSC 1.1). The peer's first
// byte tells which (SLIP's begins with its frame end), and replies go back
// the same way.
#pragma once
#include <cstddef>

#include "control/osc_net.h"

// The most a packet takes once framed: SLIP may double every byte.
constexpr size_t OSC_MOST_FRAMED = 2 * OSC_MOST_PACKET + 8;

enum OscFraming { FRAMING_UNKNOWN, FRAMING_SIZE, FRAMING_SLIP };

// The packet a connection is reading.
struct OscStream {
    OscFraming framing;
    bool escaped;  // SLIP: the last byte was an escape
    bool overlong; // the packet under way is too long: skipped to its end
    size_t need;   // size framing: the packet's size, once its 4 bytes came
    size_t skip;   // ... the bytes still to skip of one refused as too long
    size_t have;   // bytes of the packet (or of its size) read
    unsigned char bytes[OSC_MOST_PACKET];
};

// Takes the stream's next byte; true when it ends a packet: bytes[0..have),
// unless overlong. A size over OSC_MOST_PACKET ends one at once, overlong,
// and the bytes it announced are skipped.
bool osc_stream_byte(OscStream *s, unsigned char byte);

// After a packet is handed on: the next begins.
void osc_stream_packet_taken(OscStream *s);

// The packet framed as the stream's peer frames (its size first, unless
// SLIP) into out (OSC_MOST_FRAMED bytes); returns the bytes to send.
size_t osc_stream_frame(const OscStream *s, const unsigned char *packet, size_t size,
                        unsigned char *out);
