// Fuzz target: the remote's packets, as a peer may send them over UDP. Each
// packet is taken apart and every request it queued is taken, each answered
// (the replies go nowhere: no socket is bound). Beyond the sanitizers'
// checks, it holds the queue to what the player relies on.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "control/remote.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    // A copy the parser may not read beyond, as a datagram buffer.
    std::vector<unsigned char> packet(data, data + size);
    OscPeer from{};
    from.connection = -1;
    remote_take_packet(&from, packet.data(), packet.size());
    RemoteRequest r{};
    while (remote_next(&r)) {
        // Only the table's addresses reach the player, with their arguments
        // as the address takes them.
        if (r.address == nullptr || std::strncmp(r.address, "/cuedeck/", 9) != 0 ||
            r.arguments < 0 || r.arguments > 2)
            std::abort();
        remote_reply(&r, true, "%s", "taken");
    }
    return 0;
}
