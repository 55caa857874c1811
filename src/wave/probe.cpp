#include "wave/probe.h"

#include <cstdio>
#include <cstring>
#include <sys/stat.h>
#include <sys/types.h>

#include "util/fatal.h"
#include "wave/bytes.h"
#include "wave/encoding.h"

namespace {

constexpr uint32_t NOT_FOUND = 0; // the search starts at 2, so 0 is never a position

// The first even position p in 2..131072 whose bytes spell id. The chunk list
// is not walked: a match inside another chunk's payload counts, which is how
// the player has always found the blocks of oddly written files.
uint32_t find_even(const unsigned char *head, uint32_t headBytes, const char *id, uint32_t idLen)
{
    if (headBytes < idLen)
        return NOT_FOUND;
    // Candidates end where the identifier no longer fits, or after 131072.
    uint32_t last = headBytes - idLen < PROBE_LAST_POSITION ? headBytes - idLen : PROBE_LAST_POSITION;
    const auto first = static_cast<unsigned char>(id[0]);
    uint32_t p = 2;
    while (p <= last) {
        // memchr skips the long stretches without the first letter quickly;
        // a hit at an odd position is no candidate.
        const void *hit = std::memchr(head + p, first, last - p + 1);
        if (hit == nullptr)
            return NOT_FOUND;
        p = static_cast<uint32_t>(static_cast<const unsigned char *>(hit) - head);
        if (p % 2 == 0 && std::memcmp(head + p, id, idLen) == 0)
            return p;
        p += 1;
    }
    return NOT_FOUND;
}

} // namespace

ProbeResult probe_header(const unsigned char *head, uint32_t headBytes, uint32_t fileSize,
                         WaveFields *out)
{
    uint32_t fmt = find_even(head, headBytes, "fmt", 3);
    if (fmt == NOT_FOUND)
        return PROBE_NO_FORMAT;
    if (fmt + 24 > headBytes)
        return PROBE_CUT_SHORT;
    WaveFields w{};
    w.channels = Assem2(head + fmt + 10);
    w.format.bitsPerSample = Assem2(head + fmt + 22);
    w.bytesPerSample = w.format.bitsPerSample / 8u;
    w.rate = Assem4(head + fmt + 12);
    w.format.tag = Assem2(head + fmt + 8);
    if (w.format.tag == TAG_EXTENSIBLE) {
        // The sub-format's first two bytes are the tag of the samples.
        if (fmt + 34 > headBytes)
            return PROBE_CUT_SHORT;
        w.format.tag = Assem2(head + fmt + 32);
    }

    uint32_t data = find_even(head, headBytes, "data", 4);
    if (data == NOT_FOUND)
        return PROBE_NO_DATA;
    if (data + 8 > headBytes)
        return PROBE_CUT_SHORT;
    w.dataOffset = data + 8;
    uint32_t dataSize = Assem4(head + data + 4);

    uint32_t frameBytes = w.channels * w.bytesPerSample;
    if (frameBytes == 0) {
        // Compressed samples (4-bit ADPCM, say) have no whole bytes: their
        // format tag, which the player refuses, is what to report.
        if (w.channels == 0 || tag_is_played(w.format.tag))
            return PROBE_EMPTY_FRAME;
        *out = w;
        return PROBE_OK;
    }
    // Headers written before the recording ended carry a placeholder or stale
    // size (often 0xFFFFFFFF): only the whole frames actually present count.
    w.length = dataSize / frameBytes;
    uint32_t available = fileSize - w.dataOffset;
    if (w.length * frameBytes > available)
        w.length = available / frameBytes;
    *out = w;
    return PROBE_OK;
}

namespace {

// Largest file the 32-bit positions can address.
constexpr off_t LARGEST_FILE = 0x7fffffff;

const char *probe_failure_text(ProbeResult result)
{
    switch (result) {
    case PROBE_NO_FORMAT:
        return "Can't find format chunk in wave file!";
    case PROBE_NO_DATA:
        return "Can't find data block in wave file!";
    case PROBE_CUT_SHORT:
        return "The wave header is cut short!";
    default:
        return "Can't play a wave file with no channels or under 8 bits per sample!";
    }
}

void probe_ok_or_exit(ProbeResult result)
{
    if (result != PROBE_OK)
        exit_with_message(stdout, 2, "%s\n", probe_failure_text(result));
}

} // namespace

void GetAttributes(const char *path, uint32_t *rate, uint32_t *bytesPerSample, uint32_t *channels,
                   uint32_t *dataOffset, uint32_t *length, WaveFormat *format)
{
    // One read of the searched stretch, scanned in memory: the probe runs
    // before every play, and 65,536 seeks would cost more than the read.
    static unsigned char head[PROBE_SPAN];

    // Checked before the open, which could wait for ever on a fifo.
    struct stat status {};
    if (stat(path, &status) == 0 && !S_ISREG(status.st_mode))
        exit_with_message(stdout, 2, "The file called %s is not a regular file!\n", path);
    std::FILE *f = std::fopen(path, "rb");
    if (f == nullptr)
        exit_with_message(stdout, 2, "The file called %s cannot be found!\n", path);
    std::setvbuf(f, nullptr, _IONBF, 0); // one read of the stretch, no copy
    off_t size = -1;
    if (fseeko(f, 0, SEEK_END) == 0)
        size = ftello(f);
    if (size < 0 || size > LARGEST_FILE)
        exit_with_message(stdout, 2, "The file called %s is 2 GiB or larger, or can't be measured!\n",
                          path);
    std::rewind(f);
    uint32_t want = size < static_cast<off_t>(PROBE_SPAN) ? static_cast<uint32_t>(size) : PROBE_SPAN;
    uint32_t got = static_cast<uint32_t>(std::fread(head, 1, want, f));
    std::fclose(f);

    WaveFields w{};
    probe_ok_or_exit(probe_header(head, got, static_cast<uint32_t>(size), &w));
    *channels = w.channels;
    *bytesPerSample = w.bytesPerSample;
    *rate = w.rate;
    *dataOffset = w.dataOffset;
    *length = w.length;
    if (format != nullptr)
        *format = w.format;
}
