#include "PDF/VKDocumentRange.h"

#include <gtest/gtest.h>


namespace {

TEST(VKDocumentRangeTest, EqualityOrderHashAndDescription)
{
    auto a = VKDocumentRange::rangeWithPage(3, { 10, 4 });
    EXPECT_TRUE(a->isEqual(*VKDocumentRange::rangeWithPage(3, { 10, 4 })));
    EXPECT_FALSE(a->isEqual(*VKDocumentRange::rangeWithPage(3, { 10, 5 })));
    EXPECT_EQ(a->compare(*VKDocumentRange::rangeWithPage(2, { 90, 9 })), 1);
    EXPECT_EQ(a->compare(*VKDocumentRange::rangeWithPage(3, { 11, 1 })), -1);
    EXPECT_EQ(a->compare(*VKDocumentRange::rangeWithPage(3, { 10, 3 })), 1);
    EXPECT_EQ(a->compare(*VKDocumentRange::rangeWithPage(3, { 10, 4 })), 0);
    EXPECT_EQ(a->hash(), 10u * 5 + 3 * 3 + 4 * 7);
    auto big = VKDocumentRange::rangeWithPage(0x80000000u, { 0x40000000u, 1 });
    EXPECT_EQ(big->hash(), static_cast<uint32_t>(0x40000000ull * 5 + 0x80000000ull * 3 + 7));
    std::string description = a->description();
    EXPECT_EQ(description.rfind("<VKDocumentRange:0x", 0), 0u) << description;
    EXPECT_TRUE(description.ends_with(" page=3 range={10, 4}>")) << description;
}

} // namespace
