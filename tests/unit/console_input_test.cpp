// Typed words and numbers: what is taken, what is left for the next word.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "util/console_input.h"

namespace {

struct Outcome {
    bool ok;
    std::string rest;
};

// Reads one whole number from text, then the word that follows it.
Outcome read_int(const char *text, int32_t *value)
{
    std::string copy = text;
    std::FILE *in = fmemopen(&copy[0], copy.size(), "r");
    bool ok = read_int32(in, value);
    char word[256] = "";
    if (read_word(in, word, sizeof word) == WORD_END)
        word[0] = '\0';
    std::fclose(in);
    return Outcome{ok, word};
}

} // namespace

TEST(ReadInt, BasesAsPercentI)
{
    int32_t v = -7;
    EXPECT_TRUE(read_int("010 z", &v).ok);
    EXPECT_EQ(v, 8);
    read_int("0x10", &v);
    EXPECT_EQ(v, 16);
    read_int("-0X1f", &v);
    EXPECT_EQ(v, -31);
    Outcome o = read_int("08", &v);
    EXPECT_EQ(v, 0);
    EXPECT_EQ(o.rest, "8");
    o = read_int("0xg", &v);
    EXPECT_TRUE(o.ok);
    EXPECT_EQ(v, 0);
    EXPECT_EQ(o.rest, "g");
}

TEST(ReadInt, SaturatesAtTheInt32Range)
{
    int32_t v = 0;
    read_int("99999999999999999999999", &v);
    EXPECT_EQ(v, INT32_MAX);
    read_int("-2147483648", &v);
    EXPECT_EQ(v, INT32_MIN);
    read_int("-2147483649", &v);
    EXPECT_EQ(v, INT32_MIN);
    read_int("2147483648", &v);
    EXPECT_EQ(v, INT32_MAX);
    read_int("0xffffffffffff", &v);
    EXPECT_EQ(v, INT32_MAX);
}

TEST(ReadInt, NotANumberLeavesValueAndWord)
{
    int32_t v = 5;
    Outcome o = read_int("  abc", &v);
    EXPECT_FALSE(o.ok);
    EXPECT_EQ(v, 5);
    EXPECT_EQ(o.rest, "abc");
    o = read_int("-x", &v); // the sign is consumed, as scanf consumes it
    EXPECT_FALSE(o.ok);
    EXPECT_EQ(o.rest, "x");
    EXPECT_FALSE(read_int("", &v).ok);
}

TEST(ReadWord, LongWordsAreCutAndTheirRestDropped)
{
    std::string text = std::string(300, 'a') + " next";
    std::FILE *in = fmemopen(&text[0], text.size(), "r");
    char word[256];
    EXPECT_EQ(read_word(in, word, sizeof word), WORD_TOO_LONG);
    EXPECT_EQ(std::string(word), std::string(255, 'a'));
    EXPECT_EQ(read_word(in, word, sizeof word), WORD_READ);
    EXPECT_STREQ(word, "next");
    EXPECT_EQ(read_word(in, word, sizeof word), WORD_END);
    std::fclose(in);
}

TEST(ClampToInt32, LongValues)
{
    EXPECT_EQ(clamp_to_int32(-5), -5);
#if LONG_MAX > INT32_MAX
    EXPECT_EQ(clamp_to_int32(4294967297L), INT32_MAX);
    EXPECT_EQ(clamp_to_int32(-4294967297L), INT32_MIN);
#endif
}
