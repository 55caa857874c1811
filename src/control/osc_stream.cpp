#include "control/osc_stream.h"

#include <cstring>

namespace {

// SLIP's frame end and escapes.
constexpr unsigned char SLIP_END = 0xc0;
constexpr unsigned char SLIP_ESC = 0xdb;
constexpr unsigned char SLIP_ESC_END = 0xdc;
constexpr unsigned char SLIP_ESC_ESC = 0xdd;

bool slip_byte(OscStream *s, unsigned char byte)
{
    if (byte == SLIP_END)
        return s->have > 0 || s->overlong; // ends between packets are allowed
    if (byte == SLIP_ESC && !s->escaped) {
        s->escaped = true;
        return false;
    }
    if (s->escaped)
        byte = byte == SLIP_ESC_END ? SLIP_END : byte == SLIP_ESC_ESC ? SLIP_ESC : byte;
    s->escaped = false;
    if (s->have < OSC_MOST_PACKET)
        s->bytes[s->have++] = byte;
    else
        s->overlong = true;
    return false;
}

bool sized_byte(OscStream *s, unsigned char byte)
{
    if (s->skip > 0) {
        s->skip -= 1;
        return false;
    }
    if (s->need == 0 && s->have < 4) {
        s->bytes[s->have++] = byte;
        if (s->have < 4)
            return false;
        s->need = (size_t{s->bytes[0]} << 24) | (size_t{s->bytes[1]} << 16) |
                  (size_t{s->bytes[2]} << 8) | size_t{s->bytes[3]};
        s->have = 0;
        // Too long to take: refused at once, not after all its bytes came
        // (they may never come), and skipped as they do.
        s->overlong = s->need > OSC_MOST_PACKET;
        if (s->overlong) {
            s->skip = s->need;
            s->need = 0;
        }
        return s->need == 0;
    }
    if (!s->overlong)
        s->bytes[s->have] = byte;
    s->have += 1;
    return s->have == s->need;
}

} // namespace

bool osc_stream_byte(OscStream *s, unsigned char byte)
{
    if (s->framing == FRAMING_UNKNOWN)
        s->framing = byte == SLIP_END ? FRAMING_SLIP : FRAMING_SIZE;
    return s->framing == FRAMING_SLIP ? slip_byte(s, byte) : sized_byte(s, byte);
}

void osc_stream_packet_taken(OscStream *s)
{
    s->have = 0;
    s->need = 0;
    s->overlong = false;
}

size_t osc_stream_frame(const OscStream *s, const unsigned char *packet, size_t size,
                        unsigned char *out)
{
    size_t n = 0;
    if (s->framing != FRAMING_SLIP) {
        for (int shift = 24; shift >= 0; shift -= 8)
            out[n++] = static_cast<unsigned char>(size >> shift);
        std::memcpy(out + n, packet, size);
        return n + size;
    }
    out[n++] = SLIP_END;
    for (size_t i = 0; i < size; ++i) {
        unsigned char b = packet[i];
        if (b == SLIP_END || b == SLIP_ESC) {
            out[n++] = SLIP_ESC;
            b = b == SLIP_END ? SLIP_ESC_END : SLIP_ESC_ESC;
        }
        out[n++] = b;
    }
    out[n++] = SLIP_END;
    return n;
}
