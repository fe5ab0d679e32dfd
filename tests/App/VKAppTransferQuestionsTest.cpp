// The transfers' questions as alerts: their texts and buttons, each button's
// answer, the system's dismissal, and a question taken back unanswered.

#include "App/VKAppTransferQuestions.h"

#include "Shell/VKApplication.h"
#include "Kit/VKBytesFormatter.h"
#include "Platform/Graphics/TextEngine.h"
#include "Platform/UI/AlertView.h"
#include "Platform/UI/Testing/Environment.h"
#include "Support/UIScreens.h"
#include "Support/UITestCase.h"

namespace {

class VKAppTransferQuestionsTest : public test::UITestCase {
protected:
    std::shared_ptr<ui::Application> makeApplication() override { return VKApplication::create(); }

    VKTransferQuestions::Answer record()
    {
        return [this](VKTransferAnswer answer) { answers.push_back(answer); };
    }

    VKAppTransferQuestions questions;
    std::vector<VKTransferAnswer> answers;
};

TEST_F(VKAppTransferQuestionsTest, EachQuestionIsAnAlertWhoseButtonsAnswerIt)
{
    questions.askToExceedQuota(50'000'000, 20'000'000, true, record());
    auto alert = driver.alert();
    ASSERT_TRUE(alert);
    auto& formatter = VKBytesFormatter::sharedFormatter();
    EXPECT_EQ(alert->title(), "Warning");
    EXPECT_EQ(alert->message(), "The current download (" + formatter.formatBytesAsString(50'000'000)
            + ") may exceed your remaining disk quota (" + formatter.formatBytesAsString(20'000'000) + ").");
    EXPECT_EQ(alert->buttonTitle(alert->cancelButtonIndex()), "Cancel");
    for (const auto* device : { &test::phoneScreen, &test::tabletScreen }) {
        test::useDeviceScreen(*ui::testing::Environment::keyWindow(), *device);
        test::saveScreen(driver, sourcePath("build/screens/app"), "quota-question-" + device->name, device->scale);
    }
    driver.pressAlertButton("Cancel");
    advance(0.5);
    questions.askToExceedQuota(1, 0, true, record());
    driver.pressAlertButton("Continue");
    advance(0.5);

    // An enforced quota is only told: "OK" declines.
    for (const auto* device : { &test::phoneScreen, &test::tabletScreen }) {
        test::useDeviceScreen(*ui::testing::Environment::keyWindow(), *device);
        // Laid out with the text the picture is drawn with.
        gfx::setTextEngine(gfx::makePangoTextEngine());
        questions.askToExceedQuota(50'000'000, 20'000'000, false, record());
        alert = driver.alert();
        ASSERT_TRUE(alert);
        EXPECT_EQ(alert->message(), "The current download (" + formatter.formatBytesAsString(50'000'000)
                + ") does not fit in your remaining disk quota (" + formatter.formatBytesAsString(20'000'000)
                + ") and was stopped.");
        EXPECT_EQ(alert->numberOfButtons(), 1);
        EXPECT_EQ(alert->buttonTitle(alert->cancelButtonIndex()), "OK");
        test::saveScreen(driver, sourcePath("build/screens/app"), "quota-enforced-" + device->name, device->scale);
        driver.pressAlertButton("OK");
        advance(0.5);
    }

    questions.askToOverwrite("a.txt", "Dropbox", record());
    alert = driver.alert();
    ASSERT_TRUE(alert);
    EXPECT_EQ(alert->title(), "Upload Warning");
    EXPECT_EQ(alert->message(), "\"a.txt\" already exists on Dropbox.\nOverwrite this item?");
    EXPECT_EQ(alert->buttonTitle(alert->cancelButtonIndex()), "Cancel");
    driver.pressAlertButton("Overwrite?");
    advance(0.5);
    EXPECT_EQ(answers, (std::vector<VKTransferAnswer> { VKTransferAnswer::Decline, VKTransferAnswer::GoOn,
                           VKTransferAnswer::Decline, VKTransferAnswer::Decline, VKTransferAnswer::GoOn }));
    EXPECT_TRUE(driver.shownChoices().empty());
}

TEST_F(VKAppTransferQuestionsTest, TheSystemsDismissalAndAWithdrawal)
{
    questions.askToOverwrite("a.txt", "Dropbox", record());
    VKApplication::sharedApplication()->vk_dismissActiveAlertView();
    EXPECT_EQ(answers, (std::vector<VKTransferAnswer> { VKTransferAnswer::Dismissed }));

    auto withdraw = questions.askToExceedQuota(2, 1, true, record());
    ASSERT_TRUE(driver.alert());
    withdraw();
    runLoop();
    EXPECT_TRUE(driver.shownChoices().empty());
    EXPECT_EQ(answers.size(), 1u);
    // Once gone, taking it back again changes nothing.
    withdraw();
}

} // namespace
