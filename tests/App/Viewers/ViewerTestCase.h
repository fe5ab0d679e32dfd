#pragma once

// The viewers' tests: the toolkit's fixture with the browser's navigation
// stack in the key window, a folder screen that records what viewers ask
// of it, the shell's hooks as the test sets them (guest mode included),
// and viewers opened through the choice as a tapped row opens them.

#include "Shell/VKNavigationController.h"
#include "App/Viewers/VKViewController.h"
#include "App/Viewers/VKViewerFolderHost.h"
#include "FileModel/VKFileResource.h"
#include "Platform/Core/Object.h"
#include "Platform/UI/PrintFormatter.h"
#include "Platform/UI/ViewController.h"
#include "Support/StubFolderHost.h"
#include "Support/UITestCase.h"

#include "../../Shell/FakeAppDelegateHooks.h"

#include <memory>
#include <string>
#include <vector>

namespace test {

// The shell's answers, guest mode included.
class ViewerHooks : public FakeAppDelegateHooks {
public:
    bool isGuestMode() const override { return guestMode; }
    bool guestActionsEnabled() const override { return guestActions; }
    bool guestMode = false;
    bool guestActions = false;
};

// A folder screen: moving to the trash answers `trashResult`; a move that
// succeeds first posts the will-delete notice (as the real one does) and
// then removes the file.
class FakeFolderHost : public StubFolderHost {
public:
    int moveResourceToTrash(const std::shared_ptr<VKFileResource>& resource) override;

    int trashResult = VKViewerFolderHost::TrashMoved;
    // Whether a move that succeeds tells the viewers first.
    bool announces = true;
    std::vector<std::string> trashed;
};

// A viewer whose content is a plain view the test hands over when it likes
// (or at once), counting what the base asks of it.
class TestViewer : public VKViewController {
public:
    static std::shared_ptr<TestViewer> create(const std::shared_ptr<VKFileResource>& resource,
        const std::shared_ptr<VKViewerFolderHost>& folder, bool loadsAtOnce = false);
    void loadContentView() override;
    void storePersistentState() override { ++stores; }
    void resourceWillBeDeleted(const std::string& path) override
    {
        ++deletionNotices;
        VKViewController::resourceWillBeDeleted(path);
    }
    std::shared_ptr<ui::PrintFormatter> printFormatter() override { return formatter; }
    std::vector<std::shared_ptr<ui::BarButtonItem>> createToolbarItems() override;
    // Hands the content over as a loader would when done.
    void finishLoading();

    bool loadsAtOnce = false;
    int loads = 0;
    int stores = 0;
    int deletionNotices = 0;
    std::shared_ptr<ui::PrintFormatter> formatter;
};

class ViewerTestCase : public UITestCase {
protected:
    void SetUp() override;
    void TearDown() override;

    // A file in the test's home (made with `contents` when missing).
    std::shared_ptr<VKFileResource> file(std::string_view relative, std::string_view contents = "content");
    // Pushes the viewer onto the stack, unanimated, and runs the loop.
    void push(const std::shared_ptr<VKViewController>& viewer);
    // A viewer of the file, opened as the folder screen opens one.
    std::shared_ptr<TestViewer> openTestViewer(std::string_view relative, bool loadsAtOnce = true);
    // Waits (in real time) until the stand-in has gathered its facts.
    bool waitForContent(VKViewController& viewer);

    std::shared_ptr<ViewerHooks> hooks;
    std::shared_ptr<FakeFolderHost> host;
    std::shared_ptr<VKNavigationController> navigation;
};

} // namespace test
