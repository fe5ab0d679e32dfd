#include "Platform/Core/Device.h"
#include "Platform/Core/UUID.h"
#include "Platform/Core/UserDefaults.h"

#include "Support/TestCase.h"

#include <cctype>
#include <sys/utsname.h>
#include <unordered_set>

using core::Device;
using core::Value;

namespace {

class DeviceTest : public test::TestCase { };

TEST_F(DeviceTest, FactsOfTheMachine)
{
    auto device = Device::current();
    EXPECT_EQ(device->valueForKey("multitaskingSupported"), Value(true));
    EXPECT_EQ(device->systemName(), "Linux");
    struct utsname names;
    ASSERT_EQ(uname(&names), 0);
    EXPECT_EQ(device->systemInfo("hw.machine"), std::string(names.machine));
    EXPECT_TRUE(device->systemInfo("hw.model").has_value());
    EXPECT_FALSE(device->systemInfo("hw.nothing").has_value());
    EXPECT_TRUE(std::string(names.release).starts_with(device->systemVersion()));
    EXPECT_TRUE(std::isdigit(static_cast<unsigned char>(device->systemVersion()[0])));
    EXPECT_FALSE(device->name().empty());
    EXPECT_EQ(device->userInterfaceIdiom(), Device::Idiom::Phone);

    core::UserDefaults::setArguments({ "-DeviceName", "Desk", "-DeviceIdiom", "tablet" });
    EXPECT_EQ(device->name(), "Desk");
    EXPECT_EQ(device->userInterfaceIdiom(), Device::Idiom::Tablet);
    EXPECT_EQ(device->model(), "Tablet");
    EXPECT_GT(device->physicalMemory(), 0u);
}

TEST_F(DeviceTest, TheIdentifierIsMadeOncePerHome)
{
    std::string identifier = Device::current()->uniqueIdentifier();
    EXPECT_EQ(identifier.size(), 36u);
    EXPECT_EQ(Device::current()->uniqueIdentifier(), identifier);
    core::UserDefaults::resetStandardForTesting();
    Device::reset();
    EXPECT_EQ(Device::current()->valueForKey("uniqueIdentifier"), Value(identifier));
}

TEST_F(DeviceTest, MemoryCountsAre64Bit)
{
    // 4 GiB total would wrap to 0 in 32 bits.
    std::string meminfo = makeFile("meminfo",
        "MemTotal:        4194304 kB\n"
        "MemFree:          100000 kB\n"
        "MemAvailable:    6291456 kB\n");
    Device::reset(meminfo);
    EXPECT_EQ(Device::current()->physicalMemory(), uint64_t(4) << 30);
    EXPECT_EQ(Device::current()->freeMemory(), uint64_t(6) << 30);

    Device::reset(makeFile("broken", "MemTotal: lots\n"));
    EXPECT_EQ(Device::current()->physicalMemory(), 0u);
    EXPECT_EQ(Device::current()->freeMemory(), ~uint64_t(0));
    Device::reset(pathInHome("missing"));
    EXPECT_EQ(Device::current()->freeMemory(), ~uint64_t(0));
}

TEST(UUIDTest, UpperCaseAndDistinct)
{
    std::unordered_set<std::string> seen;
    for (int i = 0; i < 10000; ++i) {
        std::string uuid = core::uuidString();
        ASSERT_EQ(uuid.size(), 36u);
        ASSERT_EQ(uuid[8], '-');
        for (char c : uuid)
            ASSERT_FALSE(std::islower(static_cast<unsigned char>(c))) << uuid;
        seen.insert(uuid);
    }
    EXPECT_EQ(seen.size(), 10000u);
}

} // namespace
