// Fuzz target: the header probe on arbitrary file contents. Beyond the
// sanitizers' checks, it holds the probe to what the player relies on.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "wave/probe.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size > 0x7fffffff)
        return 0;
    uint32_t fileSize = static_cast<uint32_t>(size);
    uint32_t head = fileSize < PROBE_SPAN ? fileSize : PROBE_SPAN;
    WaveFields w{};
    if (probe_header(data, head, fileSize, &w) != PROBE_OK)
        return 0;
    uint64_t frameBytes = uint64_t{w.channels} * w.bytesPerSample;
    // Samples without whole bytes (compressed) come with no frames at all.
    if (frameBytes == 0 && w.length != 0)
        std::abort();
    // The data lies inside the file, and so does every frame counted.
    if (w.dataOffset > fileSize ||
        w.dataOffset + uint64_t{w.length} * frameBytes > fileSize)
        std::abort();
    return 0;
}
