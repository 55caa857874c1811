#include "player/console_input.h"

#include <cctype>
#include <cstdlib>
#include <cstring>

namespace {

// Longest number text kept for conversion. Characters beyond it are still
// read as part of the number but no longer change its value.
constexpr size_t NUMBER_TEXT_SIZE = 256;

int skip_space(std::FILE *in)
{
    int c = std::getc(in);
    while (c != EOF && std::isspace(c))
        c = std::getc(in);
    return c;
}

// The text of a number being scanned, with one character of look-ahead in c.
// Like scanf, it gives back at most that one character to the stream.
struct Scan {
    std::FILE *in;
    int c;
    char text[NUMBER_TEXT_SIZE];
    size_t used;
};

void take(Scan *s)
{
    if (s->used + 1 < NUMBER_TEXT_SIZE)
        s->text[s->used++] = static_cast<char>(s->c);
    s->c = std::getc(s->in);
}

bool take_if(Scan *s, const char *choices)
{
    if (s->c == EOF || std::strchr(choices, s->c) == nullptr)
        return false;
    take(s);
    return true;
}

size_t take_digits(Scan *s, int (*is_digit)(int))
{
    size_t n = 0;
    while (s->c != EOF && is_digit(s->c)) {
        take(s);
        ++n;
    }
    return n;
}

// Matches a word such as "inf" without regard to case; false on the first
// character that differs (which stays in the look-ahead).
bool take_word(Scan *s, const char *word)
{
    for (; *word != '\0'; ++word) {
        if (s->c == EOF || std::tolower(s->c) != *word)
            return false;
        take(s);
    }
    return true;
}

void give_back(Scan *s)
{
    if (s->c != EOF)
        std::ungetc(s->c, s->in);
    s->text[s->used] = '\0';
}

int is_decimal(int c) { return std::isdigit(c); }
int is_hexadecimal(int c) { return std::isxdigit(c); }

// The part of a "%f" number after its sign: inf, infinity, nan, a decimal
// number with an optional exponent, or "0x" and a hexadecimal one.
bool scan_float_body(Scan *s)
{
    if (s->c == 'i' || s->c == 'I') {
        if (!take_word(s, "inf"))
            return false;
        // "infinity" in full, or just "inf"; a partial "infin" is no number.
        return (s->c != 'i' && s->c != 'I') || take_word(s, "inity");
    }
    if (s->c == 'n' || s->c == 'N')
        return take_word(s, "nan");
    int (*is_digit)(int) = is_decimal;
    const char *exponent = "eE";
    size_t digits = 0;
    if (s->c == '0') {
        take(s);
        digits = 1;
        if (take_if(s, "xX")) {
            is_digit = is_hexadecimal;
            exponent = "pP";
            digits = 0;
        }
    }
    digits += take_digits(s, is_digit);
    if (take_if(s, "."))
        digits += take_digits(s, is_digit);
    if (digits == 0)
        return false;
    // An exponent mark without digits is consumed and adds nothing, as scanf does.
    if (take_if(s, exponent)) {
        take_if(s, "+-");
        take_digits(s, is_decimal);
    }
    return true;
}

} // namespace

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
        c = std::getc(in);
    }
    if (c != EOF)
        std::ungetc(c, in);
    word[n] = '\0';
    return cut ? WORD_TOO_LONG : WORD_READ;
}

bool read_float(std::FILE *in, float *number)
{
    Scan s{in, skip_space(in), {}, 0};
    take_if(&s, "+-");
    bool ok = scan_float_body(&s);
    give_back(&s);
    if (ok)
        *number = std::strtof(s.text, nullptr);
    return ok;
}

bool read_int32(std::FILE *in, int32_t *number)
{
    Scan s{in, skip_space(in), {}, 0};
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
    for (;;) {
        int c = s.c;
        uint32_t digit;
        if (c != EOF && std::isdigit(c))
            digit = static_cast<uint32_t>(c - '0');
        else if (c != EOF && std::isxdigit(c))
            digit = static_cast<uint32_t>(std::tolower(c) - 'a' + 10);
        else
            break;
        if (digit >= base)
            break;
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
