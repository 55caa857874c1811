#include "player/seconds.h"

#include <limits>

static_assert(std::numeric_limits<float>::is_iec559, "single precision must be IEEE 754");

float frames_product(uint32_t rate, float seconds)
{
    return static_cast<float>(rate) * seconds;
}

int32_t truncate_to_frames(float product)
{
    // 2^31 is exact in single precision; every float below it and at or above
    // -2^31 truncates into the int32_t range.
    constexpr float TWO_POW_31 = 2147483648.0f;
    if (product != product)
        return 0;
    if (product >= TWO_POW_31)
        return INT32_MAX;
    if (product < -TWO_POW_31)
        return INT32_MIN;
    return static_cast<int32_t>(product);
}

int32_t seconds_to_frames(uint32_t rate, float seconds)
{
    return truncate_to_frames(frames_product(rate, seconds));
}

float frames_to_seconds(int32_t frames, uint32_t rate)
{
    return static_cast<float>(frames) / static_cast<float>(rate);
}
