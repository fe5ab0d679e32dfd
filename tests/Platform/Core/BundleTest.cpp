#include "Platform/Core/Bundle.h"
#include "Platform/Core/Localized.h"
#include "Platform/Core/UserDefaults.h"

#include "Support/TestCase.h"

using core::Bundle;
using core::Value;

namespace {

class BundleTest : public test::TestCase { };

TEST_F(BundleTest, MainBundleIsTheResourcesFolder)
{
    auto bundle = Bundle::main();
    EXPECT_EQ(bundle->objectForInfoDictionaryKey("CFBundleDisplayName"), Value("Tandry"));
    EXPECT_EQ(bundle->bundleIdentifier(), "com.kestrova.tandry");
    EXPECT_TRUE(bundle->objectForInfoDictionaryKey("CFBundleVersion").isString());
    EXPECT_TRUE(bundle->objectForInfoDictionaryKey("VKBuildNumber").isString());
    EXPECT_EQ(bundle->pathForResource("Info", "plist"), bundle->bundlePath() + "/Info.plist");
    EXPECT_EQ(bundle->pathForResource("Info.plist", ""), bundle->bundlePath() + "/Info.plist");
    EXPECT_EQ(bundle->pathForResource("Nothing", "here"), "");
}

TEST_F(BundleTest, ResourceNamesCannotLeaveTheBundle)
{
    makeFile("outside.txt", "secret");
    auto bundle = Bundle::bundleWithPath(makeFolder("App"));
    makeFile("App/sub/inner.txt", "inner");
    EXPECT_NE(bundle->pathForResource("inner", "txt", "sub"), "");
    EXPECT_EQ(bundle->pathForResource("../outside", "txt"), "");
    EXPECT_EQ(bundle->pathForResource("outside", "txt", ".."), "");
    EXPECT_EQ(bundle->pathForResource("outside", "txt", "sub/.."), "");
    EXPECT_EQ(bundle->pathForResource("..", ""), "");
    EXPECT_EQ(bundle->pathForResource("sub/inner", "txt"), "");
    EXPECT_EQ(bundle->pathForResource("inner", "t/xt", "sub"), "");
    EXPECT_EQ(bundle->pathForResource(std::string("inner\0x", 7), "txt", "sub"), "");
    EXPECT_EQ(bundle->pathForResource("inner", "txt", "/" + home() + "/App/sub"), "");
    // A bundle without an Info.plist answers an empty dictionary.
    EXPECT_EQ(bundle->infoDictionary(), Value::makeDictionary());
}

TEST_F(BundleTest, TextsAreLookedUpInTheLanguagesTable)
{
    EXPECT_EQ(core::localized("Today"), "Today");
    EXPECT_EQ(core::localized("Today", "NoSuchTable"), "Today");
    EXPECT_TRUE(logLines().empty());

    Bundle::setMainForTesting(Bundle::bundleWithPath(sourcePath("tests/fixtures/Bundle")));
    core::UserDefaults::standard()->set("AppleLanguages", Value::makeArray({ "de", "en" }));
    EXPECT_EQ(core::localized("Today"), "Today") << "the language is fixed at first use";
    core::setCurrentLanguage("");
    EXPECT_EQ(core::currentLanguage(), "de");
    EXPECT_EQ(core::localized("Today"), "Heute");
    EXPECT_EQ(core::localized("Sort Order", "Settings"), "Sortierung");
    EXPECT_EQ(core::localized("Tomorrow"), "Tomorrow (en table)");
    EXPECT_EQ(core::localized("Not translated"), "Not translated");
    EXPECT_EQ(core::localized("Today", "../de/Default"), "Today");
    EXPECT_TRUE(logLines().empty());
}

} // namespace
