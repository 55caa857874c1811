// Label lists: the labl, note and ltxt entries of a LIST/adtl chunk, for
// the cue points they name.
#include <algorithm>
#include <cstring>

#include "util/printable.h"
#include "wave/bytes.h"
#include "wave/marker_chunks.h"

void build_id_index(const MarkerList *list, IdIndex *index)
{
    index->count = 0;
    for (uint32_t i = 0; i < list->count; ++i) {
        if (list->items[i].cuePoint)
            index->items[index->count++] = static_cast<uint16_t>(i);
    }
    sort_marker_indices(index->items, index->count, list, [](const Marker &m) { return m.id; });
}

namespace {

// The first cue point with this identifier, or nullptr.
Marker *marker_with_id(MarkerList *list, const IdIndex *index, uint32_t id)
{
    const uint16_t *end = index->items + index->count;
    const uint16_t *at = std::lower_bound(index->items, end, id, [list](uint16_t i, uint32_t want) {
        return list->items[i].id < want;
    });
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

// The list is read a block at a time: it may hold millions of entries, and
// a read for each would cost seconds.
constexpr size_t LIST_BLOCK_BYTES = 64 * 1024;

// An entry's header and the fields read from it: id, cue point, and for
// ltxt the region's length.
constexpr size_t ENTRY_FIELDS_BYTES = 16;

struct ListReader {
    const ByteSource *src;
    uint64_t end;     // of the list's payload
    uint64_t blockAt; // where block's bytes lie in the file
    size_t blockBytes;
    unsigned char block[LIST_BLOCK_BYTES];
};

// The n bytes at at (never past the list's end), from the block, read
// anew from at when they are not all in it; nullptr when the file ends.
const unsigned char *list_bytes(ListReader *r, uint64_t at, size_t n)
{
    if (at >= r->blockAt && at + n <= r->blockAt + r->blockBytes)
        return r->block + (at - r->blockAt);
    r->blockAt = at;
    r->blockBytes =
        read_at(r->src, at, r->block, std::min<uint64_t>(LIST_BLOCK_BYTES, r->end - at));
    return r->blockBytes >= n ? r->block : nullptr;
}

// One labl, note or ltxt entry of a LIST/adtl chunk, for the cue point it
// names; f holds its first fields (up to ENTRY_FIELDS_BYTES).
bool read_adtl_entry(const ByteSource *src, const Chunk *entry, const unsigned char *f,
                     MarkerList *list, const IdIndex *index)
{
    if (entry->size < 4)
        return false;
    Marker *m = marker_with_id(list, index, field4(f + 8, entry->bigEndian));
    if (m == nullptr)
        return true; // a label for a cue point that isn't there
    bool isLabel = four_cc_is(entry->id, "labl");
    bool isNote = four_cc_is(entry->id, "note");
    if (isLabel || (isNote && m->label[0] == '\0'))
        set_label(src, entry->at + 12, static_cast<uint32_t>(entry->size - 4), m);
    if (four_cc_is(entry->id, "ltxt")) {
        if (entry->size < 8)
            return false;
        set_region(m, field4(f + 12, entry->bigEndian));
    }
    return true;
}

} // namespace

// The entries of a LIST/adtl chunk, each padded to an even size.
bool read_adtl(const ByteSource *src, const Chunk *c, MarkerList *list, const IdIndex *index)
{
    static_assert(ENTRY_FIELDS_BYTES <= LIST_BLOCK_BYTES, "an entry's fields fit a block");
    ListReader reader{};
    reader.src = src;
    reader.end = c->at + 8 + c->size;
    for (uint64_t at = c->at + 12; at < reader.end && reader.end - at >= 8;) {
        auto fields = static_cast<size_t>(std::min<uint64_t>(ENTRY_FIELDS_BYTES, reader.end - at));
        const unsigned char *f = list_bytes(&reader, at, fields);
        if (f == nullptr)
            return false;
        Chunk entry{};
        std::memcpy(entry.id, f, 4);
        entry.at = at;
        entry.bigEndian = c->bigEndian;
        entry.size = field4(f + 4, c->bigEndian);
        // Within the list, an entry's size also keeps its fields in f.
        if (entry.size > reader.end - at - 8 || !read_adtl_entry(src, &entry, f, list, index))
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
