#pragma once

// The image viewer's tests: a folder of pictures made by ImageMagick, a
// folder screen that walks it, and the viewer pushed onto the browser's
// navigation stack on a phone-sized screen.

#include "Viewers/Image/VKImageViewController.h"

#include "Shell/VKNavigationController.h"
#include "FileModel/VKFileResource.h"
#include "Support/ListedFolderHost.h"
#include "Support/UITestCase.h"

#include "../../Shell/FakeAppDelegateHooks.h"

#include <memory>
#include <string>
#include <vector>

class VKImageView;

namespace test {

using ImageFolderHost = ListedFolderHost;

class ImageViewerTestCase : public UITestCase {
protected:
    std::shared_ptr<ui::Application> makeApplication() override;
    void SetUp() override;
    void TearDown() override;

    // Makes "Pictures/<name>" (a quartered JPEG of that size) and lists it.
    std::shared_ptr<VKFileResource> addPicture(const std::string& name, int width = 64, int height = 48);
    // Makes "Pictures/<name>" with these bytes and lists it.
    std::shared_ptr<VKFileResource> addFile(const std::string& name, std::string_view bytes);
    // Pushes the viewer for the listed file, unanimated, and waits for its
    // first picture (or failure).
    std::shared_ptr<VKImageViewController> open(const std::shared_ptr<VKFileResource>& resource);
    // Runs the loop until the viewer loads no more (real time for the
    // image queue's worker).
    void waitForLoad();
    VKImageView& imageView() const;
    std::string shownName() const;

    std::shared_ptr<FakeAppDelegateHooks> hooks;
    std::shared_ptr<ImageFolderHost> host;
    std::shared_ptr<VKNavigationController> navigation;
    std::shared_ptr<VKImageViewController> viewer;
};

} // namespace test
