#include "ImageViewerTestCase.h"

#include "ImageTestSupport.h"

#include "Viewers/Image/VKImageView.h"

#include "Shell/VKApplication.h"
#include "Platform/Core/RunLoop.h"
#include "Platform/Core/UserDefaults.h"
#include "Platform/UI/TableViewController.h"
#include "Platform/UI/Window.h"


namespace test {

std::shared_ptr<ui::Application> ImageViewerTestCase::makeApplication()
{
    return VKApplication::create();
}

void ImageViewerTestCase::SetUp()
{
    UITestCase::SetUp();
    hooks = FakeAppDelegateHooks::install();
    // As the application registers them.
    core::UserDefaults::standard()->registerDefaults(
        { { "VKSlideShowTimeout", core::Value(3.0) }, { "VKSlideShowTransitionType", core::Value("fade") } });
    host = std::make_shared<ImageFolderHost>();
    host->folder = VKFileResource::resourceWithPath(makeFolder("Pictures"));
    auto list = std::make_shared<ui::TableViewController>();
    list->setTitle("Pictures");
    navigation = VKNavigationController::create(list);
    navigation->setToolbarHidden(false);
    window().setRootViewController(navigation);
    runLoop();
}

void ImageViewerTestCase::TearDown()
{
    if (viewer)
        viewer->stopSlideShowAndUpdateButton(false);
    window().setRootViewController(nullptr);
    navigation.reset();
    viewer.reset();
    host.reset();
    VKImageViewController::setAlbumSaver(nullptr);
    UITestCase::TearDown();
}

std::shared_ptr<VKFileResource> ImageViewerTestCase::addPicture(const std::string& name, int width, int height)
{
    std::string path = pathInHome("Pictures/" + name);
    EXPECT_TRUE(writeQuarteredJPEG(path, width, height));
    auto resource = VKFileResource::resourceWithPath(path);
    host->files.push_back(resource);
    return resource;
}

std::shared_ptr<VKFileResource> ImageViewerTestCase::addFile(const std::string& name, std::string_view bytes)
{
    auto resource = VKFileResource::resourceWithPath(makeFile("Pictures/" + name, bytes));
    host->files.push_back(resource);
    return resource;
}

std::shared_ptr<VKImageViewController> ImageViewerTestCase::open(const std::shared_ptr<VKFileResource>& resource)
{
    viewer = VKImageViewController::imageViewControllerWithResource(resource, host);
    navigation->pushViewController(viewer, false);
    runLoop();
    waitForLoad();
    return viewer;
}

void ImageViewerTestCase::waitForLoad()
{
    EXPECT_TRUE(core::RunLoop::main().runUntil([&] { return viewer && !viewer->contentIsLoading(); }, 20));
    runLoop();
}

VKImageView& ImageViewerTestCase::imageView() const
{
    return *viewer->imageView();
}

std::string ImageViewerTestCase::shownName() const
{
    return viewer->resource() ? viewer->resource()->name() : std::string();
}

} // namespace test
