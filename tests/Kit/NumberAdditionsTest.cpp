#include "Kit/NumberAdditions.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace {

TEST(NumberAdditionsTest, WidthsKeepTheLowBits)
{
    EXPECT_EQ(vkUInt8Value(300), 44);
    EXPECT_EQ(vkSInt8Value(200), -56);
    EXPECT_EQ(vkUInt16Value(-1), 65535);
    EXPECT_EQ(vkUInt32Value(-1), 4294967295u);
    EXPECT_EQ(vkSInt32Value(int64_t(1) << 31), -2147483648);
    EXPECT_EQ(vkSInt16Value(70000), 4464);
    EXPECT_EQ(vkUInt64Value(vkNumberWithUInt64(18446744073709551615ull)), 18446744073709551615ull);
    EXPECT_EQ(vkSInt64Value(vkNumberWithSInt64(std::numeric_limits<int64_t>::min())), std::numeric_limits<int64_t>::min());
    EXPECT_EQ(vkUInt8Value(vkNumberWithUInt8(255)), 255);
    EXPECT_EQ(vkSInt8Value(vkNumberWithSInt8(-128)), -128);
    EXPECT_EQ(vkUInt32Value(true), 1u);
    EXPECT_EQ(vkSInt32Value("42"), 42);
}

TEST(NumberAdditionsTest, RealsTruncateAndSaturate)
{
    EXPECT_EQ(vkSInt32Value(-2.9), -2);
    EXPECT_EQ(vkUInt8Value(300.7), 44);
    EXPECT_EQ(vkSInt32Value(std::nan("")), 0);
    EXPECT_EQ(vkUInt64Value(std::nan("")), 0u);
    EXPECT_EQ(vkSInt64Value(1e30), std::numeric_limits<int64_t>::max());
    EXPECT_EQ(vkSInt64Value(-1e30), std::numeric_limits<int64_t>::min());
    EXPECT_EQ(vkUInt64Value(1e30), std::numeric_limits<uint64_t>::max());
    EXPECT_EQ(vkUInt64Value(1e19), 10000000000000000000ull);
    EXPECT_EQ(vkUInt8Value(std::numeric_limits<double>::infinity()), 255);
}

TEST(NumberAdditionsTest, FileSizeTexts)
{
    EXPECT_EQ(vkFileSize(-1), "0 KB");
    EXPECT_EQ(vkFileSize(0), "0 B");
    EXPECT_EQ(vkFileSize(1023), "1023 B");
    EXPECT_EQ(vkFileSize(1024), "1.0 KB");
    EXPECT_EQ(vkFileSize(1536), "1.5 KB");
    EXPECT_EQ(vkFileSize(1048575), "1024.0 KB");
    EXPECT_EQ(vkFileSize(3 * 1048576), "3.0 MB");
    EXPECT_EQ(vkFileSize(1073741823), "1.0 GB");
    EXPECT_EQ(vkFileSize(int64_t(5) << 40), "5120.0 GB");
    EXPECT_EQ(vkFileSize(std::nan("")), "0 B");
    EXPECT_EQ(vkFileSize("2048"), "2.0 KB");
}

} // namespace
