#pragma once

// The movie screen's tests: "Movies/c.mp4" in the test's home played by
// test::FakeMovieEngine on the manual clock, the browser's navigation stack
// with its toolbar over a list, pushed unanimated.

#include "Viewers/Movie/VKMoviePlayerController.h"

#include "Shell/VKNavigationController.h"
#include "Shell/VKWindow.h"
#include "FileModel/VKFileResource.h"
#include "Support/Movie/FakeMovieEngine.h"
#include "Support/StubFolderHost.h"
#include "Support/UITestCase.h"

#include <memory>
#include <string>

namespace test {

class MovieTestCase : public UITestCase {
protected:
    std::shared_ptr<ui::Application> makeApplication() override;
    void SetUp() override;
    void TearDown() override;

    std::shared_ptr<VKFileResource> movie(const std::string& name = "c.mp4");
    // Pushes the screen on the movie and runs the loop (the fake prerolls).
    std::shared_ptr<VKMoviePlayerController> open(const std::string& name = "c.mp4");
    // Plays on the manual clock for `seconds`, a frame at a time.
    void play(double seconds);
    bool barsHidden();
    float toolbarAlpha();
    bool isOnTop(VKMoviePlayerController& screen);

    std::shared_ptr<StubFolderHost> host;
    std::shared_ptr<VKNavigationController> navigation;
    std::shared_ptr<VKWindow> appWindow;
};

} // namespace test
