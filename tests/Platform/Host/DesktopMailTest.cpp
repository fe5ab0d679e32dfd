// Mail through a fake desktop mail program that records its arguments.

#include "Platform/Core/RunLoop.h"
#include "Platform/UI/AlertView.h"
#include "Platform/Host/DesktopMail.h"
#include "Platform/UI/MailComposeController.h"
#include "Platform/UI/Window.h"
#include "Support/UITestCase.h"

#include <cstdlib>
#include <sys/stat.h>

using namespace ui;

namespace {

class DesktopMailTest : public test::UITestCase {
protected:
    void SetUp() override
    {
        UITestCase::SetUp();
        const char* path = std::getenv("PATH");
        m_path = path ? path : "";
        bin = makeFolder("bin");
        setenv("PATH", (bin + ":" + m_path).c_str(), 1);
    }
    void TearDown() override
    {
        setenv("PATH", m_path.c_str(), 1);
        DesktopMail::uninstall();
        UITestCase::TearDown();
    }
    // A mail program that writes each argument on a line of its own and
    // ends with `status`.
    void fakeProgram(int status)
    {
        std::string script = "#!/bin/sh\nfor a in \"$@\"; do printf '%s\\n' \"$a\"; done > '" + pathInHome("args")
            + "'\nexit " + std::to_string(status) + "\n";
        std::string file = makeFile("bin/xdg-email", script);
        chmod(file.c_str(), 0755);
    }
    std::vector<std::string> recorded()
    {
        std::vector<std::string> lines;
        std::string all = readFile(pathInHome("args"));
        size_t start = 0;
        for (size_t end; (end = all.find('\n', start)) != std::string::npos; start = end + 1)
            lines.push_back(all.substr(start, end - start));
        return lines;
    }
    static bool pump(const std::function<bool()>& until)
    {
        return core::RunLoop::main().runUntil(until, 10);
    }

    std::string bin;
    std::string m_path;
};

struct Finished : MailComposeControllerDelegate {
    std::optional<int> result;
    std::optional<int64_t> code;
    void didFinish(MailComposeController&, int r, const core::Error* error) override
    {
        result = r;
        if (error)
            code = error->code();
    }
};

TEST_F(DesktopMailTest, TheMessageGoesToTheProgramAsPlainArgumentsWithItsFilesInTheHome)
{
    fakeProgram(0);
    DesktopMail::install();
    EXPECT_TRUE(MailComposeController::canSendMail());
    auto composer = MailComposeController::create();
    auto finished = std::make_shared<Finished>();
    composer->setMailComposeDelegate(finished);
    composer->setSubject("a'b; rm -rf ~");
    composer->setToRecipients({ "ann@example.com", "--help" });
    composer->setCcRecipients({ "cy@example.com" });
    composer->addAttachment(core::Data(std::string_view("first")), "text/plain", "../../notes.txt");
    composer->addAttachment(core::Data(std::string_view("second")), "text/plain", "notes.txt");
    composer->addAttachment(core::Data(std::string_view("third")), "", "");
    DesktopMail::send(*composer);
    ASSERT_TRUE(pump([&] { return finished->result.has_value(); }));
    EXPECT_EQ(finished->result, MailComposeController::Sent);

    auto args = recorded();
    ASSERT_GE(args.size(), 6u);
    EXPECT_EQ(args[0], "--utf8");
    EXPECT_EQ(args[1], "--subject");
    EXPECT_EQ(args[2], "a'b; rm -rf ~") << "one argument, as written";
    std::vector<std::string> files;
    for (size_t i = 0; i + 1 < args.size(); ++i)
        if (args[i] == "--attach")
            files.push_back(args[i + 1]);
    ASSERT_EQ(files.size(), 3u);
    std::string tmp = home() + "/tmp/";
    for (auto& file : files)
        EXPECT_EQ(file.rfind(tmp, 0), 0u) << file << " lies outside the private tmp";
    EXPECT_EQ(readFile(files[0]), "first");
    EXPECT_EQ(files[0].substr(files[0].rfind('/') + 1), "notes.txt");
    EXPECT_EQ(files[1].substr(files[1].rfind('/') + 1), "notes 2.txt");
    EXPECT_EQ(files[2].substr(files[2].rfind('/') + 1), "Attachment");
    EXPECT_EQ(args[args.size() - 3], "--cc");
    EXPECT_EQ(args[args.size() - 2], "cy@example.com");
    EXPECT_EQ(args.back(), "ann@example.com") << "an option-like recipient is left out";
}

TEST_F(DesktopMailTest, AFailingOrMissingProgramSaysCannotSendMail)
{
    fakeProgram(3);
    auto composer = MailComposeController::create();
    auto finished = std::make_shared<Finished>();
    composer->setMailComposeDelegate(finished);
    DesktopMail::send(*composer);
    ASSERT_TRUE(pump([&] { return finished->result.has_value(); }));
    EXPECT_EQ(finished->result, MailComposeController::Failed);
    EXPECT_EQ(finished->code, 3);
    auto alert = driver.alert();
    ASSERT_TRUE(alert);
    EXPECT_EQ(alert->title(), "Cannot Send Mail");
    EXPECT_NE(alert->message().find("No mail program is set up"), std::string::npos) << alert->message();
    driver.pressAlertButton(0);

    fakeProgram(4);
    auto failing = MailComposeController::create();
    auto ended = std::make_shared<Finished>();
    failing->setMailComposeDelegate(ended);
    DesktopMail::send(*failing);
    ASSERT_TRUE(pump([&] { return ended->result.has_value(); }));
    ASSERT_TRUE(driver.alert());
    EXPECT_EQ(driver.alert()->message(), "The mail program could not take the message (it ended with status 4).");
    driver.pressAlertButton(0);

    setenv("PATH", "/nonexistent", 1);
    EXPECT_FALSE(DesktopMail::isAvailable());
    DesktopMail::install();
    EXPECT_FALSE(MailComposeController::canSendMail());
    auto second = MailComposeController::create();
    auto told = std::make_shared<Finished>();
    second->setMailComposeDelegate(told);
    DesktopMail::send(*second);
    EXPECT_EQ(told->result, MailComposeController::Failed);
    alert = driver.alert();
    ASSERT_TRUE(alert);
    EXPECT_NE(alert->message().find("xdg-utils"), std::string::npos) << alert->message();
    driver.pressAlertButton(0);
}

} // namespace
