#include "Platform/Core/Exception.h"
#include "Platform/Core/Object.h"
#include "Platform/Core/PropertyList.h"
#include "Platform/Core/UserDefaults.h"

#include "Support/Python.h"
#include "Support/TestCase.h"

#include <atomic>
#include <cstdlib>
#include <thread>

using core::UserDefaults;
using core::Value;

namespace {

class UserDefaultsTest : public test::TestCase {
protected:
    void SetUp() override
    {
        TestCase::SetUp();
        registered = core::PropertyList::readFile(sourcePath("tests/fixtures/RegisteredDefaults.plist"));
        ASSERT_TRUE(registered.isDictionary());
    }

    std::shared_ptr<UserDefaults> launch()
    {
        UserDefaults::resetStandardForTesting();
        auto defaults = UserDefaults::standard();
        defaults->registerDefaults(registered.dictionary());
        return defaults;
    }

    Value registered;
};

TEST_F(UserDefaultsTest, SetValuesOverrideTheRegisteredOnes)
{
    auto defaults = launch();
    EXPECT_EQ(defaults->path(), home() + "/Library/Preferences/com.kestrova.tandry.plist");
    EXPECT_EQ(defaults->integerForKey("VKPortNumber"), 80);
    defaults->set("VKPortNumber", "8080");
    EXPECT_EQ(defaults->integerForKey("VKPortNumber"), 8080);
    EXPECT_EQ(defaults->object("VKPortNumber"), Value("8080"));
    EXPECT_EQ(defaults->integerForKey("VKQuotaLimit"), 1024);
    EXPECT_EQ(defaults->doubleForKey("VKDefaultTextFontSize"), 13.0);
    EXPECT_EQ(defaults->stringForKey("VKDefaultTextFontSize"), "13");
    defaults->remove("VKPortNumber");
    EXPECT_EQ(defaults->object("VKPortNumber"), Value(80));
    EXPECT_TRUE(defaults->object("VKHideCloudServers").isNull());
    EXPECT_FALSE(defaults->persistentDomainForTesting().dictionary().contains("VKPortNumber"));
}

TEST_F(UserDefaultsTest, TypedGettersReadLeniently)
{
    auto defaults = launch();
    for (const char* yes : { "YES", "yes", "T", " 1", "007", "-1" }) {
        defaults->set("flag", yes);
        EXPECT_TRUE(defaults->boolForKey("flag")) << yes;
    }
    for (const char* no : { "NO", "0", "", "abc" }) {
        defaults->set("flag", no);
        EXPECT_FALSE(defaults->boolForKey("flag")) << no;
    }
    defaults->set("flag", 2.5);
    EXPECT_TRUE(defaults->boolForKey("flag"));
    defaults->set("flag", -3);
    EXPECT_TRUE(defaults->boolForKey("flag"));
    defaults->set("n", "12ab");
    EXPECT_EQ(defaults->integerForKey("n"), 12);
    defaults->set("n", 3.9);
    EXPECT_EQ(defaults->integerForKey("n"), 3);
    EXPECT_EQ(defaults->stringForKey("VKPortNumber"), "80");

    // Wrong kinds and absent keys give empty answers, never an exception.
    defaults->set("list", Value::makeArray({ 1 }));
    EXPECT_EQ(defaults->integerForKey("list"), 0);
    EXPECT_EQ(defaults->stringForKey("list"), "");
    EXPECT_TRUE(defaults->dictionaryForKey("list").isNull());
    EXPECT_TRUE(defaults->arrayForKey("missing").isNull());
    EXPECT_FALSE(defaults->boolForKey("missing"));

    // What cannot be stored is refused at once.
    for (const Value& bad : { Value(), Value(std::make_shared<core::Object>()), Value::makeArray({ 1, Value() }) }) {
        try {
            defaults->set("bad", bad);
            ADD_FAILURE() << "no exception for " << bad.description();
        } catch (const core::Exception& exception) {
            EXPECT_EQ(exception.name(), "NSInvalidArgumentException");
        }
    }
    EXPECT_TRUE(defaults->object("bad").isNull());
}

TEST_F(UserDefaultsTest, ARelaunchReadsWhatWasSynchronizedWithKindsKept)
{
    auto defaults = launch();
    defaults->set("VKPortNumber", 8080);
    defaults->set("VKQuotaEnabled", true);
    defaults->set("VKDefaultTextFontSize", 15.5);
    defaults->set("List", Value::makeArray({ "a", 1 }));
    defaults->set("Unsaved", 1);
    EXPECT_TRUE(defaults->synchronize());
    defaults->remove("Unsaved");
    EXPECT_TRUE(defaults->synchronize());

    auto output = test::runPython(R"(
import plistlib, sys
d = plistlib.load(open(sys.argv[1], 'rb'))
print(type(d['VKPortNumber']).__name__, d['VKPortNumber'], d['VKQuotaEnabled'], d['VKDefaultTextFontSize'], d['List'], 'Unsaved' in d)
)", { defaults->path() });
    EXPECT_EQ(output, "int 8080 True 15.5 ['a', 1] False\n");

    auto again = launch();
    EXPECT_NE(again.get(), defaults.get());
    EXPECT_TRUE(again->object("VKPortNumber").isInteger());
    EXPECT_EQ(again->integerForKey("VKPortNumber"), 8080);
    EXPECT_TRUE(again->object("VKQuotaEnabled").isBool());
    EXPECT_EQ(again->object("List"), Value::makeArray({ "a", 1 }));

    // A file written by another program is read as well.
    test::runPython(R"(
import plistlib, sys
plistlib.dump({'VKPortNumber': 9000, 'VKQuotaLimit': '2048'}, open(sys.argv[1], 'wb'))
)", { defaults->path() });
    EXPECT_EQ(launch()->integerForKey("VKPortNumber"), 9000);
}

TEST_F(UserDefaultsTest, ObserversSeeEachChangeOfTheEffectiveValueOnce)
{
    auto defaults = launch();
    std::vector<Value> seen;
    core::Observation token = defaults->observe("VKHideCloudServers", [&](const Value& value) { seen.push_back(value); });
    defaults->set("VKHideCloudServers", true);
    defaults->set("VKHideCloudServers", true);
    defaults->set("Other", true);
    defaults->registerDefaults({ { "VKHideCloudServers", false } });
    defaults->remove("VKHideCloudServers");
    defaults->remove("VKHideCloudServers");
    EXPECT_EQ(seen, (std::vector<Value> { true, false }));

    // A token may be dropped inside its own callback; nothing is called after.
    core::Observation own;
    int calls = 0;
    own = defaults->observe("VKHideCloudServers", [&](const Value&) {
        ++calls;
        own.reset();
    });
    defaults->set("VKHideCloudServers", true);
    defaults->set("VKHideCloudServers", false);
    EXPECT_EQ(calls, 1);
    token.reset();
    defaults->set("VKHideCloudServers", true);
    EXPECT_EQ(seen.size(), 4u);

    // The change hook runs after each change, outside the lock.
    int changes = 0;
    defaults->setChangeHandler([&] {
        ++changes;
        EXPECT_TRUE(defaults->boolForKey("VKHideCloudServers"));
    });
    defaults->set("VKHideCloudServers", true);
    EXPECT_EQ(changes, 1);
}

TEST_F(UserDefaultsTest, StoreIsSafeAcrossThreads)
{
    auto defaults = launch();
    std::atomic<int> calls { 0 };
    auto token = defaults->observe("counter", [&](const Value&) { ++calls; });
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&, t] {
            for (int i = 0; i < 500; ++i) {
                defaults->set("counter", t * 1000 + i);
                defaults->set("own" + std::to_string(t), i);
                (void)defaults->integerForKey("counter");
                if (i % 100 == 0)
                    defaults->synchronize();
            }
        });
    }
    for (auto& thread : threads)
        thread.join();
    EXPECT_EQ(calls.load(), 2000);
    EXPECT_TRUE(defaults->synchronize());
    auto again = launch();
    for (int t = 0; t < 4; ++t)
        EXPECT_EQ(again->integerForKey("own" + std::to_string(t)), 499);
}

TEST_F(UserDefaultsTest, ArgumentsAnswerFirstForThisRunOnly)
{
    auto defaults = launch();
    defaults->set("VKPortNumber", 8080);
    defaults->synchronize();
    UserDefaults::setArguments({ "tandry", "-VKPortNumber", "0", "-Ratio", "2.5", "-Flag", "YES", "-Name", "12ab", "-Neg", "-7" });
    EXPECT_EQ(defaults->integerForKey("VKPortNumber"), 0);
    EXPECT_TRUE(defaults->object("VKPortNumber").isInteger());
    EXPECT_EQ(defaults->object("Ratio"), Value(2.5));
    EXPECT_EQ(defaults->object("Flag"), Value(true));
    EXPECT_EQ(defaults->object("Name"), Value("12ab"));
    EXPECT_EQ(defaults->object("Neg"), Value(-7));

    int calls = 0;
    auto token = defaults->observe("VKPortNumber", [&](const Value&) { ++calls; });
    defaults->set("VKPortNumber", 9090);
    EXPECT_EQ(calls, 0) << "the effective value did not change";
    EXPECT_EQ(defaults->integerForKey("VKPortNumber"), 0);
    EXPECT_TRUE(defaults->synchronize());
    Value file = core::PropertyList::readFile(defaults->path());
    EXPECT_EQ(file["VKPortNumber"], Value(9090));
    EXPECT_FALSE(file.dictionary().contains("Ratio"));
}

TEST_F(UserDefaultsTest, GlobalLanguagesComeFromTheEnvironment)
{
    struct Saved {
        std::string name;
        std::optional<std::string> value;
    };
    std::vector<Saved> saved;
    for (const char* name : { "LANGUAGE", "LC_ALL", "LC_MESSAGES", "LANG" }) {
        const char* value = std::getenv(name);
        saved.push_back({ name, value ? std::optional<std::string>(value) : std::nullopt });
        unsetenv(name);
    }
    auto languages = [] {
        UserDefaults::resetStandardForTesting();
        return UserDefaults::standard()->object("AppleLanguages");
    };
    setenv("LANGUAGE", "ru:en", 1);
    EXPECT_EQ(languages(), Value::makeArray({ "ru", "en" }));
    unsetenv("LANGUAGE");
    setenv("LANG", "de_DE.UTF-8", 1);
    EXPECT_EQ(languages(), Value::makeArray({ "de" }));
    setenv("LC_ALL", "C", 1);
    EXPECT_EQ(languages(), Value::makeArray({ "en" }));
    unsetenv("LC_ALL");
    unsetenv("LANG");
    EXPECT_EQ(languages(), Value::makeArray({ "en" }));
    // The persistent domain wins over the global one.
    UserDefaults::standard()->set("AppleLanguages", Value::makeArray({ "fr" }));
    EXPECT_EQ(UserDefaults::standard()->object("AppleLanguages"), Value::makeArray({ "fr" }));
    for (const auto& entry : saved) {
        if (entry.value)
            setenv(entry.name.c_str(), entry.value->c_str(), 1);
    }
}

TEST_F(UserDefaultsTest, ADamagedFileIsKeptAsideAndTheStoreStartsEmpty)
{
    std::string path = makeFile("Library/Preferences/com.kestrova.tandry.plist", "bplist00 garbage that is not a property list");
    auto defaults = launch();
    EXPECT_TRUE(logContains("com.kestrova.tandry.plist.corrupt"));
    EXPECT_EQ(readFile(path + ".corrupt"), "bplist00 garbage that is not a property list");
    EXPECT_EQ(defaults->persistentDomainForTesting(), Value::makeDictionary());
    EXPECT_EQ(defaults->integerForKey("VKPortNumber"), 80);
    defaults->set("VKPortNumber", 81);
    EXPECT_TRUE(defaults->synchronize());
    EXPECT_EQ(launch()->integerForKey("VKPortNumber"), 81);
    EXPECT_EQ(readFile(path + ".corrupt"), "bplist00 garbage that is not a property list");

    // A property list that is not a dictionary is damage as well.
    core::PropertyList::writeFile(path, Value::makeArray({ 1 }), core::PropertyList::Format::XML);
    EXPECT_EQ(launch()->persistentDomainForTesting(), Value::makeDictionary());
    EXPECT_NE(readFile(path + ".corrupt.2"), "");
}

} // namespace
