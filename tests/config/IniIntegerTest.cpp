#include "config/IniInteger.h"

#include <gtest/gtest.h>

#include <limits>

namespace quelsor {
namespace {

    constexpr std::int32_t kDefault = -777;

    struct IntegerRow {
        const char* text;
        std::int32_t expected;
    };

    // Decimal with an optional sign, or hexadecimal after $, x, X, 0x, 0X without a sign; the
    // whole text must be used and the value must fit in 32 signed bits.
    const IntegerRow kIntegerRows[] = {
        { "0", 0 },
        { "12", 12 },
        { "007", 7 },
        { " 12", 12 },
        { " \t 12", 12 },
        { "+5", 5 },
        { "-5", -5 },
        { " -3", -3 },
        { "$64", 100 },
        { "0x64", 100 },
        { "0X64", 100 },
        { "x64", 100 },
        { "X1f", 31 },
        { "$aBcD", 0xABCD },
        { "$0000000000000064", 100 },
        { "2147483647", std::numeric_limits<std::int32_t>::max() },
        { "-2147483648", std::numeric_limits<std::int32_t>::min() },
        { "$7FFFFFFF", std::numeric_limits<std::int32_t>::max() },
        // Everything below gives the default.
        { "", kDefault },
        { "   ", kDefault },
        { "12 ", kDefault },
        { "12\t", kDefault },
        { "1 2", kDefault },
        { "- 3", kDefault },
        { "+", kDefault },
        { "-", kDefault },
        { "$", kDefault },
        { "x", kDefault },
        { "0x", kDefault },
        { "-0x10", kDefault },
        { "-$10", kDefault },
        { "+$10", kDefault },
        { "0x-1", kDefault },
        { "$G", kDefault },
        { "0b101", kDefault },
        { "abc", kDefault },
        { "12abc", kDefault },
        { "12.5", kDefault },
        { "1e3", kDefault },
        { "2147483648", kDefault },
        { "-2147483649", kDefault },
        { "$80000000", kDefault },
        { "$FFFFFFFF", kDefault },
        { "99999999999999999999999", kDefault },
    };

    TEST(IniInteger, ReadsLikeTheConfigurationAlwaysHas)
    {
        for (const IntegerRow& row : kIntegerRows)
            EXPECT_EQ(ReadIniInteger(row.text, kDefault), row.expected)
                << "text '" << row.text << "'";
    }

} // namespace
} // namespace quelsor
