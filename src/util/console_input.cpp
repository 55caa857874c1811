#include "util/console_input.h"

#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <poll.h>

namespace {

// What a read does while nothing is typed: see console_wait_with.
void (*waitForInput)(std::FILE *in) = nullptr;

} // namespace

void console_wait_with(void (*wait)(std::FILE *in))
{
    waitForInput = wait;
}

int console_getc(std::FILE *in)
{
    if (waitForInput != nullptr && !input_waiting(in))
        waitForInput(in);
    for (;;) {
        errno = 0;
        int c = std::getc(in);
        if (c != EOF || !std::ferror(in) || errno != EINTR)
            return c;
        std::clearerr(in);
    }
}

namespace {

int skip_space(std::FILE *in)
{
    int c = console_getc(in);
    while (c != EOF && std::isspace(c))
        c = console_getc(in);
    return c;
}

// A number being scanned, with one character of look-ahead in c. Like scanf,
// it gives back at most that one character to the stream.
struct Scan {
    std::FILE *in;
    int c;
};

void take(Scan *s)
{
    s->c = console_getc(s->in);
}

bool take_if(Scan *s, const char *choices)
{
    if (s->c == EOF || std::strchr(choices, s->c) == nullptr)
        return false;
    take(s);
    return true;
}

void give_back(Scan *s)
{
    if (s->c != EOF)
        std::ungetc(s->c, s->in);
}

// The value of c as a digit in base, or base itself when it is none.
uint32_t digit_value(int c, uint32_t base)
{
    uint32_t digit = base;
    if (c != EOF && std::isdigit(c))
        digit = static_cast<uint32_t>(c - '0');
    else if (c != EOF && std::isxdigit(c))
        digit = static_cast<uint32_t>(std::tolower(c) - 'a' + 10);
    return digit < base ? digit : base;
}

} // namespace

bool input_waiting(std::FILE *in)
{
#ifdef __GLIBC__
    // What stdio already read ahead: no descriptor shows it.
    if (in->_IO_read_ptr < in->_IO_read_end)
        return true;
#endif
    struct pollfd fd = {fileno(in), POLLIN, 0};
    return poll(&fd, 1, 0) > 0;
}

bool word_waiting(std::FILE *in)
{
    while (input_waiting(in)) {
        int c = console_getc(in);
        if (c == EOF || !std::isspace(c)) {
            if (c != EOF)
                std::ungetc(c, in);
            return true;
        }
    }
    return false;
}

WordResult read_word(std::FILE *in, char *word, size_t capacity)
{
    int c = skip_space(in);
    if (c == EOF)
        return WORD_END;
    size_t n = 0;
    bool cut = false;
    while (c != EOF && !std::isspace(c)) {
        if (n + 1 < capacity)
            word[n++] = static_cast<char>(c);
        else
            cut = true;
        c = console_getc(in);
    }
    if (c != EOF)
        std::ungetc(c, in);
    word[n] = '\0';
    return cut ? WORD_TOO_LONG : WORD_READ;
}

bool read_int32(std::FILE *in, int32_t *number)
{
    Scan s{in, skip_space(in)};
    bool negative = s.c == '-';
    take_if(&s, "+-");
    uint32_t base = 10;
    bool seen = false;
    if (s.c == '0') {
        take(&s);
        seen = true;
        base = take_if(&s, "xX") ? 16 : 8;
    }
    // Saturates one step past the int32_t range so that the sign decides the end.
    const int64_t limit = int64_t{INT32_MAX} + 1;
    int64_t magnitude = 0;
    for (uint32_t digit; (digit = digit_value(s.c, base)) < base;) {
        take(&s);
        seen = true;
        magnitude = magnitude * base + digit;
        if (magnitude > limit)
            magnitude = limit;
    }
    give_back(&s);
    if (!seen)
        return false;
    int64_t value = negative ? -magnitude : magnitude;
    *number = value > INT32_MAX ? INT32_MAX : static_cast<int32_t>(value);
    return true;
}

int32_t clamp_to_int32(long value)
{
    if (value > INT32_MAX)
        return INT32_MAX;
    if (value < INT32_MIN)
        return INT32_MIN;
    return static_cast<int32_t>(value);
}

bool marker_number(const char *word, int32_t *number)
{
    if (word[0] != '#' || word[1] < '0' || word[1] > '9')
        return false;
    char *end = nullptr;
    long value = std::strtol(word + 1, &end, 10);
    if (*end != '\0')
        return false;
    *number = clamp_to_int32(value);
    return true;
}
