#include "Support/UITestCase.h"

#include "Platform/Core/RunLoop.h"
#include "Platform/UI/Button.h"
#include "Platform/UI/Label.h"
#include "Platform/UI/LiveObjects.h"
#include "Platform/UI/TapGestureRecognizer.h"
#include "Platform/UI/Window.h"

namespace {

using test::UITestCase;
class DriverTest : public UITestCase { };

TEST_F(DriverTest, DumpShowsTheTreeWithFlagsAndTexts)
{
    auto label = ui::Label::create({ 10, 20, 100, 21 }, "Hello");
    auto button = ui::Button::create(ui::Button::Type::RoundedRect, { 10, 50, 100, 40 });
    button->setTitle("Go", ui::Control::Normal);
    button->setHidden(true);
    window().addSubview(label);
    window().addSubview(button);
    std::string dump = driver.dump();
    EXPECT_NE(dump.find("Window (0, 0, 320, 480)\n"), std::string::npos) << dump;
    EXPECT_NE(dump.find("  Label (10, 20, 100, 21) no-interaction \"Hello\"\n"), std::string::npos) << dump;
    EXPECT_NE(dump.find("  Button (10, 50, 100, 40) hidden \"Go\"\n"), std::string::npos) << dump;
    label->removeFromSuperview();
    button->removeFromSuperview();
}

TEST_F(DriverTest, ATornDownTreeLeavesNothingAlive)
{
    long before = ui::LiveObjects::views;
    std::shared_ptr<ui::View> survivor;
    {
        auto window = ui::Window::create({ 0, 0, 320, 480 });
        window->makeKeyAndVisible();
        std::vector<ui::View*> parents { window.get() };
        for (int i = 0; i < 1000; ++i) {
            auto view = ui::View::create({ 0, 0, 10, 10 });
            // Closures kept by the tree reach it weakly.
            auto tap = ui::TapGestureRecognizer::create();
            std::weak_ptr<ui::View> weak = view;
            tap->addTarget(nullptr, "tapped", [weak](ui::GestureRecognizer&) {
                if (auto v = weak.lock())
                    v->setHidden(true);
            });
            view->addGestureRecognizer(tap);
            parents[size_t(i) / 10]->addSubview(view);
            parents.push_back(view.get());
        }
        survivor = std::static_pointer_cast<ui::View>(parents[500]->shared_from_this());
        EXPECT_EQ(ui::LiveObjects::views - before, 1001);
        driver.tap(gfx::Point { 5, 5 });
        this->window().makeKeyAndVisible();
    }
    core::RunLoop::main().runUntilIdle();
    EXPECT_EQ(survivor->window(), nullptr); // its window is gone
    EXPECT_EQ(survivor->superview(), nullptr);
    survivor.reset();
    EXPECT_EQ(ui::LiveObjects::views - before, 0);
}

TEST_F(DriverTest, ApplicationMainRunsUntilTerminated)
{
    struct Quitting : ui::ApplicationDelegate {
        std::vector<std::string> log;
        void didBecomeActive(ui::Application& application) override
        {
            log.push_back("active");
            core::RunLoop::main().performAfter(0, [&application] { application.terminate(); });
        }
        void willTerminate(ui::Application&) override { log.push_back("terminate"); }
    };
    auto delegate = std::make_shared<Quitting>();
    auto keep = ui::Application::sharedPointer();
    int status = ui::applicationMain(0, nullptr, nullptr, [&] { return delegate; });
    EXPECT_EQ(status, 0);
    EXPECT_EQ(delegate->log, (std::vector<std::string> { "active", "terminate" }));
    ui::Application::setShared(keep);
}

} // namespace
