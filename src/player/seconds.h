// Conversions between seconds (single precision) and frame positions
// (signed 32-bit), and the wrap-around arithmetic of frame positions.
#pragma once
#include <cstdint>

// float(rate) * seconds, in single precision: the product that every
// seconds-to-frames conversion starts from.
float frames_product(uint32_t rate, float seconds);

// Truncates a product toward zero. Beyond the int32_t range it gives the
// nearest end of the range; NaN gives 0.
int32_t truncate_to_frames(float product);

// truncate_to_frames(frames_product(rate, seconds)).
int32_t seconds_to_frames(uint32_t rate, float seconds);

// frames / rate in single precision, the frames taken as signed.
float frames_to_seconds(int32_t frames, uint32_t rate);

// Frame positions add and subtract in 32-bit two's complement and wrap on
// overflow; unsigned arithmetic keeps that defined.
inline int32_t wrap_add(int32_t a, int32_t b)
{
    return static_cast<int32_t>(static_cast<uint32_t>(a) + static_cast<uint32_t>(b));
}

inline int32_t wrap_sub(int32_t a, int32_t b)
{
    return static_cast<int32_t>(static_cast<uint32_t>(a) - static_cast<uint32_t>(b));
}
