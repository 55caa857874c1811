// What the marker reader's files share: the points and loops, and the
// label lists that name them.
#pragma once
#include <cstdint>

#include "wave/chunks.h"
#include "wave/markers.h"

// Gives the marker the stretch of a region of length frames; none for 0.
void set_region(Marker *m, uint64_t length);

// The new marker at position, or nullptr (and the problem noted) when the
// list is full.
Marker *add_marker(MarkerList *list, uint32_t position);

// The points of a "cue " chunk, and the loops of a "smpl" chunk. False
// when the chunk is cut short or holds nonsense.
bool read_cue(const ByteSource *src, const Chunk *c, MarkerList *list);
bool read_smpl(const ByteSource *src, const Chunk *c, MarkerList *list);

// Sorts count indices into list by key(marker), equal keys kept in their
// order: an insertion sort, in place, so that reading markers allocates
// nothing (a list holds at most MOST_MARKERS).
template <typename Key>
void sort_marker_indices(uint16_t *items, uint32_t count, const MarkerList *list, Key key)
{
    for (uint32_t i = 1; i < count; ++i) {
        uint16_t moving = items[i];
        uint32_t at = i;
        for (; at > 0 && key(list->items[items[at - 1]]) > key(list->items[moving]); --at)
            items[at] = items[at - 1];
        items[at] = moving;
    }
}

// The cue points by identifier, for the label lists' look-ups.
struct IdIndex {
    uint32_t count;
    uint16_t items[MOST_MARKERS];
};

void build_id_index(const MarkerList *list, IdIndex *index);

// Whether the chunk is a LIST/adtl chunk (whatever the case of "LIST"),
// and its labels (labl, else note) and region lengths (ltxt) for the cue
// points they name. False when an entry overruns the list.
bool is_list(const Chunk *c);
bool is_adtl(const ByteSource *src, const Chunk *c);
bool read_adtl(const ByteSource *src, const Chunk *c, MarkerList *list, const IdIndex *index);
