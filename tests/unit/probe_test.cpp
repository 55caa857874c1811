// The header probe on headers built byte by byte.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "wave/bytes.h"
#include "wave/probe.h"

namespace {

using Bytes = std::vector<unsigned char>;

void put(Bytes &b, size_t at, const std::string &text)
{
    if (b.size() < at + text.size())
        b.resize(at + text.size());
    std::memcpy(b.data() + at, text.data(), text.size());
}

void put_le(Bytes &b, size_t at, uint32_t value, int width)
{
    if (b.size() < at + width)
        b.resize(at + width);
    for (int i = 0; i < width; ++i)
        b[at + i] = static_cast<unsigned char>(value >> (8 * i));
}

// A data block header at at: the identifier and the size field.
void put_data(Bytes &b, size_t at, uint32_t size)
{
    put(b, at, "data");
    put_le(b, at + 4, size, 4);
}

// A format chunk at fmt: channels, rate and bits at their fixed distances.
void put_format(Bytes &b, size_t fmt, uint32_t channels, uint32_t rate, uint32_t bits)
{
    put(b, fmt, "fmt ");
    put_le(b, fmt + 4, 16, 4);
    put_le(b, fmt + 8, 1, 2);
    put_le(b, fmt + 10, channels, 2);
    put_le(b, fmt + 12, rate, 4);
    put_le(b, fmt + 16, rate * channels * bits / 8, 4);
    put_le(b, fmt + 20, channels * bits / 8, 2);
    put_le(b, fmt + 22, bits, 2);
}

Bytes canonical(uint32_t channels, uint32_t rate, uint32_t bits, uint32_t dataSize, size_t present)
{
    Bytes b;
    put(b, 0, "RIFF");
    put_le(b, 4, 36 + dataSize, 4);
    put(b, 8, "WAVE");
    put_format(b, 12, channels, rate, bits);
    put_data(b, 36, dataSize);
    b.resize(44 + present, 0x55);
    return b;
}

ProbeResult probe(const Bytes &b, WaveFields *w)
{
    ByteSource src{b.size(), b.data(), nullptr};
    return probe_wave(&src, w);
}

} // namespace

TEST(Bytes, AssembleLittleEndianWithoutSignExtension)
{
    const unsigned char b[] = {0xfe, 0xff, 0xff, 0xff};
    EXPECT_EQ(Assem2(b), 0xfffeu);
    EXPECT_EQ(Assem4(b), 0xfffffffeu);
    const unsigned char c[] = {0x44, 0xac, 0x00, 0x80};
    EXPECT_EQ(Assem4(c), 0x8000ac44u);
}

TEST(Probe, CanonicalHeadersOfBothWidths)
{
    struct Case {
        uint32_t channels, rate, bits, dataSize;
        WaveFields want;
    };
    const Case cases[] = {
        {1, 44100, 16, 1000, {44100, 2, 1, 44, 500, {1, 16, 2, 0, false, false}, 44, 0}},
        {2, 48000, 24, 6000, {48000, 3, 2, 44, 1000, {1, 24, 6, 0, false, false}, 44, 0}},
    };
    for (const Case &c : cases) {
        WaveFields w{};
        ASSERT_EQ(probe(canonical(c.channels, c.rate, c.bits, c.dataSize, c.dataSize), &w),
                  PROBE_OK);
        EXPECT_EQ(w.channels, c.want.channels);
        EXPECT_EQ(w.bytesPerSample, c.want.bytesPerSample);
        EXPECT_EQ(w.rate, c.want.rate);
        EXPECT_EQ(w.dataOffset, c.want.dataOffset);
        EXPECT_EQ(w.length, c.want.length);
        EXPECT_EQ(w.format.blockAlign, c.want.format.blockAlign);
    }
}

TEST(Probe, LengthIsClampedToWholeFramesPresent)
{
    WaveFields w{};
    ASSERT_EQ(probe(canonical(2, 48000, 24, 0, 100), &w), PROBE_OK);
    EXPECT_EQ(w.length, 0u);
    // A placeholder size, and a size past the end with a partial last frame.
    ASSERT_EQ(probe(canonical(2, 48000, 24, 0xFFFFFFFF, 605), &w), PROBE_OK);
    EXPECT_EQ(w.length, 100u);
    ASSERT_EQ(probe(canonical(2, 44100, 16, 4000, 1001), &w), PROBE_OK);
    EXPECT_EQ(w.length, 250u);
    // Bytes after the data block don't add to the length.
    ASSERT_EQ(probe(canonical(1, 44100, 16, 100, 5000), &w), PROBE_OK);
    EXPECT_EQ(w.length, 50u);
}

TEST(Probe, WalkedListTakesItsDataChunkAndTheScanTheFirstEvenData)
{
    Bytes b = canonical(1, 8000, 16, 0, 0);
    b.resize(36);
    put(b, 36, "LIST");
    put_le(b, 40, 12, 4);
    put(b, 44, "xx");
    put_data(b, 46, 8); // "data" at an even position inside the LIST text
    put_data(b, 56, 8);
    b.resize(72, 0);
    WaveFields w{};
    ASSERT_EQ(probe(b, &w), PROBE_OK);
    EXPECT_EQ(w.dataOffset, 64u);
    // Without a RIFF header the list can't be walked.
    put(b, 0, "riff");
    ASSERT_EQ(probe(b, &w), PROBE_OK);
    EXPECT_EQ(w.dataOffset, 54u);
}

TEST(Probe, IdentifiersAtOddPositionsAreNotFound)
{
    Bytes b(200, 0);
    put_format(b, 13, 1, 8000, 16);
    put(b, 101, "data");
    WaveFields w{};
    EXPECT_EQ(probe(b, &w), PROBE_NO_FORMAT);
    put_format(b, 12, 1, 8000, 16);
    EXPECT_EQ(probe(b, &w), PROBE_NO_DATA);
    // An odd near-miss right before an even "data" doesn't hide it.
    put(b, 149, "d");
    put_data(b, 150, 0);
    ASSERT_EQ(probe(b, &w), PROBE_OK);
    EXPECT_EQ(w.dataOffset, 158u);
}

TEST(Probe, NoRiffNeededAndPositionZeroIsNeverTried)
{
    Bytes b(100, 0);
    put(b, 0, "data");
    put_format(b, 2, 1, 8000, 16);
    put_data(b, 40, 4);
    WaveFields w{};
    ASSERT_EQ(probe(b, &w), PROBE_OK);
    EXPECT_EQ(w.dataOffset, 48u);
}

TEST(Probe, SearchEndsAtPosition131072)
{
    Bytes b = canonical(1, 8000, 16, 0, 0);
    put(b, 36, "junk");
    put_data(b, 131072, 2);
    b.resize(131082, 0);
    WaveFields w{};
    ASSERT_EQ(probe(b, &w), PROBE_OK);
    EXPECT_EQ(w.dataOffset, 131080u);
    EXPECT_EQ(w.length, 1u);
    // An odd near-miss right before the last position doesn't hide it.
    put(b, 131071, "d");
    ASSERT_EQ(probe(b, &w), PROBE_OK);
    EXPECT_EQ(w.dataOffset, 131080u);

    put(b, 131072, "junkdata");
    b.resize(131090, 0);
    EXPECT_EQ(probe(b, &w), PROBE_NO_DATA);

    // An identifier that runs past the end of the file is none, whatever
    // the buffer holds beyond it.
    Bytes c = canonical(1, 8000, 16, 0, 0);
    put(c, 36, "junk");
    put(c, 131070, "data");
    c.resize(131072);
    EXPECT_EQ(probe(c, &w), PROBE_NO_DATA);
}

TEST(Probe, FieldsPastTheEndAreRefused)
{
    Bytes b = canonical(1, 8000, 16, 0, 0);
    WaveFields w{};
    b.resize(30); // cut inside the format chunk
    EXPECT_EQ(probe(b, &w), PROBE_CUT_SHORT);
    b = canonical(1, 8000, 16, 0, 0);
    b.resize(43); // the data size is incomplete
    EXPECT_EQ(probe(b, &w), PROBE_CUT_SHORT);
    // A scanned file that ends with its data header: no frames.
    b = canonical(1, 8000, 16, 0, 0);
    put(b, 0, "JUNK");
    ASSERT_EQ(probe(b, &w), PROBE_OK);
    EXPECT_EQ(w.length, 0u);
    b.resize(2);
    EXPECT_EQ(probe(b, &w), PROBE_NO_FORMAT);
    // A format chunk whose last field read ends the file is whole.
    b.assign(12, 0);
    put_data(b, 2, 0);
    put_format(b, 12, 1, 8000, 16);
    ASSERT_EQ(b.size(), 36u);
    EXPECT_EQ(probe(b, &w), PROBE_OK);
}

TEST(Probe, EmptyFramesAreRefused)
{
    WaveFields w{};
    EXPECT_EQ(probe(canonical(0, 8000, 16, 100, 100), &w), PROBE_NO_CHANNELS);
    EXPECT_EQ(probe(canonical(2, 8000, 0, 100, 100), &w), PROBE_NO_BITS);
}

// Files whose walk and scan disagree: the walk's answer is the one wanted.
TEST(Probe, WalkTakesSizesFromDs64AndGivesUpOnEndlessLists)
{
    // RF64: a JUNK chunk sized only in ds64's table, holding an even "data".
    Bytes rf(12, 0);
    put(rf, 0, "RF64");
    put(rf, 8, "WAVE");
    put(rf, 12, "ds64");
    put_le(rf, 16, 52, 4);
    put_le(rf, 28, 8, 4); // the data's 64-bit size, low half
    put_le(rf, 44, 2, 4); // two table entries, the JUNK's second
    put(rf, 48, "abcd");
    put_le(rf, 52, 5, 4);
    put(rf, 60, "JUNK");
    put_le(rf, 64, 100, 4);
    put_format(rf, 72, 1, 8000, 16);
    put(rf, 96, "JUNK");
    put_le(rf, 100, 0xFFFFFFFF, 4);
    put_data(rf, 104, 8); // inside the JUNK payload
    put_data(rf, 204, 0xFFFFFFFF);
    rf.resize(220, 0);
    // A table that claims more entries than the chunk has room for.
    Bytes crowded = rf;
    put_le(crowded, 44, 1000, 4);
    // RIFF: a "data" in a LIST before a data chunk whose size is a placeholder.
    Bytes placeholder = canonical(1, 8000, 16, 0, 0);
    put(placeholder, 36, "LIST");
    put_le(placeholder, 40, 12, 4);
    put_data(placeholder, 44, 2);
    put_data(placeholder, 56, 0xFFFFFFFF);
    placeholder.resize(70, 0);
    // A list of 1024 chunks before its data is damaged: the scan decides.
    Bytes endless = canonical(1, 8000, 16, 0, 0);
    for (size_t at = 36; at < 36 + 8 * 1022; at += 8)
        put(endless, at, "abcd");
    put(endless, 36 + 8 * 1022, "LIST");
    put_le(endless, 40 + 8 * 1022, 12, 4);
    put_data(endless, 44 + 8 * 1022, 2);
    put_data(endless, 56 + 8 * 1022, 2);
    endless.resize(66 + 8 * 1022, 0);
    const struct {
        const Bytes &file;
        uint32_t dataOffset, length;
    } rows[] = {{rf, 212, 4}, {placeholder, 64, 3}, {endless, 52 + 8 * 1022, 1}, {crowded, 212, 4}};
    for (const auto &row : rows) {
        WaveFields w{};
        ASSERT_EQ(probe(row.file, &w), PROBE_OK);
        EXPECT_EQ(w.dataOffset, row.dataOffset);
        EXPECT_EQ(w.length, row.length);
    }
}
