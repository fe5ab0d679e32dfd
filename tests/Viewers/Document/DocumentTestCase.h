#pragma once

// The document frame's tests: a viewer whose content is a scroll view of
// numbered bands (one per screenful) in the browser's navigation stack,
// with the frame's contract answered by the scroll view, and a fixture that
// opens it on a phone-sized screen.

#include "Viewers/Document/VKDocumentViewController.h"

#include "App/Shell/VKNavigationController.h"
#include "App/Viewers/VKViewerFolderHost.h"
#include "FileModel/VKFileResource.h"
#include "Platform/Core/Object.h"
#include "Platform/UI/ScrollView.h"
#include "Support/UITestCase.h"

#include "../../App/Shell/FakeAppDelegateHooks.h"

#include <memory>
#include <string>
#include <vector>

namespace test {

class DocumentHooks : public FakeAppDelegateHooks {
public:
    bool isOrientationLocked() const override { return orientationLocked; }
    bool orientationLocked = false;
};

// A folder screen that only says which folder it lists.
class DocumentFolderHost : public core::Object, public VKViewerFolderHost {
public:
    std::shared_ptr<VKFileResource> folderResource() const override { return folder; }
    int moveResourceToTrash(const std::shared_ptr<VKFileResource>&) override { return TrashMoved; }
    std::vector<std::shared_ptr<VKFileResource>> getAllViewableResourcesWithType(const std::optional<std::string>&) override
    {
        return {};
    }
    std::shared_ptr<VKFileResource> getNextViewableResourceRelativeToResource(const std::shared_ptr<VKFileResource>&,
        const std::optional<std::string>&) override
    {
        return nullptr;
    }
    std::shared_ptr<VKFileResource> getPreviousViewableResourceRelativeToResource(
        const std::shared_ptr<VKFileResource>&, const std::optional<std::string>&) override
    {
        return nullptr;
    }
    std::shared_ptr<VKFileResource> getNextViewableResourceRelativeToResource(const std::shared_ptr<VKFileResource>&,
        const std::vector<std::string>&) override
    {
        return nullptr;
    }
    std::shared_ptr<VKFileResource> getPreviousViewableResourceRelativeToResource(
        const std::shared_ptr<VKFileResource>&, const std::vector<std::string>&) override
    {
        return nullptr;
    }
    std::shared_ptr<VKFileResource> getFirstViewableResourceIgnoringUTIdentifiers(const std::vector<std::string>&) override
    {
        return nullptr;
    }
    std::shared_ptr<VKFileResource> folder;
};

// The content: a scroll view `contentHeight` high of numbered bands, each
// as high as the view. Loads at once unless told to wait.
class BandViewer : public VKDocumentViewController {
public:
    static std::shared_ptr<BandViewer> create(const std::shared_ptr<VKFileResource>& resource,
        const std::shared_ptr<VKViewerFolderHost>& folder, gfx::Size contentSize);

    gfx::Point contentOffset() override { return scroll->contentOffset(); }
    void setContentOffset(gfx::Point offset) override { scroll->setContentOffset(offset); }
    gfx::Size contentSize() override { return size; }
    ui::View* verticalScrollIndicator() override { return scroll->verticalScrollIndicator(); }
    void loadContentView() override;
    int documentViewLayout() const override { return layout; }
    float contentZoom() override { return zoom; }
    void setContentZoom(float value) override { zoom = value; }

    std::shared_ptr<ui::ScrollView> scroll;
    gfx::Size size;
    int layout = 1;
    float zoom = 1;
    bool waits = false;
    core::Observation offsetObservation;
};

class DocumentTestCase : public UITestCase {
protected:
    std::shared_ptr<ui::Application> makeApplication() override;
    void SetUp() override;
    void TearDown() override;

    // Opens "Files/<name>" with content of that size, pushed unanimated.
    std::shared_ptr<BandViewer> open(gfx::Size contentSize = { 320, 1600 }, std::string_view name = "Annual Report.pdf");

    std::shared_ptr<DocumentHooks> hooks;
    std::shared_ptr<DocumentFolderHost> host;
    std::shared_ptr<VKNavigationController> navigation;
};

} // namespace test
