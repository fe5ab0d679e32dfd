#include "Shell/VKApplication.h"

#include "Platform/Core/UserDefaults.h"
#include "Support/TestCase.h"

namespace {

class VKApplicationTest : public test::TestCase {
protected:
    static std::shared_ptr<core::UserDefaults> defaults() { return core::UserDefaults::standard(); }
};

class BusyNetwork : public VKNetworkActivityDelegate {
public:
    bool isNetworkActiveForApplication(VKApplication&) override
    {
        ++asked;
        return busy;
    }
    bool busy = true;
    int asked = 0;
};

TEST_F(VKApplicationTest, KeepAwakeAndActivityIndicatorPolicies)
{
    auto application = VKApplication::sharedApplication();
    application->setIdleTimerDisabled(true);
    application->setIdleTimerDisabled(false);
    EXPECT_FALSE(application->isIdleTimerDisabled());

    defaults()->set("VKInsomniaEnabled", true);
    application->setIdleTimerDisabled(true);
    application->setIdleTimerDisabled(false);
    EXPECT_TRUE(application->isIdleTimerDisabled());
    application->forceIdleTimerDisabled();
    EXPECT_FALSE(application->isIdleTimerDisabled());

    auto network = std::make_shared<BusyNetwork>();
    application->setNetworkActivityDelegate(network);
    application->setNetworkActivityIndicatorVisible(true);
    EXPECT_EQ(network->asked, 0);
    application->setNetworkActivityIndicatorVisible(false);
    EXPECT_TRUE(application->isNetworkActivityIndicatorVisible());
    EXPECT_EQ(network->asked, 1);
    network->busy = false;
    application->setNetworkActivityIndicatorVisible(false);
    EXPECT_FALSE(application->isNetworkActivityIndicatorVisible());

    // The delegate is not owned: once it is gone the indicator simply goes out.
    application->setNetworkActivityIndicatorVisible(true);
    network.reset();
    application->setNetworkActivityIndicatorVisible(false);
    EXPECT_FALSE(application->isNetworkActivityIndicatorVisible());
}

} // namespace

TEST_F(VKApplicationTest, TheToolkitsApplicationIsTheSharedOneWhileItIsOne)
{
    auto lazy = VKApplication::sharedApplication();
    EXPECT_EQ(VKApplication::sharedApplication(), lazy);
    EXPECT_EQ(ui::Application::shared(), nullptr);

    auto program = VKApplication::create();
    ui::Application::setShared(program);
    EXPECT_EQ(VKApplication::sharedApplication(), program);
    ui::Application::setShared(std::make_shared<ui::Application>());
    EXPECT_EQ(VKApplication::sharedApplication(), lazy);
    ui::Application::setShared(nullptr);
}
