// Typed words and numbers: what is taken, what is left for the next word.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <string>

#include "player/console_input.h"

namespace {

// Runs one number read on text, then reads the word that follows it.
struct Outcome {
    bool ok;
    std::string rest;
};

template <typename Number, typename Reader>
Outcome read_then_word(const char *text, Reader reader, Number *value)
{
    std::string copy = text;
    std::FILE *in = fmemopen(&copy[0], copy.size(), "r");
    bool ok = reader(in, value);
    char word[256] = "";
    if (read_word(in, word, sizeof word) == WORD_END)
        word[0] = '\0';
    std::fclose(in);
    return Outcome{ok, word};
}

Outcome read_int(const char *text, int32_t *value)
{
    return read_then_word(text, read_int32, value);
}

Outcome read_float_(const char *text, float *value)
{
    return read_then_word(text, read_float, value);
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

TEST(ReadFloat, FormsThatPercentFAccepts)
{
    float v = 0;
    read_float_("2.5", &v);
    EXPECT_EQ(v, 2.5f);
    Outcome o = read_float_("1e x", &v);
    EXPECT_EQ(v, 1.0f);
    EXPECT_EQ(o.rest, "x");
    o = read_float_("+.5e-1q", &v);
    EXPECT_EQ(v, 0.05f);
    EXPECT_EQ(o.rest, "q");
    read_float_("0x1p3", &v);
    EXPECT_EQ(v, 8.0f);
    o = read_float_("-infinityx", &v);
    EXPECT_EQ(v, -HUGE_VALF);
    EXPECT_EQ(o.rest, "x");
    read_float_("nan", &v);
    EXPECT_NE(v, v);
    read_float_("1e400", &v);
    EXPECT_EQ(v, HUGE_VALF);
    o = read_float_("1.5.3", &v);
    EXPECT_EQ(o.rest, ".3");
}

TEST(ReadFloat, NotANumberLeavesValue)
{
    float v = 3;
    for (const char *text : {"x", ".x", "0x z", "infin", "-"}) {
        EXPECT_FALSE(read_float_(text, &v).ok) << text;
        EXPECT_EQ(v, 3.0f) << text;
    }
    EXPECT_EQ(read_float_("abc", &v).rest, "abc");
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
