// The hand-made clock text must be exactly what printf's "%.2f" makes.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <string>

#include "player/clock_text.h"
#include "player/seconds.h"

namespace {

std::string by_printf(float seconds)
{
    char text[64];
    std::snprintf(text, sizeof text, "%.2f", static_cast<double>(seconds));
    return text;
}

std::string by_hand(float seconds)
{
    char text[32];
    return format_hundredths(seconds, text) > 0 ? std::string(text) : "(printf)";
}

} // namespace

TEST(ClockText, MatchesPrintfForEveryFramePositionOfMinutes)
{
    for (uint32_t rate : {8000u, 44100u, 48000u, 96000u}) {
        for (int32_t pos = 0; pos < 200000; pos += 7)
            ASSERT_EQ(by_hand(frames_to_seconds(pos, rate)), by_printf(frames_to_seconds(pos, rate)))
                << pos << " at " << rate;
        for (int32_t pos = 0; pos < 2000000000 - 4096 * 997; pos += 4096 * 997)
            ASSERT_EQ(by_hand(frames_to_seconds(pos, rate)), by_printf(frames_to_seconds(pos, rate)));
    }
}

TEST(ClockText, TiesRoundToEvenAsPrintfDoes)
{
    for (float v : {0.125f, 0.375f, 2.5f / 100, 1.005f, 0.0f, 9999999.0f, 99999.995f})
        EXPECT_EQ(by_hand(v), by_printf(v)) << v;
}

TEST(ClockText, LeavesTheRestToPrintf)
{
    for (float v : {-0.0f, -1.0f, INFINITY, NAN, 1e7f})
        EXPECT_EQ(by_hand(v), "(printf)") << v;
}
