#include "common/SplitText.h"

#include <gtest/gtest.h>

namespace quelsor {
namespace {

    struct SplitCase {
        const char* text;
        const char* delimiter;
        StringList expected;
    };

    class SplitTextTest : public ::testing::TestWithParam<SplitCase> { };

    TEST_P(SplitTextTest, CutsAtEveryDelimiterKeepingEmptyPieces)
    {
        const SplitCase& c = GetParam();
        StringList pieces { "left over" };
        const int count = SplitText(c.text, pieces, c.delimiter);
        EXPECT_EQ(pieces, c.expected);
        EXPECT_EQ(count, static_cast<int>(c.expected.size()));
    }

    INSTANTIATE_TEST_SUITE_P(Rows, SplitTextTest,
        ::testing::Values(SplitCase { "", " ", { "" } },
            SplitCase { "1234 Etat general", " ", { "1234", "Etat", "general" } },
            SplitCase { " 1234", " ", { "", "1234" } }, SplitCase { "a  b", " ", { "a", "", "b" } },
            SplitCase { "1234 ", " ", { "1234", "" } },
            SplitCase { "SEQ1_1a2b_Etat general", "_", { "SEQ1", "1a2b", "Etat general" } },
            SplitCase { "SEQ", "_", { "SEQ" } },
            SplitCase { "Pression,,,,Z4*2", ",", { "Pression", "", "", "", "Z4*2" } },
            SplitCase { ",", ",", { "", "" } }, SplitCase { ",,", ",", { "", "", "" } },
            SplitCase { "a::b", "::", { "a", "b" } }, SplitCase { "abc", "", { "abc" } }));

} // namespace
} // namespace quelsor
