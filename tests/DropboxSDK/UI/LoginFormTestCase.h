#pragma once

// The login and sign-up forms' tests: a phone or tablet screen, the fake
// cloud service, an unlinked shared session with the program's consumer
// pair, and a delegate that writes down how the form ended.

#include "DropboxSDK/DBSession.h"
#include "DropboxSDK/UI/DBLoginController.h"
#include "DropboxSDK/UI/DBLoginControllerDelegate.h"
#include "Platform/Core/RunLoop.h"
#include "Platform/Core/Thread.h"
#include "Platform/UI/AlertView.h"
#include "Platform/UI/NavigationController.h"

#include "Support/DropboxSDK/FakeCloudServer.h"
#include "Support/UIScreens.h"
#include "Support/UITestCase.h"

namespace test {

class LoginEvents : public DBLoginControllerDelegate {
public:
    void loginControllerDidLogin(DBLoginController& form) override { events.push_back("didLogin " + form.userName()); }
    void loginControllerDidCancel(DBLoginController&) override { events.push_back("didCancel"); }
    std::vector<std::string> events;
};

class LoginFormTestCase : public UITestCase {
protected:
    virtual const DeviceScreen& device() const { return phoneScreen; }

    void SetUp() override
    {
        UITestCase::SetUp();
        useDeviceScreen(window(), device());
        server = std::make_unique<FakeCloudServer>();
        ASSERT_TRUE(server->isRunning());
        session = server->linkSession();
        session->unlink();
        root = ui::ViewController::create();
        root->setTitle("Root");
        window().setRootViewController(root);
        runLoop();
    }

    void TearDown() override
    {
        form.reset();
        root.reset();
        window().setRootViewController(nullptr);
        core::Thread::waitForAll(10);
        core::RunLoop::main().runUntilIdle();
        session.reset();
        DBSession::setSharedSession(nullptr);
        server.reset();
        UITestCase::TearDown();
    }

    // A new form presented from the root, as the root list presents it.
    void presentForm()
    {
        form = DBLoginController::create();
        form->setDelegate(events);
        form->presentFromController(*root);
        settle();
    }
    void settle()
    {
        runLoop();
        ui::ViewController::completeModalTransition();
        advance(1);
        runLoop();
    }
    // Pumps until the form stops working (20 s at most).
    bool waitForAnswer(ui::ViewController& controller, const std::function<bool()>& working)
    {
        (void)controller;
        bool done = core::RunLoop::main().runUntil([&] { return !working(); }, 20);
        settle();
        return done;
    }
    void typeLogin(const std::string& email, const std::string& password)
    {
        driver.tapRow(*form->tableView(), { 0, 0 });
        driver.type(email);
        driver.tapRow(*form->tableView(), { 0, 1 });
        driver.type(password);
        runLoop();
    }
    // "title / message" of the alert shown, pressing its only button.
    std::string takeAlert()
    {
        auto alert = driver.alert();
        if (!alert)
            return "<none>";
        std::string text = alert->title() + " / " + alert->message();
        EXPECT_EQ(alert->numberOfButtons(), 1);
        EXPECT_EQ(alert->buttonTitle(0), "OK");
        driver.pressAlertButton(0);
        runLoop();
        return text;
    }
    size_t count(std::string_view path) const
    {
        size_t n = 0;
        for (const auto& request : server->requests())
            n += request.pathOnly() == path;
        return n;
    }

    std::unique_ptr<FakeCloudServer> server;
    std::shared_ptr<DBSession> session;
    std::shared_ptr<ui::ViewController> root;
    std::shared_ptr<DBLoginController> form;
    std::shared_ptr<LoginEvents> events = std::make_shared<LoginEvents>();
};

} // namespace test
