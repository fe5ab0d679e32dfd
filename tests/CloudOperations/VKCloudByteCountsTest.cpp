#include "CloudOperations/VKCloudByteCounts.h"

#include <gtest/gtest.h>

#include <limits>

// The kept sum follows every change of a count, and saturates.
TEST(VKCloudByteCountsTest, SumFollowsChangesAndSaturates)
{
    VKCloudByteCounts counts;
    counts.set("/a", 100);
    counts.set("/b", 50);
    counts.set("/a", 30); // a progress event replaces the count
    EXPECT_EQ(counts.total(), 80u);
    ASSERT_NE(counts.find("/a"), nullptr);
    EXPECT_EQ(*counts.find("/a"), 30u);
    counts.erase("/b");
    counts.erase("/never");
    EXPECT_EQ(counts.total(), 30u);
    EXPECT_FALSE(counts.contains("/b"));

    const uint64_t most = std::numeric_limits<uint64_t>::max();
    counts.set("/huge", most);
    EXPECT_EQ(counts.total(), most);
    counts.erase("/huge");
    EXPECT_EQ(counts.total(), 30u); // back below the limit, exact again
    counts.clear();
    EXPECT_EQ(counts.total(), 0u);
    EXPECT_EQ(counts.find("/a"), nullptr);
}
