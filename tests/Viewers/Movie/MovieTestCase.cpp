#include "MovieTestCase.h"

#include "Shell/VKApplication.h"
#include "Platform/Core/RunLoop.h"
#include "Platform/UI/NavigationBar.h"
#include "Platform/UI/Toolbar.h"
#include "Platform/UI/Window.h"
#include "Viewers/ListInAppWindow.h"

namespace test {

std::shared_ptr<ui::Application> MovieTestCase::makeApplication()
{
    return VKApplication::create();
}

void MovieTestCase::SetUp()
{
    UITestCase::SetUp();
    FakeMovieEngine::install();
    host = std::make_shared<StubFolderHost>();
    host->folder = VKFileResource::resourceWithPath(makeFolder("Movies"));
    makeFile("Movies/c.mp4", "a movie the fake engine plays");
    test::showListInAppWindow("Movies", window().frame(), navigation, appWindow);
    application().becomeActive();
    runLoop();
}

void MovieTestCase::TearDown()
{
    test::closeListInAppWindow(navigation, appWindow);
    host.reset();
    runLoop();
    EXPECT_EQ(FakeMovieEngine::liveCount(), 0);
    FakeMovieEngine::uninstall();
    UITestCase::TearDown();
}

std::shared_ptr<VKFileResource> MovieTestCase::movie(const std::string& name)
{
    return VKFileResource::resourceWithPath(pathInHome("Movies/" + name));
}

std::shared_ptr<VKMoviePlayerController> MovieTestCase::open(const std::string& name)
{
    auto screen = VKMoviePlayerController::create(movie(name), host);
    navigation->pushViewController(screen, false);
    runLoop();
    runLoop();
    return screen;
}

void MovieTestCase::play(double seconds)
{
    auto& loop = core::RunLoop::main();
    for (double t = 0; t < seconds - 1e-9; t += 0.1)
        loop.advance(0.1);
    runLoop();
}

bool MovieTestCase::barsHidden()
{
    return navigation->isNavigationBarHidden() && navigation->isToolbarHidden();
}

float MovieTestCase::toolbarAlpha()
{
    return navigation->toolbar().alpha();
}

bool MovieTestCase::isOnTop(VKMoviePlayerController& screen)
{
    return navigation->topViewController() == &screen;
}

} // namespace test
