#include "wave/markers.h"

#include <algorithm>

#include "wave/marker_chunks.h"

namespace {

bool payload_fits(const ChunkWalk *walk, const Chunk *c)
{
    return c->size <= walk->src->size - c->at - 8;
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
