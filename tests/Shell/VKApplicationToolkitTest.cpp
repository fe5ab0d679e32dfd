#include "Shell/VKApplication.h"

#include "Shell/VKOpenURLTarget.h"
#include "Shell/VKSystemDismissibleAlert.h"
#include "Platform/Core/NotificationCenter.h"
#include "Platform/Core/UserDefaults.h"
#include "Platform/UI/ActionSheet.h"
#include "Platform/UI/AlertView.h"
#include "Platform/UI/AudioSession.h"
#include "Platform/UI/ViewController.h"
#include "Support/UITestCase.h"

#include <fmt/format.h>

#include <algorithm>

namespace {

class VKApplicationToolkitTest : public test::UITestCase {
protected:
    std::shared_ptr<ui::Application> makeApplication() override { return VKApplication::create(); }
    VKApplication& vkApplication() { return static_cast<VKApplication&>(application()); }
};

class TextScreen : public ui::ViewController, public VKOpenURLTarget {
public:
    void handleOpenEventForURLRequest(const core::URLRequest& request) override { requests.push_back(request); }
    std::vector<core::URLRequest> requests;
};

// Writes what each sheet's and alert's delegate hears, with the tag it sees.
struct Recorder : ui::ActionSheetDelegate, ui::AlertViewDelegate {
    std::vector<std::string> log;
    std::function<void()> onDidDismiss;

    void clickedButton(ui::ActionSheet& sheet, int index) override { record("clicked", sheet, index); }
    void willDismiss(ui::ActionSheet& sheet, int index) override { record("willDismiss", sheet, index); }
    void didDismiss(ui::ActionSheet& sheet, int index) override
    {
        record("didDismiss", sheet, index);
        if (onDidDismiss)
            std::exchange(onDidDismiss, nullptr)();
    }
    void clickedButton(ui::AlertView& alert, int index) override { record("clicked", alert, index); }
    void willDismiss(ui::AlertView& alert, int index) override { record("willDismiss", alert, index); }
    void didDismiss(ui::AlertView& alert, int index) override { record("didDismiss", alert, index); }

    void record(const char* what, ui::ChoiceView& choice, int index)
    {
        log.push_back(fmt::format("{} {} {} tag {}", choice.title(), what, index, choice.tag()));
    }
};

// The system's own popup as far as the application sees it.
class Popup : public ui::View, public VKSystemDismissibleAlert {
public:
    int cancelButtonIndex() const override { return 1; }
    void dismissWithClickedButtonIndex(int index, bool animated) override
    {
        dismissals.push_back(fmt::format("{} tag {} animated {}", index, tag(), animated));
        removeFromSuperview();
    }
    std::vector<std::string> dismissals;
};

TEST_F(VKApplicationToolkitTest, IsTheToolkitsApplicationAndItsPoliciesHoldThroughIt)
{
    EXPECT_EQ(VKApplication::sharedApplication().get(), ui::Application::shared());
    EXPECT_EQ(vkApplication().homeDirectory(), home());

    // The toolkit's setters are the policies.
    ui::Application& toolkit = application();
    core::UserDefaults::standard()->set("VKInsomniaEnabled", true);
    toolkit.setIdleTimerDisabled(true);
    toolkit.setIdleTimerDisabled(false);
    EXPECT_TRUE(toolkit.isIdleTimerDisabled());
    vkApplication().forceIdleTimerDisabled();
    EXPECT_FALSE(toolkit.isIdleTimerDisabled());

    struct Busy : VKNetworkActivityDelegate {
        bool isNetworkActiveForApplication(VKApplication&) override { return true; }
    };
    auto busy = std::make_shared<Busy>();
    vkApplication().setNetworkActivityDelegate(busy);
    toolkit.setNetworkActivityIndicatorVisible(true);
    toolkit.setNetworkActivityIndicatorVisible(false);
    EXPECT_TRUE(toolkit.isNetworkActivityIndicatorVisible());
}

TEST_F(VKApplicationToolkitTest, LinksGoToTheTextScreenWhenItIsInFrontElseToTheSystem)
{
    auto text = std::make_shared<TextScreen>();
    std::shared_ptr<ui::ViewController> front = text;
    vkApplication().setContentViewControllerSource([&] { return front; });

    auto link = *core::URL::parse("http://example.com/page#part");
    EXPECT_TRUE(vkApplication().openURL(link));
    auto& requests = text->requests;
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].url().absoluteString(), "http://example.com/page#part");
    EXPECT_TRUE(driver.openedURLs().empty());
    // Without checks the system gets it regardless.
    EXPECT_TRUE(vkApplication().openURLNoChecks(*core::URL::parse("http://example.com/")));
    EXPECT_EQ(driver.openedURLs().size(), 1u);
    EXPECT_FALSE(vkApplication().openURL(core::URL()));

    front = ui::ViewController::create();
    EXPECT_TRUE(vkApplication().openURL(*core::URL::parse("http://example.com/")));
    EXPECT_FALSE(vkApplication().openURL(*core::URL::parse("ftp://x")));
    front = nullptr;
    EXPECT_TRUE(application().openURL(*core::URL::parse("mailto:a@b.test")));
    ASSERT_EQ(driver.openedURLs().size(), 3u);
    EXPECT_EQ(driver.openedURLs()[1].absoluteString(), "http://example.com/");
    EXPECT_EQ(driver.openedURLs()[2].absoluteString(), "mailto:a@b.test");
    EXPECT_EQ(requests.size(), 1u);
}

TEST_F(VKApplicationToolkitTest, MediaSessionIsSetUpOnceAndInterruptionsBecomeNotifications)
{
    std::vector<std::string> heard;
    auto& center = core::NotificationCenter::defaultCenter();
    auto application = VKApplication::sharedApplication();
    std::vector<core::Observation> observations;
    for (const char* name : { VKApplicationAudioInterruptionDidBeginNotification, VKApplicationAudioInterruptionDidEndNotification })
        observations.push_back(center.observe(name, nullptr, [&](const core::Notification& note) {
            heard.push_back(note.name() + (note.object() == application ? " from the application" : ""));
        }));

    // Before the session exists nothing is listening.
    driver.audioInterruption(true);
    EXPECT_TRUE(heard.empty());

    auto& session = ui::AudioSession::shared();
    application->initializeMediaPlaybackAudioSession();
    EXPECT_TRUE(session.isInitializedForTesting());
    EXPECT_EQ(session.category(), ui::AudioSession::categoryMediaPlayback);
    EXPECT_TRUE(session.isActive());
    session.setCategory(ui::AudioSession::categoryAmbient);
    session.setActive(false);
    application->initializeMediaPlaybackAudioSession();
    EXPECT_EQ(session.category(), ui::AudioSession::categoryAmbient);
    EXPECT_FALSE(session.isActive());

    driver.audioInterruption(true);
    driver.audioInterruption(false);
    // Anything but the begin value is an end.
    VKApplicationAudioInterruptionListener(nullptr, 7);
    EXPECT_EQ(heard, (std::vector<std::string> {
                         "VKApplicationAudioInterruptionDidBeginNotification from the application",
                         "VKApplicationAudioInterruptionDidEndNotification from the application",
                         "VKApplicationAudioInterruptionDidEndNotification from the application",
                     }));
}

TEST_F(VKApplicationToolkitTest, SheetsEverywhereGoAtOnceAsTheSystemCancelsThem)
{
    auto recorder = std::make_shared<Recorder>();
    auto toolbar = ui::View::create({ 0, 436, 320, 44 });
    window().addSubview(toolbar);
    auto fromToolbar = ui::ActionSheet::create("Toolbar", recorder, "Cancel", "Delete", { "A" });
    fromToolbar->showFromToolbar(*toolbar);

    auto second = ui::Window::create({ 0, 0, 320, 480 });
    auto deep = ui::View::create({ 0, 0, 320, 480 });
    second->addSubview(deep);
    second->makeKeyAndVisible();
    auto elsewhere = ui::ActionSheet::create("Elsewhere", recorder, "Cancel", {}, { "B" });
    elsewhere->showInView(*deep);
    auto noCancel = ui::ActionSheet::create("No cancel", recorder, {}, {}, { "C" });
    noCancel->showInView(window());

    // A sheet shown while the others go is not one of them.
    std::shared_ptr<ui::ActionSheet> later;
    recorder->onDidDismiss = [&] {
        later = ui::ActionSheet::create("Later", recorder, "Cancel");
        later->showInView(window());
    };

    vkApplication().vk_dismissActiveActionSheets();
    EXPECT_EQ(recorder->log, (std::vector<std::string> {
                                 "Toolbar clicked 2 tag 2147483647",
                                 "Toolbar willDismiss 2 tag 2147483647",
                                 "Toolbar didDismiss 2 tag 2147483647",
                                 "No cancel clicked -1 tag 2147483647",
                                 "No cancel willDismiss -1 tag 2147483647",
                                 "No cancel didDismiss -1 tag 2147483647",
                                 "Elsewhere clicked 1 tag 2147483647",
                                 "Elsewhere willDismiss 1 tag 2147483647",
                                 "Elsewhere didDismiss 1 tag 2147483647",
                             }));
    for (const auto& sheet : { fromToolbar, elsewhere, noCancel })
        EXPECT_FALSE(sheet->isVisible()) << sheet->title();
    ASSERT_TRUE(later);
    EXPECT_TRUE(later->isVisible());
    EXPECT_EQ(later->tag(), 0);
    later->dismiss(later->cancelButtonIndex(), false);
}

TEST_F(VKApplicationToolkitTest, AlertsInWindowsAreLoggedTaggedAndDismissed)
{
    auto recorder = std::make_shared<Recorder>();
    auto first = ui::AlertView::create("First", "", recorder, "Cancel", { "OK" });
    auto second = ui::AlertView::create("Second", "", recorder, {}, { "Fine" });
    first->show();
    second->show();
    ASSERT_TRUE(ui::AlertView::alertWindowForTesting()->isKeyWindow());
    auto popup = std::make_shared<Popup>();
    window().addSubview(popup);
    // Only views right in a window count.
    auto nested = std::make_shared<Popup>();
    auto holder = ui::View::create({ 0, 0, 100, 100 });
    holder->addSubview(nested);
    window().addSubview(holder);

    vkApplication().vk_dismissActiveAlertView();
    EXPECT_EQ(recorder->log, (std::vector<std::string> {
                                 "First clicked 0 tag 2147483647",
                                 "First willDismiss 0 tag 2147483647",
                                 "First didDismiss 0 tag 2147483647",
                                 "Second clicked -1 tag 2147483647",
                                 "Second willDismiss -1 tag 2147483647",
                                 "Second didDismiss -1 tag 2147483647",
                             }));
    EXPECT_EQ(popup->dismissals, (std::vector<std::string> { "1 tag 2147483647 animated false" }));
    EXPECT_FALSE(popup->superview());
    EXPECT_TRUE(nested->dismissals.empty());
    EXPECT_FALSE(ui::AlertView::alertWindowForTesting());
    EXPECT_TRUE(window().isKeyWindow());
}

} // namespace
