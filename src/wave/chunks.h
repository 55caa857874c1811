// The chunk list of a RIFF/WAVE file (and of its 64-bit forms RF64 and
// BW64): walked header by header, from byte 12, without reading payloads.
#pragma once
#include <cstddef>
#include <cstdint>
#include <cstdio>

// A file to read at byte positions: the walk reads headers wherever they
// lie. Its bytes are in memory when bytes is set, else read through file.
struct ByteSource {
    uint64_t size;
    const unsigned char *bytes;
    std::FILE *file;
};

// Reads up to n bytes at position at into buf; returns the count read.
size_t read_at(const ByteSource *src, uint64_t at, unsigned char *buf, size_t n);

// Reads n bytes at at, wholly or not at all.
bool read_exactly(const ByteSource *src, uint64_t at, unsigned char *buf, size_t n);

// One chunk: its identifier, where its header lies, and its payload's size
// as declared (the 64-bit one from ds64 where the 32-bit one says
// 0xFFFFFFFF). Only a data chunk may run past the end of the file.
struct Chunk {
    char id[4];
    uint64_t at;
    uint64_t size;
    bool bigEndian; // its fields are big-endian, as every field of a RIFX file
};

// Chunk sizes an RF64 file gives in its ds64 chunk, by identifier.
constexpr int DS64_SIZES = 8;

struct ChunkWalk {
    const ByteSource *src;
    uint64_t next;  // where the next chunk header lies
    bool wide;      // RF64 or BW64: sizes of 0xFFFFFFFF are looked up in ds64
    bool bigEndian; // RIFX: every field is big-endian
    bool ended;     // a data chunk ran past the end: no chunk follows it
    uint32_t seen;  // chunks read so far
    bool haveDs64;
    uint64_t dataSize;
    uint32_t tableSize;
    struct {
        char id[4];
        uint64_t size;
    } table[DS64_SIZES];
};

enum WalkStart {
    WALK_RIFF,    // RIFF, RIFX, RF64 or BW64, then WAVE: a chunk list to walk
    WALK_OTHER,   // no RIFF/WAVE header: the list can't be walked
    WALK_FOREIGN, // Sony Wave64, which is not played
};

// Reads the file's first 12 bytes and readies the walk at byte 12.
WalkStart begin_walk(const ByteSource *src, ChunkWalk *walk);

enum WalkStep {
    WALK_CHUNK,  // *chunk is the next chunk
    WALK_END,    // the list ended where the file does
    WALK_BROKEN, // a chunk runs past the end of the file, or too many chunks
};

// Reads the next chunk header into *chunk.
WalkStep next_chunk(ChunkWalk *walk, Chunk *chunk);

// Whether the chunk's identifier is these four letters.
bool chunk_is(const Chunk *chunk, const char *id);
