#include "Kit/VKFunctions.h"
#include "Kit/VKGeometry.h"

#include "Platform/Core/Bundle.h"
#include "Platform/Core/Exception.h"
#include "Platform/Core/Object.h"
#include "Support/TestCase.h"

#include <cmath>
#include <limits>

namespace {

class KeyedThing : public core::Object {
public:
    core::Value valueForKey(std::string_view key) const override
    {
        if (key == "name")
            return name;
        if (key == "broken")
            throw core::Exception(core::Exception::InternalInconsistency, "broken");
        if (key == "refused")
            throw core::Exception(core::Exception::InvalidArgument, "refused");
        return core::Object::valueForKey(key);
    }
    void setValueForKey(const core::Value& value, std::string_view key) override
    {
        if (key == "name")
            name = value.toString();
        else if (key == "broken")
            throw core::Exception(core::Exception::InternalInconsistency, "broken");
        else
            core::Object::setValueForKey(value, key);
    }
    std::string name = "thing";
};

class Device : public core::Object {
public:
    core::Value valueForKey(std::string_view key) const override
    {
        return key == "multitaskingSupported" ? core::Value(true) : core::Object::valueForKey(key);
    }
};

using VKFunctionsTest = test::TestCase;

TEST_F(VKFunctionsTest, StoredNamesAndConstants)
{
    EXPECT_EQ(VKTransitionFade(), "fade");
    EXPECT_EQ(VKTransitionReveal(), "reveal");
    EXPECT_EQ(VKTransitionMoveIn(), "moveIn");
    EXPECT_EQ(VKTransitionPush(), "push");
    EXPECT_EQ(VKTransitionFromRight(), "fromRight");
    EXPECT_EQ(VKTransitionFromLeft(), "fromLeft");
    EXPECT_EQ(VKHitRegionWidth, 44.0f);
}

TEST_F(VKFunctionsTest, FuzzyComparisons)
{
    EXPECT_TRUE(VKFloatIsEqualToFloatFuzzy(1.0f, 1.05f, 0.1f));
    EXPECT_FALSE(VKFloatIsEqualToFloatFuzzy(1.0f, 1.2f, 0.1f));
    EXPECT_TRUE(VKFloatIsEqualToFloatFuzzy(-3.0f, -3.0f, 0.0f));
    float nan = std::numeric_limits<float>::quiet_NaN();
    EXPECT_FALSE(VKFloatIsEqualToFloatFuzzy(nan, nan, 1.0f));
    EXPECT_TRUE(VKPointIsEqualToPointFuzzy({ 1, 2 }, { 1.05f, 1.95f }, 0.1f));
    EXPECT_FALSE(VKPointIsEqualToPointFuzzy({ 1, 2 }, { 1.05f, 2.5f }, 0.1f));
    EXPECT_FALSE(VKPointIsEqualToPointFuzzy({ nan, 2 }, { 1, 2 }, 10.0f));
    EXPECT_FALSE(VKPointIsEqualToPointFuzzy({ 1, 2 }, { 1, nan }, 10.0f));
}

TEST_F(VKFunctionsTest, SafeKeyValueAccessSwallowsOnlyMissingKeysAndRefusals)
{
    auto thing = std::make_shared<KeyedThing>();
    EXPECT_EQ(VKSafeValueForKey(thing, "name"), core::Value("thing"));
    EXPECT_TRUE(VKSafeValueForKey(thing, "missing").isNull());
    EXPECT_TRUE(VKSafeValueForKey(thing, "refused").isNull());
    EXPECT_TRUE(VKSafeValueForKey(nullptr, "name").isNull());
    EXPECT_THROW(VKSafeValueForKey(thing, "broken"), core::Exception);

    VKSafeSetValueForKey(thing, "other", "name");
    EXPECT_EQ(thing->name, "other");
    EXPECT_NO_THROW(VKSafeSetValueForKey(thing, 1, "missing"));
    EXPECT_THROW(VKSafeSetValueForKey(thing, 1, "broken"), core::Exception);

    EXPECT_TRUE(VKIsMultitaskingSupported());
    EXPECT_TRUE(VKIsMultitaskingSupported(Device()));
    EXPECT_FALSE(VKIsMultitaskingSupported(KeyedThing()));
}

TEST_F(VKFunctionsTest, NamesStringsAndPlaces)
{
    EXPECT_EQ(_VKMappedString(nullptr, 0), "");
    const int32_t codes[] = { 86, 75 };
    EXPECT_EQ(_VKMappedString(codes, 2), "VK");
    const int32_t wide[] = { 0x141, 0xE9 };
    EXPECT_EQ(_VKMappedString(wide, 2), "A\xC3\xA9");

    EXPECT_TRUE(VKClassIsEqualToClassName(KeyedThing(), "KeyedThing"));
    EXPECT_FALSE(VKClassIsEqualToClassName(KeyedThing(), "Keyed"));
    EXPECT_EQ(VKTemporaryDirectory(), home() + "/tmp/");

    makeFile("Fixture/Info.plist", "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\"><dict>"
        "<key>CFBundleDisplayName</key><string>Tandry Fixture</string></dict></plist>\n");
    makeFile("Bare/Info.plist", "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\"><dict>"
        "<key>CFBundleIdentifier</key><string>org.example.bare</string></dict></plist>\n");
    core::Bundle::setMainForTesting(core::Bundle::bundleWithPath(pathInHome("Fixture")));
    EXPECT_EQ(VKMainBundleDisplayName(), "Tandry Fixture");
    core::Bundle::setMainForTesting(core::Bundle::bundleWithPath(pathInHome("Bare")));
    EXPECT_EQ(VKMainBundleDisplayName(), std::nullopt);
    core::Bundle::setMainForTesting(nullptr);
}

} // namespace
