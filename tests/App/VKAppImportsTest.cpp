#include "App/VKAppImports.h"

#include "Shell/VKApplication.h"
#include "Platform/Core/Clock.h"
#include "Platform/Core/FileSystem.h"
#include "Platform/Core/ManualClock.h"
#include "Platform/Core/Path.h"
#include "Support/UITestCase.h"
#include "InboxFiles.h"

#include <unistd.h>

namespace {

class VKAppImportsTest : public test::UITestCase {
protected:
    std::shared_ptr<ui::Application> makeApplication() override { return VKApplication::create(); }
    void SetUp() override
    {
        UITestCase::SetUp();
        application = VKApplication::sharedApplication();
    }
    static std::string inboxFile(const std::string& name, std::string_view contents = "%PDF-1.4")
    {
        return test::inboxFile(name, contents);
    }
    static std::string imports(const std::string& name = {}) { return test::imports(name); }
    std::shared_ptr<VKApplication> application;
};

TEST_F(VKAppImportsTest, HandedOverFilesMoveIntoImports)
{
    std::dynamic_pointer_cast<core::ManualClock>(core::Clock::current())
        ->setNow(core::Date::fromUnixTime(1709821805)); // 7 March 2024 14:30:05 UTC
    auto generated = VKAppImports::importLaunchURL(inboxFile("QL-1a2b3c4d.pdf"));
    EXPECT_EQ(generated, imports("Import 7-Mar-2024 143005.pdf"));
    EXPECT_TRUE(core::fs::exists(*generated));
    // The emptied inbox went with the file.
    EXPECT_FALSE(core::fs::exists(application->inboxDirectory()));

    EXPECT_EQ(VKAppImports::importLaunchURL(inboxFile("QL-abc.pdf")), imports("QL-abc.pdf"));
    EXPECT_EQ(VKAppImports::importLaunchURL(inboxFile("a.pdf")), imports("a.pdf"));
    auto second = VKAppImports::importLaunchURL(inboxFile("a.pdf"));
    ASSERT_TRUE(second);
    EXPECT_NE(*second, imports("a.pdf"));
    EXPECT_TRUE(core::fs::exists(*second));

    // An undated file takes the present as its date.
    const auto old = inboxFile("old.txt");
    ASSERT_TRUE(core::fs::setModificationTime(old, 5'000'000'000LL));
    auto moved = VKAppImports::importLaunchURL(old);
    ASSERT_TRUE(moved);
    EXPECT_EQ(core::fs::attributes(*moved)->modificationTime / 1'000'000'000LL, 1709821805);

    // A link is moved as the link it is.
    const auto target = home() + "/elsewhere.txt";
    ASSERT_TRUE(core::fs::writeFileAtomically(target, "outside"));
    core::fs::createDirectory(application->inboxDirectory(), true);
    const auto link = application->inboxDirectory() + "/link.txt";
    ASSERT_EQ(symlink(target.c_str(), link.c_str()), 0);
    auto linked = VKAppImports::importLaunchURL(link);
    ASSERT_TRUE(linked);
    EXPECT_EQ(core::fs::attributes(*linked)->type, core::fs::FileType::SymbolicLink);
}

TEST_F(VKAppImportsTest, ImportsThatCannotHappenLeaveTheFileAlone)
{
    // Outside the inbox, even beside it under a longer name.
    const auto beside = application->publicDirectory() + "/Inbox-2/a.pdf";
    core::fs::createDirectory(core::path::deletingLastPathComponent(beside), true);
    ASSERT_TRUE(core::fs::writeFileAtomically(beside, "x"));
    EXPECT_EQ(VKAppImports::importLaunchURL(beside), beside);
    EXPECT_TRUE(core::fs::exists(beside));
    EXPECT_TRUE(logContains("Warning, launchURL not in ~/Documents/Inbox"));

    // "Imports" is a file.
    ASSERT_TRUE(core::fs::writeFileAtomically(imports(), "in the way"));
    const auto handed = inboxFile("b.pdf");
    EXPECT_EQ(VKAppImports::importLaunchURL(handed), handed);
    EXPECT_TRUE(core::fs::exists(handed));
    EXPECT_TRUE(logContains("Warning, ~/Documents/Imports is a regular file"));
}

} // namespace
