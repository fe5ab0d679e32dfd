#pragma once

// The document frame's tests: a viewer whose content is a scroll view of
// numbered bands (one per screenful) in the browser's navigation stack,
// with the frame's contract answered by the scroll view, and a fixture that
// opens it on a phone-sized screen.

#include "BandViewer.h"

#include "Shell/VKNavigationController.h"
#include "App/Viewers/VKViewerFolderHost.h"
#include "FileModel/VKFileResource.h"
#include "Platform/Core/Object.h"
#include "Support/StubFolderHost.h"
#include "Support/UITestCase.h"

#include "../../Shell/FakeAppDelegateHooks.h"

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
class DocumentFolderHost : public StubFolderHost { };

class DocumentTestCase : public UITestCase {
protected:
    std::shared_ptr<ui::Application> makeApplication() override;
    void SetUp() override;
    void TearDown() override;

    // A fresh stack: the "Files" list with the toolbar shown; a turning list
    // follows the device, for screens shot in both orientations.
    void showFileList(bool turning = false);
    // Opens "Files/<name>" with content of that size in the layout (1
    // vertical, 2 horizontal), pushed unanimated.
    std::shared_ptr<BandViewer> open(gfx::Size contentSize = { 320, 1600 }, std::string_view name = "Annual Report.pdf",
        int layout = 1);

    std::shared_ptr<DocumentHooks> hooks;
    std::shared_ptr<DocumentFolderHost> host;
    std::shared_ptr<VKNavigationController> navigation;
};

} // namespace test
