// Fuzz target: the whole player on arbitrary standard input, against a small
// WAV fixture and the test double of the device calls. Every input must end
// the run normally: words, numbers in every base, overlong words, end of
// input anywhere.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "player/player.h"
#include "util/text_sizes.h"

namespace {

char fixture[64];

void put_le(std::FILE *f, uint32_t value, int width)
{
    for (int i = 0; i < width; ++i)
        std::fputc(static_cast<int>((value >> (8 * i)) & 0xff), f);
}

// Two seconds of 16-bit stereo at 8000 Hz.
void write_fixture()
{
    char dir[] = "/tmp/cuedeck-fuzz-XXXXXX";
    if (mkdtemp(dir) == nullptr)
        std::abort();
    std::snprintf(fixture, sizeof fixture, "%s/f.wav", dir);
    std::FILE *f = std::fopen(fixture, "wb");
    if (f == nullptr)
        std::abort();
    const uint32_t frames = 16000;
    std::fputs("RIFF", f);
    put_le(f, 36 + frames * 4, 4);
    std::fputs("WAVEfmt ", f);
    put_le(f, 16, 4);
    put_le(f, 1, 2);
    put_le(f, 2, 2);
    put_le(f, 8000, 4);
    put_le(f, 32000, 4);
    put_le(f, 4, 2);
    put_le(f, 16, 2);
    std::fputs("data", f);
    put_le(f, frames * 4, 4);
    for (uint32_t n = 0; n < frames * 2; ++n)
        put_le(f, n, 2);
    std::fclose(f);
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    write_fixture();
    if (std::freopen("/dev/null", "w", stdout) == nullptr)
        std::abort();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    // fmemopen refuses an empty buffer; one blank is the same input.
    std::vector<char> text(data, data + size);
    if (text.empty())
        text.push_back(' ');
    std::FILE *in = fmemopen(text.data(), text.size(), "r");
    if (in == nullptr)
        std::abort();
    std::FILE *terminal = stdin;
    stdin = in;
    char commandText[COMMAND_TEXT_SIZE] = " ";
    uint32_t rate = 0, bytesPerSample = 0, channels = 0, dataOffset = 0, length = 0;
    PLAY(fixture, "fake", rate, bytesPerSample, channels, dataOffset, length, 0, 0, commandText, 0,
         1, 1, NO_MARKER, NO_MARKER, false);
    stdin = terminal;
    std::fclose(in);
    return 0;
}
