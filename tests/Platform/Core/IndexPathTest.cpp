#include "Platform/Core/IndexPath.h"
#include "Platform/Core/Range.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <unordered_set>
#include <vector>

using core::IndexPath;

TEST(IndexPathTest, SeparatelyMadePathsAreEqualFoundAndOrdered)
{
    IndexPath made = IndexPath::indexPathForRow(3, 1);
    IndexPath built = IndexPath { 1, 3 };
    EXPECT_EQ(made, built);
    EXPECT_EQ(made.hash(), built.hash());
    EXPECT_EQ(made.section(), 1u);
    EXPECT_EQ(made.row(), 3u);
    EXPECT_EQ(IndexPath { 1 }.row(), core::kNotFound);

    std::vector<IndexPath> selection { IndexPath::indexPathForRow(0, 0), made };
    EXPECT_NE(std::find(selection.begin(), selection.end(), built), selection.end());
    std::unordered_set<IndexPath> set { made };
    EXPECT_TRUE(set.contains(built));

    EXPECT_LT(IndexPath({ 0, 5 }), IndexPath({ 1, 0 }));
    EXPECT_LT(IndexPath({ 1 }), IndexPath({ 1, 0 }));
    EXPECT_EQ(IndexPath({ 2, 7 }).compare(IndexPath({ 2, 7 })), 0);
    EXPECT_EQ(made.description(), "{1, 3}");
}
