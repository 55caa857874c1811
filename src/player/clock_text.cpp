#include "player/clock_text.h"

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <stdio_ext.h>
#include <unistd.h>

size_t format_hundredths(float seconds, char *out)
{
    // A float has a 24-bit significand and 100 needs 7 bits, so the product
    // is exact in double: rounding it to an integer rounds exactly as printf
    // rounds the decimal expansion (nearest, ties to even).
    double hundredths = static_cast<double>(seconds) * 100.0;
    if (std::signbit(hundredths) || !(hundredths < 1e9))
        return 0;
    auto n = static_cast<uint32_t>(std::nearbyint(hundredths));
    char digits[12];
    size_t len = 0;
    do {
        digits[len++] = static_cast<char>('0' + n % 10);
        n /= 10;
    } while (n > 0 || len < 3); // at least "0.0x"
    size_t at = 0;
    for (size_t i = len; i-- > 2;)
        out[at++] = digits[i];
    out[at++] = '.';
    out[at++] = digits[1];
    out[at++] = digits[0];
    out[at] = '\0';
    return at;
}

void print_clock(float seconds)
{
    static constexpr char PREFIX[] = "\rclock = ";
    constexpr size_t prefix = sizeof PREFIX - 1;
    char text[48];
    std::memcpy(text, PREFIX, prefix);
    size_t len = format_hundredths(seconds, text + prefix);
    if (len == 0) {
        std::printf("\rclock = %.2f sec", static_cast<double>(seconds));
        std::fflush(stdout);
        return;
    }
    std::memcpy(text + prefix + len, " sec", 4);
    // The same bytes at the same moment as printf and fflush would send,
    // without stdio's formatting, locking and copying on every period:
    // whatever stdio still holds goes first, then the line itself.
    if (__fpending(stdout) > 0)
        std::fflush(stdout);
    ssize_t written = write(STDOUT_FILENO, text, prefix + len + 4);
    (void)written; // as with fflush, a failed clock line changes nothing
}
