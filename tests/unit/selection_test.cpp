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

TEST(StepCommands, EachEndAndItsClips)
{
    struct Row {
        StepCommand step;
        Selection from, to;
    };
    const Row rows[] = {
        {jump_ahead, {0, 44100}, {44100, 88200}},
        {jump_ahead, {44100, 88200}, {88200, 132300}},
        {jump_ahead, {400000, 430000}, {430000, 441000}}, // clipped at the end
        {jump_back, {44100, 88200}, {0, 44100}},
        {jump_back, {0, 44100}, {0, 0}},
        {nudge_start_forward, {0, 44100}, {12000, 44100}},
        {nudge_start_forward, {40000, 44100}, {44100, 44100}},
        {nudge_start_backward, {5000, 44100}, {0, 44100}},
        {nudge_stop_forward, {0, 435000}, {0, 441000}},
        {nudge_stop_backward, {100, 200}, {100, 100}},
        {nudge_stop_backward, {100, 20000}, {100, 8000}},
        {nudge_both_forward, {435000, 441000}, {447000, 441000}},
        {nudge_both_backward, {5000, 8000}, {0, 0}},
        {nudge_both_backward, {50000, 80000}, {38000, 68000}},
        // Wrapped candidates: compared with the length as unsigned, a
        // negative one lies past the end; elsewhere they are taken as they are.
        {jump_ahead, {-2000000000, 1500000000}, {1500000000, 441000}},
        {jump_ahead, {100, -10}, {-10, 441000}},
        {jump_back, {-1500000000, 0}, {1294967296, -1500000000}},
        {nudge_start_forward, {INT32_MAX - 5, INT32_MAX}, {INT32_MIN + 11994, INT32_MAX}},
        {nudge_stop_forward, {0, INT32_MAX - 5}, {0, 441000}},
        {nudge_start_backward, {INT32_MIN + 5, 0}, {INT32_MAX - 11994, 0}},
    };
    for (const Row &r : rows)
        EXPECT_EQ(r.step(r.from, L, 12000), r.to) << r.from;
}
