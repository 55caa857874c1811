// The conversions made for a device that refuses the file's encoding.
#include <gtest/gtest.h>

#include <cstring>

#include "device/convert.h"

namespace {

int16_t expanded(SampleEncoding from, unsigned char code)
{
    unsigned char buffer[2] = {code, 0};
    convert_samples(from, ENCODING_S16, buffer, 1);
    int16_t value = 0;
    std::memcpy(&value, buffer, 2);
    return value;
}

} // namespace

TEST(Convert, G711CodesExpandAsTheStandardGivesThem)
{
    const struct {
        SampleEncoding from;
        unsigned char code;
        int16_t value;
    } rows[] = {
        {ENCODING_A_LAW, 0xD5, 8},      {ENCODING_A_LAW, 0x55, -8},
        {ENCODING_A_LAW, 0x80, 5504},   {ENCODING_A_LAW, 0x00, -5504},
        {ENCODING_A_LAW, 0xAA, 32256},  {ENCODING_A_LAW, 0x2A, -32256},
        {ENCODING_MU_LAW, 0xFF, 0},     {ENCODING_MU_LAW, 0x7F, 0},
        {ENCODING_MU_LAW, 0x80, 32124}, {ENCODING_MU_LAW, 0x00, -32124},
        {ENCODING_MU_LAW, 0xF0, 120},   {ENCODING_MU_LAW, 0x70, -120},
    };
    for (const auto &r : rows)
        EXPECT_EQ(expanded(r.from, r.code), r.value) << std::hex << int{r.code};
}
