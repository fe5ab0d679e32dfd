#include "Shell/LaunchOptions.h"

#include "Support/TestCase.h"

#include <sys/stat.h>

namespace {

class LaunchOptionsTest : public test::TestCase {
protected:
    std::optional<LaunchOptions> parse(std::vector<std::string> arguments, LaunchOptions::Environment environment = {})
    {
        arguments.insert(arguments.begin(), "tandry");
        error.clear();
        return LaunchOptions::parse(arguments, environment, error);
    }
    std::string error;
};

TEST_F(LaunchOptionsTest, HomeComesFromFlagThenEnvironmentThenXdgThenUserHome)
{
    LaunchOptions::Environment environment {
        { "TANDRY_HOME", "/env/home" }, { "XDG_DATA_HOME", "/xdg" }, { "HOME", "/users/me" }
    };
    EXPECT_EQ(parse({ "--home", "/flag/home" }, environment)->home(), "/flag/home");
    EXPECT_EQ(parse({ "--home=/flag/two/" }, environment)->home(), "/flag/two");
    EXPECT_EQ(parse({}, environment)->home(), "/env/home");
    environment.erase("TANDRY_HOME");
    EXPECT_EQ(parse({}, environment)->home(), "/xdg/tandry");
    environment.erase("XDG_DATA_HOME");
    EXPECT_EQ(parse({}, environment)->home(), "/users/me/.local/share/tandry");
    environment.erase("HOME");
    EXPECT_FALSE(parse({}, environment));
    EXPECT_NE(error.find("--home"), std::string::npos);
}

TEST_F(LaunchOptionsTest, RelativeHomeIsMadeAbsolute)
{
    auto options = parse({ "--home", "var/home" });
    ASSERT_TRUE(options);
    EXPECT_EQ(options->home().front(), '/');
    EXPECT_TRUE(options->home().ends_with("/var/home"));
}

TEST_F(LaunchOptionsTest, SettingsPairsAreKeptInOrder)
{
    auto options = parse({ "-VKPortNumber", "0", "--home", "/h", "-VKServerEnabled", "YES" });
    ASSERT_TRUE(options) << error;
    EXPECT_EQ(options->settingsArguments(),
        (std::vector<std::string> { "-VKPortNumber", "0", "-VKServerEnabled", "YES" }));
}

TEST_F(LaunchOptionsTest, TheWindowScaleIsOneToThree)
{
    EXPECT_FALSE(parse({ "--home", "/h" })->scale());
    EXPECT_EQ(parse({ "--home", "/h", "--scale", "2" })->scale(), 2);
    EXPECT_EQ(parse({ "--home", "/h", "--scale=3" })->scale(), 3);
    for (const char* bad : { "0", "4", "2.5", "", "-1", "22" }) {
        EXPECT_FALSE(parse({ "--home", "/h", "--scale", bad })) << bad;
        EXPECT_EQ(error.find('\n'), std::string::npos);
    }
}

TEST_F(LaunchOptionsTest, BadArgumentsGiveOneLine)
{
    EXPECT_FALSE(parse({ "--frobnicate" }));
    EXPECT_NE(error.find("--frobnicate"), std::string::npos);
    EXPECT_FALSE(parse({ "--home" }));
    EXPECT_FALSE(parse({ "--home=" }));
    EXPECT_FALSE(parse({ "-VKPortNumber" }));
    EXPECT_EQ(error.find('\n'), std::string::npos);
    EXPECT_EQ(parse({ "--help", "--home", "/h" })->action(), LaunchOptions::Action::Help);
    EXPECT_EQ(parse({ "--version" })->action(), LaunchOptions::Action::Version);
}

TEST_F(LaunchOptionsTest, PrepareHomeMakesParentsAndRefusesUnusableOnes)
{
    std::string nested = pathInHome("a/b/c");
    EXPECT_TRUE(LaunchOptions::prepareHome(nested, error)) << error;
    struct stat info;
    EXPECT_EQ(stat(nested.c_str(), &info), 0);
    EXPECT_TRUE(S_ISDIR(info.st_mode));

    std::string file = makeFile("plain-file", "x");
    EXPECT_FALSE(LaunchOptions::prepareHome(file + "/home", error));
    EXPECT_NE(error.find("not a directory"), std::string::npos);
    EXPECT_FALSE(LaunchOptions::prepareHome(file, error));

    if (geteuid() != 0) {
        std::string locked = makeFolder("locked");
        chmod(locked.c_str(), 0500);
        EXPECT_FALSE(LaunchOptions::prepareHome(locked, error));
        EXPECT_FALSE(LaunchOptions::prepareHome(locked + "/inner", error));
        chmod(locked.c_str(), 0700);
    }
}

TEST_F(LaunchOptionsTest, APasswordFileGivesItsFirstLineAndItsFaultsOneLineWithoutIt)
{
    auto options = parse({ "--home", "/h", "--password-file", makeFile("pw", "s3cret word\r\nnext\n") });
    ASSERT_TRUE(options) << error;
    EXPECT_EQ(options->password(), "s3cret word");
    EXPECT_EQ(parse({ "--home", "/h", "--password-file=" + makeFile("bare", "bare") })->password(), "bare");
    EXPECT_FALSE(parse({ "--home", "/h" })->password());
    // Asked for help, the file is not looked at.
    EXPECT_TRUE(parse({ "--help", "--password-file", pathInHome("absent") }));

    for (auto arguments : std::vector<std::vector<std::string>> {
             { "--password-file" },
             { "--password-file=" },
             { "--password-file", pathInHome("absent") },
             { "--password-file", makeFolder("folder") },
             { "--password-file", makeFile("empty", "\nhidden") },
             { "--password-file", makeFile("long", std::string(LaunchOptions::MaxPasswordLength + 1, 'p')) } }) {
        arguments.insert(arguments.begin(), { "--home", "/h" });
        EXPECT_FALSE(parse(arguments)) << arguments.back();
        EXPECT_NE(error.find("password"), std::string::npos) << error;
        EXPECT_EQ(error.find('\n'), std::string::npos) << error;
        EXPECT_EQ(error.find("hidden"), std::string::npos) << error;
        EXPECT_EQ(error.find("ppp"), std::string::npos) << error;
    }
    EXPECT_EQ(parse({ "--home", "/h", "--password-file", makeFile("exact", std::string(LaunchOptions::MaxPasswordLength, 'q')) })
                  ->password()->size(), LaunchOptions::MaxPasswordLength);
}

} // namespace

TEST_F(LaunchOptionsTest, ModesAndTheFileToOpen)
{
    EXPECT_EQ(parse({ "--home", "/h" })->mode(), LaunchOptions::Mode::Automatic);
    EXPECT_EQ(parse({ "--home", "/h", "--server-only" })->mode(), LaunchOptions::Mode::ServerOnly);
    EXPECT_EQ(parse({ "--home", "/h", "--no-window" })->mode(), LaunchOptions::Mode::NoWindow);

    const auto file = makeFile("handed.pdf", "x");
    auto options = parse({ "--home", "/h", "--open", file });
    ASSERT_TRUE(options);
    EXPECT_EQ(options->openPath(), file);
    // Missing, a folder, or unreadable: refused, named.
    for (const auto& bad : { pathInHome("missing.pdf"), home() }) {
        EXPECT_FALSE(parse({ "--home", "/h", "--open", bad })) << bad;
        EXPECT_NE(error.find(bad), std::string::npos) << error;
    }
    EXPECT_FALSE(parse({ "--home", "/h", "--open" }));
}
