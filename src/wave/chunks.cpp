#include "wave/chunks.h"

#include <cstring>
#include <sys/types.h>

#include "wave/bytes.h"

namespace {

// Real files hold a handful of chunks; a list of thousands is damaged (a
// run of zero bytes, say) and is left to the scan rather than read header
// by header.
constexpr uint32_t MOST_CHUNKS = 1024;

// The 32-bit size that means "see ds64" in an RF64 or BW64 file.
constexpr uint32_t SIZE_IN_DS64 = 0xFFFFFFFF;

// ds64: RIFF size, data size and sample count (8 bytes each), the table's
// length (4), then entries of an identifier and a 64-bit size.
constexpr uint32_t DS64_FIXED = 28;
constexpr uint32_t DS64_ENTRY = 12;

uint64_t assem8(const unsigned char *b)
{
    return uint64_t{Assem4(b)} | uint64_t{Assem4(b + 4)} << 32;
}

void read_ds64(ChunkWalk *walk, uint64_t at, uint32_t size)
{
    unsigned char b[DS64_FIXED + DS64_ENTRY * DS64_SIZES];
    uint32_t want = size < sizeof b ? size : static_cast<uint32_t>(sizeof b);
    if (want < DS64_FIXED || !read_exactly(walk->src, at, b, want))
        return;
    walk->haveDs64 = true;
    walk->dataSize = assem8(b + 8);
    uint32_t entries = Assem4(b + 24);
    uint32_t room = (want - DS64_FIXED) / DS64_ENTRY;
    walk->tableSize = entries < room ? entries : room;
    for (uint32_t i = 0; i < walk->tableSize; ++i) {
        const unsigned char *entry = b + DS64_FIXED + DS64_ENTRY * i;
        std::memcpy(walk->table[i].id, entry, 4);
        walk->table[i].size = assem8(entry + 4);
    }
}

// The size of a chunk whose 32-bit size field says "see ds64".
uint64_t size_from_ds64(const ChunkWalk *walk, const Chunk *chunk)
{
    // Without a ds64 (a writer that never filled it in), the samples run
    // to the end of the file, as a RIFF placeholder size does.
    if (chunk_is(chunk, "data"))
        return walk->haveDs64 ? walk->dataSize : UINT64_MAX;
    for (uint32_t i = 0; i < walk->tableSize; ++i) {
        if (four_cc_is(walk->table[i].id, chunk->id))
            return walk->table[i].size;
    }
    return SIZE_IN_DS64;
}

} // namespace

size_t read_at(const ByteSource *src, uint64_t at, unsigned char *buf, size_t n)
{
    if (at >= src->size)
        return 0;
    if (src->size - at < n)
        n = static_cast<size_t>(src->size - at);
    if (src->bytes != nullptr) {
        std::memcpy(buf, src->bytes + at, n);
        return n;
    }
    // Buffered, the headers of small chunks that follow one another come
    // from one read: a seek only where the walk skips ahead.
    auto position = static_cast<off_t>(at);
    if (ftello(src->file) != position && fseeko(src->file, position, SEEK_SET) != 0)
        return 0;
    return std::fread(buf, 1, n, src->file);
}

bool read_exactly(const ByteSource *src, uint64_t at, unsigned char *buf, size_t n)
{
    return read_at(src, at, buf, n) == n;
}

bool chunk_is(const Chunk *chunk, const char *id)
{
    return four_cc_is(chunk->id, id);
}

WalkStart begin_walk(const ByteSource *src, ChunkWalk *walk)
{
    *walk = ChunkWalk{};
    walk->src = src;
    walk->next = 12;
    unsigned char b[12];
    if (!read_exactly(src, 0, b, sizeof b))
        return WALK_OTHER;
    static const unsigned char WAVE64_RIFF_GUID_TAIL[] = {0x2e, 0x91, 0xcf, 0x11};
    if (four_cc_is(b, "riff") && std::memcmp(b + 4, WAVE64_RIFF_GUID_TAIL, 4) == 0)
        return WALK_FOREIGN;
    if (!four_cc_is(b + 8, "WAVE"))
        return WALK_OTHER;
    walk->wide = four_cc_is(b, "RF64") || four_cc_is(b, "BW64");
    walk->bigEndian = four_cc_is(b, "RIFX");
    return walk->wide || walk->bigEndian || four_cc_is(b, "RIFF") ? WALK_RIFF : WALK_OTHER;
}

WalkStep next_chunk(ChunkWalk *walk, Chunk *chunk)
{
    if (walk->ended || walk->seen >= MOST_CHUNKS)
        return WALK_BROKEN;
    unsigned char h[8];
    if (!read_exactly(walk->src, walk->next, h, sizeof h))
        return WALK_END;
    std::memcpy(chunk->id, h, 4);
    chunk->at = walk->next;
    chunk->bigEndian = walk->bigEndian;
    uint32_t size32 = field4(h + 4, walk->bigEndian);
    chunk->size = size32;
    uint64_t payload = walk->next + 8;
    // The ds64 comes first in RF64 and BW64, but writers that add it late
    // are read too: it only has to come before the chunks it sizes.
    if (walk->wide && chunk_is(chunk, "ds64"))
        read_ds64(walk, payload, size32);
    else if (walk->wide && size32 == SIZE_IN_DS64)
        chunk->size = size_from_ds64(walk, chunk);
    walk->seen += 1;
    if (chunk->size > walk->src->size - payload) {
        // A recorder that stopped mid-take leaves a data size that runs
        // past the end; the samples present still play.
        if (!chunk_is(chunk, "data"))
            return WALK_BROKEN;
        walk->ended = true;
        return WALK_CHUNK;
    }
    walk->next = payload + padded(chunk->size);
    return WALK_CHUNK;
}
