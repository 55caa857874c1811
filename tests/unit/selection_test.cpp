// Seconds to frames, and the frame-stepping commands at their edges.
#include <gtest/gtest.h>

#include <cmath>

#include "player/seconds.h"
#include "player/selection.h"

static constexpr uint32_t L = 441000;

// Found by gtest through the type's own (global) namespace.
static bool operator==(Selection a, Selection b)
{
    return a.start == b.start && a.stop == b.stop;
}

static std::ostream &operator<<(std::ostream &os, Selection s)
{
    return os << "{" << s.start << ", " << s.stop << "}";
}

TEST(Seconds, TruncatesSinglePrecisionProducts)
{
    EXPECT_EQ(seconds_to_frames(44100, 2.5f), 110250);
    EXPECT_EQ(seconds_to_frames(44100, -0.00001f), 0);
    EXPECT_EQ(seconds_to_frames(44100, -1.0f), -44100);
    // 0.1f * 44100 in single precision is 4410.0002, not 4409.99...
    EXPECT_EQ(seconds_to_frames(44100, 0.1f), 4410);
    EXPECT_EQ(seconds_to_frames(48000, 1e9f), INT32_MAX);
    EXPECT_EQ(seconds_to_frames(48000, -1e9f), INT32_MIN);
    EXPECT_EQ(seconds_to_frames(48000, NAN), 0);
    EXPECT_EQ(seconds_to_frames(48000, INFINITY), INT32_MAX);
    EXPECT_EQ(truncate_to_frames(-2147483648.0f), INT32_MIN);
    EXPECT_EQ(truncate_to_frames(2147483648.0f), INT32_MAX);
}

TEST(Seconds, WrapAround)
{
    EXPECT_EQ(wrap_add(INT32_MAX, 1), INT32_MIN);
    EXPECT_EQ(wrap_sub(INT32_MIN, 1), INT32_MAX);
}

TEST(Jump, AheadAndBack)
{
    Selection s{0, 44100};
    s = jump_ahead(s, L);
    EXPECT_EQ(s, (Selection{44100, 88200}));
    EXPECT_EQ(jump_ahead(s, L), (Selection{88200, 132300}));
    EXPECT_EQ(jump_back(s), (Selection{0, 44100}));
    EXPECT_EQ(jump_back(Selection{0, 44100}), (Selection{0, 0}));
    // Clipped at the end of the file.
    EXPECT_EQ(jump_ahead(Selection{400000, 430000}, L), (Selection{430000, 441000}));
}

TEST(Jump, WrappedCandidatesCompareUnsigned)
{
    // 2E - S wraps negative: as unsigned it lies past the end.
    EXPECT_EQ(jump_ahead(Selection{-2000000000, 1500000000}, L), (Selection{1500000000, 441000}));
    // 2E - S is negative without wrapping: also past the end.
    EXPECT_EQ(jump_ahead(Selection{100, -10}, L), (Selection{-10, 441000}));
    // 2S - E wraps positive: it stays.
    EXPECT_EQ(jump_back(Selection{-1500000000, 0}), (Selection{1294967296, -1500000000}));
}

TEST(Nudge, StartStopAndBoth)
{
    const int32_t N = 12000;
    EXPECT_EQ(nudge_start_forward(Selection{0, 44100}, N), (Selection{12000, 44100}));
    EXPECT_EQ(nudge_start_forward(Selection{40000, 44100}, N), (Selection{44100, 44100}));
    EXPECT_EQ(nudge_start_backward(Selection{5000, 44100}, N), (Selection{0, 44100}));
    EXPECT_EQ(nudge_stop_forward(Selection{0, 435000}, L, N), (Selection{0, 441000}));
    EXPECT_EQ(nudge_stop_backward(Selection{100, 200}, N), (Selection{100, 100}));
    EXPECT_EQ(nudge_stop_backward(Selection{100, 20000}, N), (Selection{100, 8000}));
    EXPECT_EQ(nudge_both_forward(Selection{435000, 441000}, L, N), (Selection{447000, 441000}));
    EXPECT_EQ(nudge_both_backward(Selection{5000, 8000}, N), (Selection{0, 0}));
    EXPECT_EQ(nudge_both_backward(Selection{50000, 80000}, N), (Selection{38000, 68000}));
}

TEST(Nudge, WrapsWithoutUndefinedBehaviour)
{
    const int32_t N = 12000;
    // S + N wraps negative: below the stop, so it is taken.
    EXPECT_EQ(nudge_start_forward(Selection{INT32_MAX - 5, INT32_MAX}, N).start, INT32_MIN + 11994);
    // E + N wraps negative: as unsigned it is past the end.
    EXPECT_EQ(nudge_stop_forward(Selection{0, INT32_MAX - 5}, L, N).stop, 441000);
    // S - N wraps positive and stays.
    EXPECT_EQ(nudge_start_backward(Selection{INT32_MIN + 5, 0}, N).start, INT32_MAX - 11994);
}

TEST(StepCommand, OnlyExactWords)
{
    Selection s{0, 44100};
    EXPECT_FALSE(apply_step_command("jj", &s, L, 12000));
    EXPECT_FALSE(apply_step_command("nn", &s, L, 12000));
    EXPECT_EQ(s, (Selection{0, 44100}));
    EXPECT_TRUE(apply_step_command("no", &s, L, 12000));
    EXPECT_EQ(s, (Selection{0, 56100}));
}
