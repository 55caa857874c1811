#include "wave/bytes.h"

#include <cstring>

bool four_cc_is(const void *id4, const char *id)
{
    return std::memcmp(id4, id, 4) == 0;
}

uint64_t padded(uint64_t size)
{
    return size + (size & 1);
}
