#include "common/StringList.h"

#include <gtest/gtest.h>

namespace quelsor {
namespace {

    TEST(StringListTest, SearchByTextIgnoresLetterCaseAndFindsTheFirstDuplicate)
    {
        const StringList list { "Marche", "arret", "ARRET", "1" };
        EXPECT_EQ(IndexOfText(list, "ARRET"), 1);
        EXPECT_EQ(IndexOfText(list, "marche"), 0);
        EXPECT_EQ(IndexOfText(list, "1"), 3);
        EXPECT_EQ(IndexOfText(list, "01"), -1);
        EXPECT_EQ(IndexOfText(list, ""), -1);
    }

    struct Probe {
        explicit Probe(int& destroyed)
            : destroyed(destroyed)
        {
        }
        ~Probe() { ++destroyed; }
        int& destroyed;
    };

    TEST(StringListTest, OwningListDestroysEveryAttachedObject)
    {
        int destroyed = 0;
        {
            OwningStringList<Probe> list;
            list.Add("Z1", std::make_unique<Probe>(destroyed));
            list.Add("Z2");
            list.Add("z3", std::make_unique<Probe>(destroyed));
            EXPECT_EQ(list.Count(), 3);
            EXPECT_EQ(list.Object(1), nullptr);
            EXPECT_EQ(list.IndexOf("Z3"), 2);
            EXPECT_FALSE(list.ValidIndex(3));
            EXPECT_FALSE(list.ValidIndex(-1));
        }
        EXPECT_EQ(destroyed, 2);
    }

} // namespace
} // namespace quelsor
