#include "PDF/VKDocumentRange.h"

#include <gtest/gtest.h>


namespace {

TEST(VKDocumentRangeTest, EqualityOrderHashAndDescription)
{
    auto a = VKDocumentRange(3, { 10, 4 });
    EXPECT_TRUE(a == VKDocumentRange(3, { 10, 4 }));
    EXPECT_FALSE(a == VKDocumentRange(3, { 10, 5 }));
    EXPECT_EQ(a.compare(VKDocumentRange(2, { 90, 9 })), 1);
    EXPECT_EQ(a.compare(VKDocumentRange(3, { 11, 1 })), -1);
    EXPECT_EQ(a.compare(VKDocumentRange(3, { 10, 3 })), 1);
    EXPECT_EQ(a.compare(VKDocumentRange(3, { 10, 4 })), 0);
    EXPECT_EQ(a.hash(), 10u * 5 + 3 * 3 + 4 * 7);
    auto big = VKDocumentRange(0x80000000u, { 0x40000000u, 1 });
    EXPECT_EQ(big.hash(), static_cast<uint32_t>(0x40000000ull * 5 + 0x80000000ull * 3 + 7));
    EXPECT_EQ(a.description(), "<VKDocumentRange page=3 range={10, 4}>");
}

} // namespace
