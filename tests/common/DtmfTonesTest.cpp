#include "common/DtmfTones.h"

#include <gtest/gtest.h>

namespace quelsor {
namespace {

    TEST(DtmfTonesTest, KeypadRowsAreLowTonesAndColumnsHighTones)
    {
        const char* keys = "123A456B789C*0#D";
        for (int i = 0; i < 16; ++i) {
            const auto tones = TonesOfKey(keys[i]);
            ASSERT_TRUE(tones.has_value()) << keys[i];
            EXPECT_EQ(tones->low, i / 4) << keys[i];
            EXPECT_EQ(tones->high, 4 + i % 4) << keys[i];
        }
        for (char other : { 'a', 'd', ' ', 'E', '_', '\0' })
            EXPECT_FALSE(TonesOfKey(other).has_value()) << int(other);
    }

} // namespace
} // namespace quelsor
