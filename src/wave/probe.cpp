#include "wave/probe.h"

#include <cstdio>
#include <cstring>
#include <sys/types.h>

#include "util/fatal.h"
#include "util/printable.h"
#include "util/regular_file.h"
#include "wave/bytes.h"
#include "wave/encoding.h"

namespace {

constexpr uint32_t NOT_FOUND = 0; // the search starts at 2, so 0 is never a position

// A format chunk's bytes that the probe reads, from its identifier through
// the first two bytes of an extensible chunk's sub-format.
constexpr size_t FORMAT_BYTES_READ = 34;

// The first even position p in 2..131072 whose bytes spell id. A match
// inside another chunk's payload counts, which is how the player has always
// found the blocks of oddly written files whose list can't be walked.
uint32_t find_even(const unsigned char *head, uint32_t headBytes, const char *id, uint32_t idLen)
{
    if (headBytes < idLen)
        return NOT_FOUND;
    // Candidates end where the identifier no longer fits, or after 131072.
    uint32_t last =
        headBytes - idLen < PROBE_LAST_POSITION ? headBytes - idLen : PROBE_LAST_POSITION;
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

// Bytes a sample takes. Samples whose bits aren't whole bytes (12 in 16,
// 20 in 24, 5 in 8) sit in a container, the frame's share of the block
// align, else the bits rounded up; their low bits are zero, so they play as
// the container's samples. A block align of 0 was never filled in.
uint32_t container_bytes(uint32_t bits, uint32_t channels, uint32_t blockAlign)
{
    if (bits % 8 == 0)
        return bits / 8;
    if (channels > 0 && blockAlign > 0 && blockAlign % channels == 0 &&
        blockAlign / channels >= (bits + 7) / 8)
        return blockAlign / channels;
    return (bits + 7) / 8;
}

// The fields of the format chunk whose identifier lies at fmt, in the
// file's byte order. A chunk found by the walk must hold the plain fields;
// a scanned one is read as it always was. The sub-format of an extensible
// chunk is believed only when the chunk says that it holds it.
ProbeResult read_format(const ByteSource *src, uint64_t fmt, bool walked, bool bigEndian,
                        WaveFields *w)
{
    unsigned char b[FORMAT_BYTES_READ] = {};
    size_t got = read_at(src, fmt, b, sizeof b);
    if (got < 24)
        return PROBE_CUT_SHORT;
    uint32_t chunkSize = field4(b + 4, bigEndian);
    if (walked && chunkSize < 16)
        return PROBE_CUT_SHORT;
    w->channels = field2(b + 10, bigEndian);
    w->rate = field4(b + 12, bigEndian);
    w->format.blockAlign = field2(b + 20, bigEndian);
    w->format.tag = field2(b + 8, bigEndian);
    w->format.bigEndian = bigEndian;
    w->bytesPerSample =
        container_bytes(field2(b + 22, bigEndian), w->channels, w->format.blockAlign);
    w->format.bitsPerSample = 8 * w->bytesPerSample;
    if (w->format.blockAlign == 0)
        w->format.blockAlign = w->channels * w->bytesPerSample;
    if (w->format.tag == TAG_EXTENSIBLE) {
        // cbSize, at 24, counts the 22 bytes that end in the sub-format.
        if (chunkSize < 40 || got < FORMAT_BYTES_READ || field2(b + 24, bigEndian) < 22)
            return PROBE_CUT_SHORT;
        w->format.extensible = true;
        w->format.channelMask = field4(b + 28, bigEndian);
        w->format.tag = field2(b + 32, bigEndian); // the sub-format's first two bytes
    }
    return PROBE_OK;
}

// The 32-bit data sizes that writers leave before they know the size.
bool is_placeholder(uint64_t dataSize)
{
    return dataSize == 0 || dataSize == 0xFFFFFFFF || dataSize == UINT64_MAX;
}

// The length in frames of the samples that begin at dataOffset, dataSize
// bytes as the header gives them.
ProbeResult count_frames(const ByteSource *src, uint64_t dataOffset, uint64_t dataSize,
                         WaveFields *w)
{
    w->dataStart = dataOffset;
    w->dataOffset = static_cast<uint32_t>(dataOffset);
    uint64_t frameBytes = uint64_t{w->channels} * w->bytesPerSample;
    if (w->channels == 0)
        return PROBE_NO_CHANNELS;
    if (frameBytes == 0) {
        // Compressed samples (4-bit ADPCM, say) may give no bits: their
        // format tag, which the player refuses, is what to report.
        if (tag_is_played(w->format.tag))
            return PROBE_NO_BITS;
        w->length = 0;
        return PROBE_OK;
    }
    // Headers written before the recording ended carry a placeholder or stale
    // size (often 0xFFFFFFFF): only the whole frames actually present count.
    uint64_t available = src->size > dataOffset ? src->size - dataOffset : 0;
    uint64_t frames = (dataSize < available ? dataSize : available) / frameBytes;
    if (frames > MOST_FRAMES)
        return PROBE_TOO_LONG;
    w->length = static_cast<uint32_t>(frames);
    if (dataSize > available && !is_placeholder(dataSize))
        w->promisedFrames = dataSize / frameBytes;
    return PROBE_OK;
}

// The first "fmt " and "data" chunks of the list; false when the list ends
// or breaks before both are found.
bool walk_to_chunks(ChunkWalk *walk, Chunk *fmt, Chunk *data)
{
    bool haveFormat = false;
    bool haveData = false;
    Chunk c{};
    while (!haveFormat || !haveData) {
        if (next_chunk(walk, &c) != WALK_CHUNK)
            return false;
        if (!haveFormat && chunk_is(&c, "fmt ")) {
            *fmt = c;
            haveFormat = true;
        } else if (!haveData && chunk_is(&c, "data")) {
            *data = c;
            haveData = true;
        }
    }
    return true;
}

// The blocks of a file whose list can't be walked, found by their
// identifiers in its first 128 KiB.
ProbeResult scan(const ByteSource *src, WaveFields *w)
{
    // One read of the searched stretch, scanned in memory: the probe runs
    // before every play, and 65,536 seeks would cost more than the read.
    static unsigned char head[PROBE_SPAN];
    uint32_t headBytes = static_cast<uint32_t>(read_at(src, 0, head, sizeof head));
    uint32_t fmt = find_even(head, headBytes, "fmt", 3);
    if (fmt == NOT_FOUND)
        return PROBE_NO_FORMAT;
    ProbeResult result = read_format(src, fmt, false, false, w);
    if (result != PROBE_OK)
        return result;
    uint32_t data = find_even(head, headBytes, "data", 4);
    if (data == NOT_FOUND)
        return PROBE_NO_DATA;
    unsigned char size[4];
    if (!read_exactly(src, data + 4, size, sizeof size))
        return PROBE_CUT_SHORT;
    return count_frames(src, data + 8, Assem4(size), w);
}

} // namespace

ProbeResult probe_wave(const ByteSource *src, WaveFields *out)
{
    ChunkWalk walk{};
    WalkStart start = begin_walk(src, &walk);
    if (start == WALK_FOREIGN)
        return PROBE_FOREIGN;
    WaveFields w{};
    Chunk fmt{};
    Chunk data{};
    ProbeResult result = PROBE_OK;
    if (start == WALK_RIFF && walk_to_chunks(&walk, &fmt, &data)) {
        result = read_format(src, fmt.at, true, walk.bigEndian, &w);
        if (result == PROBE_OK)
            result = count_frames(src, data.at + 8, data.size, &w);
    } else if (walk.bigEndian) {
        // The scan reads little-endian fields: a broken RIFX list has no blocks it can use.
        result = PROBE_NO_DATA;
    } else {
        result = scan(src, &w);
    }
    if (result == PROBE_OK)
        *out = w;
    return result;
}

namespace {

const char *probe_failure_text(ProbeResult result)
{
    switch (result) {
    case PROBE_NO_FORMAT:
        return "Can't find format chunk in wave file!";
    case PROBE_NO_DATA:
        return "Can't find data block in wave file!";
    case PROBE_CUT_SHORT:
        return "The wave header is cut short!";
    case PROBE_FOREIGN:
        return "Can't play this wave file: it is not a little-endian RIFF/WAVE file!";
    case PROBE_NO_CHANNELS:
        return "Can't play a wave file with no channels!";
    case PROBE_TOO_LONG:
        return "Can't play this wave file: it holds more than 2147483647 frames, the most "
               "that can be played!";
    default:
        return "Can't play a wave file with 0 bits per sample!";
    }
}

void probe_ok_or_exit(ProbeResult result)
{
    if (result != PROBE_OK)
        exit_with_message(stdout, 2, "%s\n", probe_failure_text(result));
}

} // namespace

void GetAttributes(const char *path, uint32_t *rate, uint32_t *bytesPerSample, uint32_t *channels,
                   uint32_t *dataOffset, uint32_t *length, WaveFields *fields, MarkerList *markers)
{
    OpenFailure failure = OPEN_MISSING;
    std::FILE *f = open_regular_file(path, &failure);
    char shown[SHOWN_NAME_SIZE];
    printable_copy(path, shown, sizeof shown);
    if (f == nullptr && failure == OPEN_NOT_REGULAR)
        exit_with_message(stdout, 2, "The file called %s is not a regular file!\n", shown);
    if (f == nullptr)
        exit_with_message(stdout, 2, "The file called %s cannot be found!\n", shown);
    off_t size = -1;
    if (fseeko(f, 0, SEEK_END) == 0)
        size = ftello(f);
    if (size < 0)
        exit_with_message(stdout, 2, "The file called %s can't be measured!\n", shown);
    ByteSource src{static_cast<uint64_t>(size), nullptr, f};
    WaveFields w{};
    ProbeResult result = probe_wave(&src, &w);
    if (result == PROBE_OK && markers != nullptr)
        read_markers(&src, w.length, markers);
    std::fclose(f);
    probe_ok_or_exit(result);
    *channels = w.channels;
    *bytesPerSample = w.bytesPerSample;
    *rate = w.rate;
    *dataOffset = w.dataOffset;
    *length = w.length;
    if (fields != nullptr)
        *fields = w;
}
