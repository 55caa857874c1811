// The monotonic clock, in nanoseconds: for waits and deadlines, never for
// what a file holds.
#pragma once
#include <cstdint>
#include <ctime>

inline int64_t monotonic_ns()
{
    struct timespec t {};
    clock_gettime(CLOCK_MONOTONIC, &t);
    return int64_t{t.tv_sec} * 1000000000 + t.tv_nsec;
}
