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

// One labl, note or ltxt entry of a LIST/adtl chunk, for the cue point it names.
bool read_adtl_entry(const ByteSource *src, const Chunk *entry, MarkerList *list,
                     const IdIndex *index)
{
    unsigned char b[8];
    if (entry->size < 4 || !read_exactly(src, entry->at + 8, b, 4))
        return false;
    Marker *m = marker_with_id(list, index, field4(b, entry->bigEndian));
    if (m == nullptr)
        return true; // a label for a cue point that isn't there
    bool isLabel = four_cc_is(entry->id, "labl");
    bool isNote = four_cc_is(entry->id, "note");
    if (isLabel || (isNote && m->label[0] == '\0'))
        set_label(src, entry->at + 12, static_cast<uint32_t>(entry->size - 4), m);
    if (four_cc_is(entry->id, "ltxt")) {
        if (entry->size < 8 || !read_exactly(src, entry->at + 12, b, 4))
            return false;
        set_region(m, field4(b, entry->bigEndian));
    }
    return true;
}

} // namespace

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
        entry.bigEndian = c->bigEndian;
        entry.size = field4(h + 4, c->bigEndian);
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
