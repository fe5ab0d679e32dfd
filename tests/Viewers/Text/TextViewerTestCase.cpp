#include "TextViewerTestCase.h"

#include "FileModel/VKFileResource.h"
#include "Platform/Core/Thread.h"
#include "Platform/Core/UserDefaults.h"
#include "Viewers/Text/VKTextFile.h"

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <thread>

namespace test {

void TextViewerTestCase::SetUp()
{
    DocumentTestCase::SetUp();
    core::UserDefaults::standard()->registerDefaults({
        { "VKDefaultTextEncoding", core::Value("UTF-8") },
        { "VKDefaultTextFontSize", core::Value(13.0) },
    });
}

void TextViewerTestCase::TearDown()
{
    VKTextFile::setChunkHookForTesting({});
    EXPECT_TRUE(waitForWorkers());
    runLoop();
    DocumentTestCase::TearDown();
}

std::shared_ptr<VKTextViewController> TextViewerTestCase::openText(std::string_view name, std::string_view contents, bool wait)
{
    std::string relative = "Files/" + std::string(name);
    std::string path = pathInHome(relative);
    if (!std::filesystem::exists(path))
        makeFile(relative, contents);
    auto viewer = VKTextViewController::create(VKFileResource::resourceWithPath(path), host);
    navigation->pushViewController(viewer, false);
    runLoop();
    if (wait)
        waitForLoad(*viewer);
    return viewer;
}

void TextViewerTestCase::waitForLoad(VKTextViewController& viewer)
{
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (viewer.contentIsLoading() && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
        runLoop();
    }
    ASSERT_FALSE(viewer.contentIsLoading());
    runLoop();
}

bool TextViewerTestCase::waitForWorkers()
{
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    for (;;) {
        auto names = core::Thread::runningThreadNames();
        if (std::find(names.begin(), names.end(), "VKTextLoad") == names.end())
            return true;
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
}

} // namespace test
