// Points and loops: "cue " and "smpl" chunks, read a block of entries at a
// time, and no further than can add a marker.
#include <algorithm>
#include <cstring>

#include "wave/bytes.h"
#include "wave/marker_chunks.h"

namespace {

// A cue point: id, dwPosition, fccChunk, dwChunkStart, dwBlockStart,
// dwSampleOffset. Some recorders leave dwPosition 0: the frame is the
// sample offset.
constexpr uint32_t CUE_POINT_BYTES = 24;
constexpr uint32_t CUE_SAMPLE_OFFSET = 20;
// smpl: nine 4-byte fields (the loop count at 28), then the loops: id,
// type, start, end (inclusive), fraction, play count.
constexpr uint32_t SMPL_FIXED = 36;
constexpr uint32_t SMPL_LOOP_BYTES = 24;

} // namespace

// Gives the marker the stretch of a region of length frames; none for 0.
void set_region(Marker *m, uint64_t length)
{
    uint64_t end = uint64_t{m->position} + length;
    m->region = length > 0;
    m->end = end > UINT32_MAX ? UINT32_MAX : static_cast<uint32_t>(end);
}

// The new marker, or nullptr when the list is full.
Marker *add_marker(MarkerList *list, uint32_t position)
{
    if (list->count == MOST_MARKERS) {
        list->problems |= MARKERS_TOO_MANY;
        return nullptr;
    }
    Marker *m = &list->items[list->count++];
    *m = Marker{};
    m->position = position;
    return m;
}

// Entries of a marker chunk are read this many at a time: a chunk may hold

namespace {

// Entries of a marker chunk are read this many at a time: a chunk may hold
// millions.
constexpr uint32_t ENTRIES_A_READ = 256;

// Calls take(entry) for each of count entries of entryBytes that begin at
// at, until take says it needs no more. False when the file ends first.
template <typename Take>
bool read_entries(const ByteSource *src, uint64_t at, uint32_t count, uint32_t entryBytes,
                  Take take)
{
    unsigned char block[ENTRIES_A_READ * SMPL_LOOP_BYTES];
    for (uint32_t done = 0; done < count;) {
        uint32_t n = std::min(count - done, ENTRIES_A_READ);
        if (!read_exactly(src, at + uint64_t{done} * entryBytes, block, size_t{n} * entryBytes))
            return false;
        for (uint32_t i = 0; i < n; ++i) {
            if (!take(block + size_t{i} * entryBytes))
                return true;
        }
        done += n;
    }
    return true;
}

} // namespace

bool read_cue(const ByteSource *src, const Chunk *c, MarkerList *list)
{
    unsigned char b[4];
    if (c->size < 4 || !read_exactly(src, c->at + 8, b, 4))
        return false;
    uint32_t points = field4(b, c->bigEndian);
    if (points > (c->size - 4) / CUE_POINT_BYTES)
        return false;
    bool big = c->bigEndian;
    return read_entries(src, c->at + 12, points, CUE_POINT_BYTES,
                        [list, big](const unsigned char *p) {
                            Marker *m = add_marker(list, field4(p + CUE_SAMPLE_OFFSET, big));
                            if (m == nullptr)
                                return false; // the list is full
                            m->id = field4(p, big);
                            m->cuePoint = true;
                            return true;
                        });
}

namespace {

// Once the list is full, a loop can only lengthen a marker already kept:
// those still without a stretch, by position, for a binary search.
struct LoopTargets {
    bool built;
    uint32_t count;
    uint32_t remaining; // of them, still without a stretch
    uint16_t items[MOST_MARKERS];
};

void build_targets(const MarkerList *list, LoopTargets *targets)
{
    targets->built = true;
    targets->count = 0;
    for (uint32_t i = 0; i < list->count; ++i) {
        if (!list->items[i].region)
            targets->items[targets->count++] = static_cast<uint16_t>(i);
    }
    sort_marker_indices(targets->items, targets->count, list,
                        [](const Marker &m) { return m.position; });
    targets->remaining = targets->count;
}

// The first kept marker at start without a stretch of its own, or nullptr.
Marker *loop_target(MarkerList *list, LoopTargets *targets, uint32_t start)
{
    if (list->count < MOST_MARKERS) {
        for (uint32_t i = 0; i < list->count; ++i) {
            if (list->items[i].position == start && !list->items[i].region)
                return &list->items[i];
        }
        return nullptr;
    }
    if (!targets->built)
        build_targets(list, targets);
    const uint16_t *first = std::lower_bound(
        targets->items, targets->items + targets->count, start,
        [list](uint16_t i, uint32_t position) { return list->items[i].position < position; });
    for (const uint16_t *t = first; t < targets->items + targets->count; ++t) {
        Marker *m = &list->items[*t];
        if (m->position != start)
            break;
        if (!m->region)
            return m;
    }
    return nullptr;
}

// A loop that starts at a cue point gives that point its length; any other
// is a marker of its own. False when no later loop can add anything.
bool add_loop(MarkerList *list, LoopTargets *targets, uint32_t start, uint32_t end)
{
    uint64_t length = uint64_t{end} - start + 1;
    Marker *m = loop_target(list, targets, start);
    if (m != nullptr) {
        set_region(m, length);
        targets->remaining -= targets->built ? 1 : 0;
    } else if ((m = add_marker(list, start)) != nullptr) {
        set_region(m, length);
        std::strcpy(m->label, "loop");
    }
    if (list->count < MOST_MARKERS)
        return true;
    if (!targets->built)
        build_targets(list, targets);
    return targets->remaining > 0; // else full, and every marker kept has its stretch
}

} // namespace

bool read_smpl(const ByteSource *src, const Chunk *c, MarkerList *list)
{
    unsigned char b[SMPL_FIXED];
    if (c->size < SMPL_FIXED || !read_exactly(src, c->at + 8, b, SMPL_FIXED))
        return false;
    uint32_t loops = field4(b + 28, c->bigEndian);
    if (loops > (c->size - SMPL_FIXED) / SMPL_LOOP_BYTES)
        return false;
    LoopTargets targets{};
    bool wellFormed = true;
    bool read = read_entries(src, c->at + 8 + SMPL_FIXED, loops, SMPL_LOOP_BYTES,
                             [&](const unsigned char *loop) {
                                 uint32_t start = field4(loop + 8, c->bigEndian);
                                 uint32_t end = field4(loop + 12, c->bigEndian);
                                 wellFormed = end >= start;
                                 return wellFormed && add_loop(list, &targets, start, end);
                             });
    return read && wellFormed;
}
