#include "util/printable.h"

#include <cstdio>

namespace {

bool continuation(unsigned char b)
{
    return b >= 0x80 && b <= 0xBF;
}

// The bytes of the whole UTF-8 character that begins at s, or 0 where none
// does. Only the lead byte and its continuations are looked at.
size_t utf8_length(const unsigned char *s)
{
    size_t n = s[0] >= 0xC2 && s[0] <= 0xDF   ? 2
               : s[0] >= 0xE0 && s[0] <= 0xEF ? 3
               : s[0] >= 0xF0 && s[0] <= 0xF4 ? 4
                                              : 0;
    for (size_t i = 1; i < n; ++i) {
        if (!continuation(s[i]))
            return 0;
    }
    return n;
}

} // namespace

void make_printable(char *text)
{
    auto *in = reinterpret_cast<unsigned char *>(text);
    unsigned char *out = in;
    while (*in != '\0') {
        size_t n = utf8_length(in);
        bool control = *in < 0x20 || *in == 0x7F || (n == 0 && *in >= 0x80 && *in <= 0x9F) ||
                       (n == 2 && in[0] == 0xC2 && in[1] <= 0x9F);
        if (control) {
            *out++ = '?';
            in += n == 0 ? 1 : n;
            continue;
        }
        for (size_t i = 0; i < (n == 0 ? 1 : n); ++i)
            *out++ = *in++;
    }
    *out = '\0';
}

void printable_copy(const char *text, char *out, size_t size)
{
    std::snprintf(out, size, "%s", text);
    make_printable(out);
}
