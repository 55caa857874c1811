// The remote's pure parts: TCP framing fed a byte at a time, and messages
// matched to addresses and argument types, answered as a peer would hear.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <lo/lo_lowlevel.h>
#include <string>
#include <unistd.h>
#include <vector>

#include "control/commands.h"
#include "control/osc_stream.h"
#include "control/remote.h"

namespace {

using Bytes = std::vector<unsigned char>;

// Feeds bytes one at a time; returns the packets they ended, "!" for one
// refused as too long.
std::vector<std::string> packets_of(OscStream *s, const Bytes &bytes)
{
    std::vector<std::string> out;
    for (unsigned char b : bytes) {
        if (!osc_stream_byte(s, b))
            continue;
        out.push_back(s->overlong ? "!" : std::string(s->bytes, s->bytes + s->have));
        osc_stream_packet_taken(s);
    }
    return out;
}

TEST(OscStream, SizePrefixedPacketsCutAnywhere)
{
    static OscStream s{};
    Bytes two = {0, 0, 0, 4, 'a', 'b', 'c', 'd', 0, 0, 0, 0, 0, 0, 0, 2, 'x', 'y'};
    // Cut after every byte count: the packets come out whole, and in turn.
    for (size_t cut = 0; cut <= two.size(); ++cut) {
        s = OscStream{};
        auto first = packets_of(&s, Bytes(two.begin(), two.begin() + cut));
        auto rest = packets_of(&s, Bytes(two.begin() + cut, two.end()));
        first.insert(first.end(), rest.begin(), rest.end());
        EXPECT_EQ(first, (std::vector<std::string>{"abcd", "", "xy"})) << "cut at " << cut;
    }
}

TEST(OscStream, TooLongRefusedAtItsSizeThenSkipped)
{
    static OscStream s{};
    Bytes framed = {0, 1, 0, 1}; // 65537 bytes announced
    framed.resize(4 + 65537, 'z');
    framed.insert(framed.end(), {0, 0, 0, 1, 'k'});
    EXPECT_EQ(packets_of(&s, Bytes(framed.begin(), framed.begin() + 4)),
              std::vector<std::string>{"!"});
    EXPECT_EQ(packets_of(&s, Bytes(framed.begin() + 4, framed.end())),
              std::vector<std::string>{"k"});
}

TEST(OscStream, SlipEscapesBothWays)
{
    static OscStream s{};
    Bytes slip = {0xc0, 'a', 0xdb, 0xdc, 'b', 0xdb, 0xdd, 0xc0, 0xc0, 'c', 0xc0};
    EXPECT_EQ(packets_of(&s, slip), (std::vector<std::string>{"a\xc0"
                                                              "b\xdb",
                                                              "c"}));
    unsigned char out[OSC_MOST_FRAMED];
    const unsigned char packet[] = {'a', 0xc0, 'b', 0xdb};
    size_t n = osc_stream_frame(&s, packet, sizeof packet, out);
    EXPECT_EQ(Bytes(out, out + n), Bytes(slip.begin(), slip.begin() + 8));
}

TEST(Commands, WordsAndKeysMatchWhole)
{
    EXPECT_EQ(menu_command("px"), COMMAND_PLAY_THEN_END);
    EXPECT_EQ(menu_command("pxx"), COMMAND_NONE);
    EXPECT_EQ(menu_command("P"), COMMAND_NONE); // case counts: N is not n
    EXPECT_EQ(menu_command("N"), COMMAND_NUDGE_BOTH_FORWARD);
    EXPECT_EQ(menu_command(""), COMMAND_NONE);
    EXPECT_EQ(key_command('\r'), COMMAND_RELEASE);
    EXPECT_EQ(key_command(0x1b), COMMAND_STOP);
    EXPECT_EQ(key_command('x'), COMMAND_NONE);
}

// The remote listening on a free port, and a peer of its own that hears
// the replies.
class Remote : public ::testing::Test {
  protected:
    static void SetUpTestSuite()
    {
        remote_listen_or_exit("0", 0);
    }

    void SetUp() override
    {
        fd = socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK, 0);
        sockaddr_in self{};
        self.sin_family = AF_INET;
        self.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ASSERT_EQ(bind(fd, reinterpret_cast<sockaddr *>(&self), sizeof self), 0);
        peer.connection = -1;
        peer.addressSize = sizeof peer.address;
        getsockname(fd, reinterpret_cast<sockaddr *>(&peer.address), &peer.addressSize);
    }

    void TearDown() override
    {
        close(fd);
    }

    // Sends a packet as if it came from the peer.
    void take(Bytes packet)
    {
        remote_take_packet(&peer, packet.data(), packet.size());
    }

    // The next reply's text ("ok TEXT" or "error TEXT"), or "" for none.
    std::string reply()
    {
        unsigned char got[4096];
        ssize_t n = recv(fd, got, sizeof got, 0);
        if (n <= 0)
            return "";
        lo_message m = lo_message_deserialise(got, static_cast<size_t>(n), nullptr);
        lo_arg **argv = lo_message_get_argv(m);
        // A string argument's bytes begin where its lo_arg does (4-aligned
        // only: no member of it may be read).
        std::string text = std::string(reinterpret_cast<const char *>(argv[1])) + " " +
                           reinterpret_cast<const char *>(argv[2]);
        lo_message_free(m);
        return text;
    }

    int fd = -1;
    OscPeer peer{};
};

// A message with arguments given as text, each read by its type.
Bytes message(const char *path, const char *types = "", std::vector<std::string> args = {})
{
    lo_message m = lo_message_new();
    for (size_t i = 0; types[i] != '\0'; ++i) {
        const std::string a = i < args.size() ? args[i] : "";
        if (types[i] == 'i')
            lo_message_add_int32(m, std::stoi(a));
        else if (types[i] == 'h')
            lo_message_add_int64(m, std::stoll(a));
        else if (types[i] == 'f')
            lo_message_add_float(m, std::stof(a));
        else if (types[i] == 's')
            lo_message_add_string(m, a.c_str());
        else if (types[i] == 'T')
            lo_message_add_true(m);
    }
    Bytes out(lo_message_length(m, path));
    size_t size = out.size();
    lo_message_serialise(m, path, out.data(), &size);
    lo_message_free(m);
    return out;
}

// A bundle of the given elements, each with its size.
Bytes bundle(const std::vector<Bytes> &elements)
{
    Bytes out = {'#', 'b', 'u', 'n', 'd', 'l', 'e', 0, 0, 0, 0, 0, 0, 0, 0, 1};
    for (const Bytes &e : elements) {
        uint32_t n = htonl(static_cast<uint32_t>(e.size()));
        auto *size = reinterpret_cast<unsigned char *>(&n);
        out.insert(out.end(), size, size + 4);
        out.insert(out.end(), e.begin(), e.end());
    }
    return out;
}

TEST_F(Remote, AddressesAndArgumentsMatched)
{
    RemoteRequest r{};
    take(message("/cuedeck/go", "ff", {"0.5", "1.5"}));
    ASSERT_TRUE(remote_next(&r));
    EXPECT_EQ(r.command, COMMAND_PLAY);
    EXPECT_TRUE(r.hasSeconds);
    EXPECT_DOUBLE_EQ(r.seconds[1], 1.5);
    take(message("/cuedeck/lo?d", "h", {"1099511627776"}));
    ASSERT_TRUE(remote_next(&r));
    EXPECT_EQ(r.command, COMMAND_ARM);
    EXPECT_EQ(r.marker, INT32_MAX); // saturated
    take(message("/cuedeck/exact", "T"));
    ASSERT_TRUE(remote_next(&r));
    EXPECT_EQ(r.whole, 1);
    take(message("/cuedeck/subscribe", "ii", {"5", "9000"}));
    EXPECT_FALSE(remote_next(&r)); // answered here
    EXPECT_EQ(reply(), "ok subscribed, 5 position messages a second");
    EXPECT_FALSE(remote_next(&r));
}

TEST_F(Remote, WhatIsRefusedAndWhy)
{
    const struct {
        Bytes packet;
        const char *reply;
    } rows[] = {
        {message("/cuedeck/go", "s", {"now"}), "error wrong arguments for this address"},
        {message("/cuedeck/l*"), "error the pattern names more than one address"},
        {message("/cuedeck/nope"), "error no such address"},
        {message("/cuedeck/subscribe", "i", {"101"}),
         "error position messages per second: 0 to 100"},
        {bundle({message("/cuedeck/state"), Bytes{0, 0}}),
         "error an element of the bundle is cut short"},
        {bundle({Bytes{'/', 'x', 0}}), "error an element of the bundle is cut short"},
        {Bytes(OSC_MOST_PACKET + 1, 0), "error the packet is too long"},
    };
    for (const auto &row : rows) {
        take(row.packet);
        RemoteRequest r{};
        EXPECT_FALSE(remote_next(&r));
        std::string got = reply();
        if (row.reply == std::string("error an element of the bundle is cut short") &&
            got.rfind("ok", 0) == 0)
            got = reply(); // the state asked first is answered first
        EXPECT_EQ(got, row.reply);
    }
}

} // namespace
