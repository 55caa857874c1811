#include "util/fatal.h"

#include <cstdarg>
#include <cstdlib>

namespace {

void (*lastWords)(int status) = nullptr;

} // namespace

void before_exit_with_message(void (*words)(int status))
{
    lastWords = words;
}

void exit_with_message(std::FILE *stream, int status, const char *format, ...)
{
    std::va_list args;
    va_start(args, format);
    std::vfprintf(stream, format, args);
    va_end(args);
    if (lastWords != nullptr)
        lastWords(status);
    std::exit(status);
}

void tell(const char *format, ...)
{
    std::va_list args;
    va_start(args, format);
    std::vfprintf(stderr, format, args);
    va_end(args);
}

void warn(const char *format, ...)
{
    std::fputs("Warning: ", stderr);
    std::va_list args;
    va_start(args, format);
    std::vfprintf(stderr, format, args);
    va_end(args);
}
