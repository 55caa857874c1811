#include "wave/markers.h"

#include <algorithm>
#include <cstring>

#include "util/printable.h"
#include "wave/bytes.h"

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

bool payload_fits(const ChunkWalk *walk, const Chunk *c)
{
    return c->size <= walk->src->size - c->at - 8;
}

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

bool read_cue(const ByteSource *src, const Chunk *c, MarkerList *list)
{
    unsigned char b[4];
    if (c->size < 4 || !read_exactly(src, c->at + 8, b, 4))
        return false;
    uint32_t points = Assem4(b);
    if (points > (c->size - 4) / CUE_POINT_BYTES)
        return false;
    return read_entries(src, c->at + 12, points, CUE_POINT_BYTES, [list](const unsigned char *p) {
        Marker *m = add_marker(list, Assem4(p + CUE_SAMPLE_OFFSET));
        if (m == nullptr)
            return false; // the list is full
        m->id = Assem4(p);
        m->cuePoint = true;
        return true;
    });
}

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
    std::stable_sort(targets->items, targets->items + targets->count,
                     [list](uint16_t a, uint16_t b) {
                         return list->items[a].position < list->items[b].position;
                     });
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

bool read_smpl(const ByteSource *src, const Chunk *c, MarkerList *list)
{
    unsigned char b[SMPL_FIXED];
    if (c->size < SMPL_FIXED || !read_exactly(src, c->at + 8, b, SMPL_FIXED))
        return false;
    uint32_t loops = Assem4(b + 28);
    if (loops > (c->size - SMPL_FIXED) / SMPL_LOOP_BYTES)
        return false;
    LoopTargets targets{};
    bool wellFormed = true;
    bool read = read_entries(src, c->at + 8 + SMPL_FIXED, loops, SMPL_LOOP_BYTES,
                             [&](const unsigned char *loop) {
                                 uint32_t start = Assem4(loop + 8);
                                 uint32_t end = Assem4(loop + 12);
                                 wellFormed = end >= start;
                                 return wellFormed && add_loop(list, &targets, start, end);
                             });
    return read && wellFormed;
}

// The cue points by identifier, for the label lists' look-ups.
struct IdIndex {
    uint32_t count;
    uint16_t items[MOST_MARKERS];
};

void build_id_index(const MarkerList *list, IdIndex *index)
{
    index->count = 0;
    for (uint32_t i = 0; i < list->count; ++i) {
        if (list->items[i].cuePoint)
            index->items[index->count++] = static_cast<uint16_t>(i);
    }
    std::stable_sort(index->items, index->items + index->count, [list](uint16_t a, uint16_t b) {
        return list->items[a].id < list->items[b].id;
    });
}

// The first cue point with this identifier, or nullptr.
Marker *marker_with_id(MarkerList *list, const IdIndex *index, uint32_t id)
{
    const uint16_t *end = index->items + index->count;
    const uint16_t *at = std::lower_bound(
        index->items, end, id, [list](uint16_t i, uint32_t want) { return list->items[i].id < want; });
    return at != end && list->items[*at].id == id ? &list->items[*at] : nullptr;
}

// Copies a label, cut to fit; control characters (an escape sequence
// hidden in a file) become '?' before they reach the terminal.
void set_label(const ByteSource *src, uint64_t at, uint32_t bytes, Marker *m)
{
    unsigned char text[MARKER_LABEL_SIZE] = {};
    uint32_t n = std::min(bytes, MARKER_LABEL_SIZE - 1);
    if (!read_exactly(src, at, text, n))
        text[0] = '\0';
    std::memcpy(m->label, text, sizeof text);
    make_printable(m->label);
}

// One labl, note or ltxt entry of a LIST/adtl chunk, for the cue point it names.
bool read_adtl_entry(const ByteSource *src, const Chunk *entry, MarkerList *list,
                     const IdIndex *index)
{
    unsigned char b[8];
    if (entry->size < 4 || !read_exactly(src, entry->at + 8, b, 4))
        return false;
    Marker *m = marker_with_id(list, index, Assem4(b));
    if (m == nullptr)
        return true; // a label for a cue point that isn't there
    bool isLabel = four_cc_is(entry->id, "labl");
    bool isNote = four_cc_is(entry->id, "note");
    if (isLabel || (isNote && m->label[0] == '\0'))
        set_label(src, entry->at + 12, static_cast<uint32_t>(entry->size - 4), m);
    if (four_cc_is(entry->id, "ltxt")) {
        if (entry->size < 8 || !read_exactly(src, entry->at + 12, b, 4))
            return false;
        set_region(m, Assem4(b));
    }
    return true;
}

// The entries of a LIST/adtl chunk, each padded to an even size.
bool read_adtl(const ByteSource *src, const Chunk *c, MarkerList *list, const IdIndex *index)
{
    uint64_t end = c->at + 8 + c->size;
    for (uint64_t at = c->at + 12; at < end && end - at >= 8;) {
        unsigned char h[8];
        if (!read_exactly(src, at, h, sizeof h))
            return false;
        Chunk entry{};
        std::memcpy(entry.id, h, 4);
        entry.at = at;
        entry.size = Assem4(h + 4);
        if (entry.size > end - at - 8 || !read_adtl_entry(src, &entry, list, index))
            return false;
        at += 8 + padded(entry.size);
    }
    return true;
}

// Some handheld recorders spell the list's identifier in lowercase.
bool is_list(const Chunk *c)
{
    return chunk_is(c, "LIST") || chunk_is(c, "list");
}

bool is_adtl(const ByteSource *src, const Chunk *c)
{
    unsigned char type[4];
    return is_list(c) && c->size >= 4 && read_exactly(src, c->at + 8, type, 4) &&
           four_cc_is(type, "adtl");
}

// Label lists a file may hold; real files hold one.
constexpr uint32_t MOST_LABEL_LISTS = 8;

bool is_marker_chunk(const Chunk *c)
{
    return chunk_is(c, "cue ") || chunk_is(c, "smpl") || is_list(c);
}

// One walk of the chunk list reads the points and loops, and notes where
// the label lists lie: their entries name points that may come later in
// the file, so they are read after the walk.
bool read_chunks(const ByteSource *src, MarkerList *list)
{
    ChunkWalk walk{};
    if (begin_walk(src, &walk) != WALK_RIFF)
        return true;
    Chunk labels[MOST_LABEL_LISTS];
    uint32_t labelLists = 0;
    Chunk c{};
    WalkStep step = WALK_END;
    // A data chunk whose size runs past the end (a recording cut short)
    // is the last chunk.
    while ((step = next_chunk(&walk, &c)) == WALK_CHUNK && payload_fits(&walk, &c)) {
        bool ok = true;
        if (chunk_is(&c, "cue "))
            ok = read_cue(src, &c, list);
        else if (chunk_is(&c, "smpl"))
            ok = read_smpl(src, &c, list);
        else if (labelLists < MOST_LABEL_LISTS && is_adtl(src, &c))
            labels[labelLists++] = c;
        if (!ok)
            return false;
    }
    // A marker chunk that runs past the end of the file was cut short.
    if (step == WALK_BROKEN && is_marker_chunk(&c))
        return false;
    IdIndex index{};
    build_id_index(list, &index);
    for (uint32_t i = 0; i < labelLists; ++i) {
        if (!read_adtl(src, &labels[i], list, &index))
            return false;
    }
    return true;
}

// Leaves out the markers past the samples, orders the rest by position
// and ends each stretch.
void finish(MarkerList *list, uint32_t length)
{
    Marker *first = list->items;
    Marker *last = std::remove_if(first, first + list->count,
                                  [length](const Marker &m) { return m.position > length; });
    if (last != first + list->count)
        list->problems |= MARKERS_PAST_END;
    list->count = static_cast<uint32_t>(last - first);
    // Insertion sort: stable, in place, and quick enough for the few
    // hundred markers a file may hold.
    for (Marker *m = first + 1; m < last; ++m) {
        Marker moving = *m;
        Marker *at = m;
        for (; at > first && (at - 1)->position > moving.position; --at)
            *at = *(at - 1);
        *at = moving;
    }
    for (Marker *m = first; m != last; ++m) {
        if (m->region) {
            m->end = std::min(m->end, length);
            continue;
        }
        const Marker *next = std::find_if(
            m, last, [m](const Marker &other) { return other.position > m->position; });
        m->end = next != last ? next->position : length;
    }
}

} // namespace

void read_markers(const ByteSource *src, uint32_t length, MarkerList *out)
{
    out->count = 0;
    out->problems = 0;
    if (!read_chunks(src, out)) {
        out->count = 0;
        out->problems = MARKERS_BROKEN;
        return;
    }
    finish(out, length);
}

const Marker *marker_numbered(const MarkerList *list, int32_t number)
{
    if (number < 1 || static_cast<uint32_t>(number) > list->count)
        return nullptr;
    return &list->items[number - 1];
}
