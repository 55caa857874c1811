#include "util/fatal.h"

#include <cstdarg>
#include <cstdlib>

void exit_with_message(std::FILE *stream, int status, const char *format, ...)
{
    std::va_list args;
    va_start(args, format);
    std::vfprintf(stream, format, args);
    va_end(args);
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
