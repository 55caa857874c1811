// Fuzz target: the header probe on arbitrary file contents. Beyond the
// sanitizers' checks, it holds the probe to what the player relies on.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "wave/bytes.h"
#include "wave/probe.h"

namespace {

// Where a plain RIFF/WAVE file's data chunk lies when its chunks, up to the
// first "fmt " and "data", all lie whole inside the file; 0 otherwise.
// Written apart from the probe's walk, to check it.
uint64_t data_chunk_of_whole_list(const uint8_t *data, size_t size)
{
    if (size < 12 || std::memcmp(data, "RIFF", 4) != 0 || std::memcmp(data + 8, "WAVE", 4) != 0)
        return 0;
    bool format = false;
    uint64_t found = 0;
    for (uint64_t at = 12, n = 0; at + 8 <= size && n < 1000; ++n) {
        uint64_t chunkSize = Assem4(data + at + 4);
        if (chunkSize > size - at - 8)
            return 0;
        if (!format && std::memcmp(data + at, "fmt ", 4) == 0)
            format = true;
        else if (found == 0 && std::memcmp(data + at, "data", 4) == 0)
            found = at;
        if (format && found != 0)
            return found;
        at += 8 + chunkSize + (chunkSize & 1);
    }
    return 0;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    ByteSource src{size, data, nullptr};
    WaveFields w{};
    if (probe_wave(&src, &w) != PROBE_OK)
        return 0;
    uint64_t frameBytes = uint64_t{w.channels} * w.bytesPerSample;
    // Samples without whole bytes (compressed) come with no frames at all.
    if (frameBytes == 0 && w.length != 0)
        std::abort();
    // The data lies inside the file, and so does every frame counted.
    if (w.dataOffset > size || w.dataOffset + uint64_t{w.length} * frameBytes > size)
        std::abort();
    // A whole chunk list is walked: its data chunk is the one played.
    uint64_t chunk = data_chunk_of_whole_list(data, size);
    if (chunk != 0 && w.dataOffset != chunk + 8)
        std::abort();
    // Markers come in order, each stretch inside the samples.
    static MarkerList markers;
    read_markers(&src, w.length, &markers);
    for (uint32_t i = 0; i < markers.count; ++i) {
        const Marker &m = markers.items[i];
        if (m.end < m.position || m.end > w.length ||
            (i > 0 && m.position < markers.items[i - 1].position) ||
            std::memchr(m.label, '\0', MARKER_LABEL_SIZE) == nullptr)
            std::abort();
    }
    return 0;
}
