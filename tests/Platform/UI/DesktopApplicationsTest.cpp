// The desktop's side of "open in" and of the pictures: the default
// application asked of stand-in xdg-mime scripts on PATH (never the real
// ones), the launch through a stand-in xdg-open and the alert when it
// fails or is missing, and where the pictures folder is found.

#include "Platform/UI/DesktopApplications.h"

#include "Platform/Core/FileSystem.h"
#include "Platform/Core/RunLoop.h"
#include "Platform/Core/Thread.h"
#include "Platform/UI/AlertView.h"
#include "Platform/UI/DocumentInteractionController.h"
#include "Platform/UI/PicturesFolder.h"
#include "Platform/UI/SystemURLOpener.h"
#include "Support/UITestCase.h"

#include <chrono>
#include <cstdlib>
#include <sys/stat.h>

namespace {

class DesktopApplicationsTest : public test::UITestCase {
protected:
    void SetUp() override
    {
        UITestCase::SetUp();
        m_path = std::getenv("PATH") ? std::getenv("PATH") : "";
        for (const char* name : { "XDG_DATA_HOME", "XDG_PICTURES_DIR", "XDG_CONFIG_HOME", "HOME" })
            m_saved.emplace_back(name, std::getenv(name) ? std::optional<std::string>(std::getenv(name)) : std::nullopt);
        setenv("PATH", (bin() + ":" + m_path).c_str(), 1);
        setenv("XDG_DATA_HOME", (home() + "/share").c_str(), 1);
        makeFile("share/applications/viewer.desktop",
            "[Desktop Action x]\nName=Not this\n[Desktop Entry]\nType=Application\nName=Picture Viewer\nName[de]=Bildbetrachter\n");
        ui::DesktopApplications::clearCache();
    }
    void TearDown() override
    {
        setenv("PATH", m_path.c_str(), 1);
        for (const auto& [name, value] : m_saved) {
            if (value)
                setenv(name.c_str(), value->c_str(), 1);
            else
                unsetenv(name.c_str());
        }
        ui::DesktopApplications::clearCache();
        core::Thread::waitForAll(10);
        UITestCase::TearDown();
    }

    std::string bin() const { return home() + "/bin"; }
    void script(const std::string& name, const std::string& body)
    {
        std::string path = makeFile("bin/" + name, "#!/bin/sh\n" + body);
        ASSERT_EQ(::chmod(path.c_str(), 0755), 0);
    }
    void waitForAlert()
    {
        ASSERT_TRUE(core::RunLoop::main().runUntil([&] { return !driver.shownChoices().empty(); }, 10));
    }

private:
    std::string m_path;
    std::vector<std::pair<std::string, std::optional<std::string>>> m_saved;
};

TEST_F(DesktopApplicationsTest, TheDefaultApplicationIsAskedOnceAndBadAnswersGiveNone)
{
    std::string calls = home() + "/calls";
    script("xdg-mime", "echo \"$@\" >> '" + calls + "'\n"
                       "case \"$3\" in\n"
                       "image/jpeg) echo viewer.desktop ;;\n"
                       "text/plain) echo '../../etc/passwd' ;;\n"
                       "application/pdf) printf 'missing.desktop\\n' ;;\n"
                       "video/slow) sleep 5; echo viewer.desktop ;;\n"
                       "*) exit 4 ;;\n"
                       "esac\n");
    EXPECT_EQ(ui::DesktopApplications::defaultApplicationForMIMEType("image/jpeg"), "Picture Viewer");
    EXPECT_EQ(ui::DesktopApplications::defaultApplicationForMIMEType("image/jpeg"), "Picture Viewer");
    EXPECT_EQ(readFile(calls), "query default image/jpeg\n");
    EXPECT_FALSE(ui::DesktopApplications::defaultApplicationForMIMEType("text/plain"));
    EXPECT_FALSE(ui::DesktopApplications::defaultApplicationForMIMEType("application/pdf"));
    EXPECT_FALSE(ui::DesktopApplications::defaultApplicationForMIMEType("audio/x-none"));
    EXPECT_FALSE(ui::DesktopApplications::defaultApplicationForMIMEType("no type"));

    auto started = std::chrono::steady_clock::now();
    EXPECT_FALSE(ui::DesktopApplications::defaultApplicationForMIMEType("video/slow"));
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(4));

    // Without xdg-mime at all.
    setenv("PATH", home().c_str(), 1);
    ui::DesktopApplications::clearCache();
    EXPECT_FALSE(ui::DesktopApplications::defaultApplicationForMIMEType("image/jpeg"));
}

TEST_F(DesktopApplicationsTest, TheInstalledMenuOffersTheDefaultAndLaunchesXdgOpen)
{
    std::string out = home() + "/opened";
    script("xdg-mime", "echo viewer.desktop\n");
    script("xdg-open", "printf '%s|' \"$#\" \"$@\" > '" + out + ".part'\nmv '" + out + ".part' '" + out + "'\n");
    ui::DesktopApplications::install([](const std::string& path) {
        return path.ends_with(".jpg") ? std::string("image/jpeg") : std::string();
    });
    std::string photo = makeFile("a b;ls.jpg", "x");
    auto controller = ui::DocumentInteractionController::create(core::URL::fileURL(photo));
    EXPECT_EQ(controller->menuApplications(), std::vector<std::string> { "Picture Viewer" });
    EXPECT_TRUE(ui::DocumentInteractionController::create(core::URL::fileURL(makeFile("n.txt")))->menuApplications().empty());

    window().layoutIfNeeded();
    ASSERT_TRUE(controller->presentOpenInMenu({ 10, 10, 20, 20 }, window(), false));
    driver.chooseOpenInApplication("Picture Viewer");
    ASSERT_TRUE(core::RunLoop::main().runUntil([&] { return core::fs::exists(out); }, 10));
    EXPECT_EQ(readFile(out), "1|" + photo + "|");
    runLoop();
    EXPECT_TRUE(driver.shownChoices().empty());
}

TEST_F(DesktopApplicationsTest, AFailedApplicationIsNamedAMissingOpenerSaysWhatToInstall)
{
    script("xdg-open", "exit 4\n");
    std::string photo = makeFile("photo.jpg", "x");
    ui::DesktopApplications::open(photo, "Picture Viewer");
    waitForAlert();
    EXPECT_EQ(driver.alert()->title(), "Cannot Open File");
    EXPECT_EQ(driver.alert()->message(), "Picture Viewer failed to open \"photo.jpg\" (it ended with status 4).");
    driver.pressAlertButton("OK");
    ui::DesktopApplications::open(photo);
    waitForAlert();
    EXPECT_EQ(driver.alert()->message(), "The application for \"photo.jpg\" failed to open it (it ended with status 4).");
    driver.pressAlertButton("OK");

    setenv("PATH", home().c_str(), 1);
    ui::DesktopApplications::open(photo);
    waitForAlert();
    EXPECT_NE(driver.alert()->message().find("xdg-utils"), std::string::npos);
    EXPECT_NE(driver.alert()->message().find("photo.jpg"), std::string::npos);
}

TEST_F(DesktopApplicationsTest, AWebAddressWithoutABrowserOrXdgOpenSaysSo)
{
    script("xdg-open", "exit 3\n");
    auto url = *core::URL::parse("https://example.org/a");
    EXPECT_TRUE(ui::SystemURLOpener::open(url));
    waitForAlert();
    EXPECT_EQ(driver.alert()->title(), "Cannot Open Link");
    EXPECT_NE(driver.alert()->message().find("https://example.org/a could not be opened: the desktop has no web browser"),
        std::string::npos);
    driver.pressAlertButton("OK");

    setenv("PATH", home().c_str(), 1);
    EXPECT_FALSE(ui::SystemURLOpener::open(url));
    waitForAlert();
    EXPECT_NE(driver.alert()->message().find("xdg-utils"), std::string::npos);
}

TEST_F(DesktopApplicationsTest, ThePicturesFolderComesFromTheEnvironmentOrUserDirs)
{
    setenv("HOME", home().c_str(), 1);
    unsetenv("XDG_CONFIG_HOME");
    setenv("XDG_PICTURES_DIR", "/srv/pictures", 1);
    EXPECT_EQ(ui::PicturesFolder::path(), "/srv/pictures");
    unsetenv("XDG_PICTURES_DIR");
    EXPECT_EQ(ui::PicturesFolder::path(), home() + "/Pictures");

    makeFile(".config/user-dirs.dirs", "# written by xdg-user-dirs-update\nXDG_DESKTOP_DIR=\"$HOME/Desktop\"\n"
                                       "XDG_PICTURES_DIR=\"$HOME/Bilder\"\n");
    EXPECT_EQ(ui::PicturesFolder::path(), home() + "/Bilder");
    makeFile("conf/user-dirs.dirs", "XDG_PICTURES_DIR=\"/data/photos\"\n");
    setenv("XDG_CONFIG_HOME", (home() + "/conf").c_str(), 1);
    EXPECT_EQ(ui::PicturesFolder::path(), "/data/photos");

    // Nothing a shell would expand, nothing relative, nothing garbled.
    for (const char* garbled : { "XDG_PICTURES_DIR=\"$(rm -rf ~)\"\n", "XDG_PICTURES_DIR=\"Pictures\"\n",
             "XDG_PICTURES_DIR=\"/a\"b\"\n", "XDG_PICTURES_DIR=/unquoted\n", "\xff\xfe garbage" }) {
        makeFile("conf/user-dirs.dirs", garbled);
        EXPECT_EQ(ui::PicturesFolder::path(), home() + "/Pictures") << garbled;
    }
}

} // namespace
