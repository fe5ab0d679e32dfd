#pragma once

// A folder screen as the browser's screens build theirs on the base: a few
// rows, and a toolbar of the server button, settings, the operation or the
// folder information in the middle between flexible spaces, and help. It
// counts what it hears in a tally that outlives it, so a test can tell that
// a destroyed screen heard nothing. The fixture shows it as the root of the
// browser's navigation controller, with the operation reset and the cloud
// hooks recording.

#include "FolderBrowserTestCase.h"

#include "App/FolderBrowser/VKFolderControllerBase.h"
#include "App/FolderBrowser/VKFolderInfoLabel.h"
#include "Shell/Interface/BarButtonItemAdditions.h"
#include "Shell/VKNavigationController.h"
#include "Support/FileModel/RecordingCloudHooks.h"

#include "Platform/Core/UserDefaults.h"
#include "Platform/UI/AlertView.h"
#include "Platform/UI/Window.h"

#include "Platform/UI/BarButtonItem.h"
#include "Platform/UI/Label.h"
#include "Platform/UI/TableViewCell.h"

#include <memory>
#include <string>
#include <vector>

namespace test {

struct FolderScreenTally {
    int toolbarRebuilds = 0;
    int starts = 0;
    int ends = 0;
    int progressUpdates = 0;
    int statusChanges = 0;
};

class TestFolderScreen : public VKFolderControllerBase {
public:
    static std::shared_ptr<TestFolderScreen> create(std::string title, bool dark = false)
    {
        auto screen = std::make_shared<TestFolderScreen>();
        screen->setTitle(std::move(title));
        screen->m_dark = dark;
        return screen;
    }

    void updateToolbarItems() override
    {
        VKFolderControllerBase::updateToolbarItems();
        ++tally->toolbarRebuilds;
        auto centre = VKBrowserOperation::isOperationInProgress() ? barItems().progressItem() : barItems().folderInfoItem();
        setToolbarItems({ barItems().serverStateItem(), barItems().settingsItem(), flexibleSpaceBarButtonItem(), centre,
            flexibleSpaceBarButtonItem(), barItems().helpItem() });
        if (auto* label = folderInfoLabel())
            label->setInfo(info);
    }
    void backgroundOperationDidStart() override
    {
        ++tally->starts;
        VKFolderControllerBase::backgroundOperationDidStart();
    }
    void backgroundOperationDidEnd() override
    {
        ++tally->ends;
        VKFolderControllerBase::backgroundOperationDidEnd();
    }
    void backgroundOperationProgressDidUpdate(float progress) override
    {
        ++tally->progressUpdates;
        VKFolderControllerBase::backgroundOperationProgressDidUpdate(progress);
    }
    void networkOrServerStatusDidChange(const core::Notification* notification) override
    {
        ++tally->statusChanges;
        VKFolderControllerBase::networkOrServerStatusDidChange(notification);
    }
    bool shouldUseDarkControlStyle() const override { return m_dark; }

    // The centre of the toolbar (the item between the flexible spaces).
    std::shared_ptr<ui::BarButtonItem> centreItem() const
    {
        return toolbarItems().size() == 6 ? toolbarItems()[3] : nullptr;
    }

    int numberOfRows(ui::TableView&, int) override { return int(rows.size()); }
    std::shared_ptr<ui::TableViewCell> cellForRow(ui::TableView& table, ui::IndexPath path) override
    {
        auto cell = table.dequeueReusableCell("row");
        if (!cell)
            cell = std::make_shared<ui::TableViewCell>(ui::TableViewCell::Style::Default, "row");
        cell->textLabel().setText(rows[size_t(path.row)]);
        return cell;
    }

    std::shared_ptr<FolderScreenTally> tally = std::make_shared<FolderScreenTally>();
    std::string info = "12 Items, 3.4 MB";
    std::vector<std::string> rows { "Archive.zip", "Holiday Photos", "Invoices", "Notes.txt", "Report 2026.pdf" };

private:
    bool m_dark = false;
};

class FolderScreenTestCase : public FolderBrowserTestCase {
protected:
    void SetUp() override
    {
        FolderBrowserTestCase::SetUp();
        VKBrowserOperation::resetOperationForTesting();
        cloud = RecordingCloudHooks::install();
        core::UserDefaults::standard()->set("VKServerEnabled", core::Value(true));
    }
    void TearDown() override
    {
        VKBrowserOperation::resetOperationForTesting();
        window().setRootViewController(nullptr);
        if (delegate)
            delegate->setNavigationController(nullptr);
        navigation.reset();
        runLoop();
        VKCloudHooks::setCurrent(nullptr);
        cloud.reset();
        ui::AlertView::resetForTesting();
        FolderBrowserTestCase::TearDown();
    }
    std::shared_ptr<TestFolderScreen> show(std::shared_ptr<TestFolderScreen> screen)
    {
        screen->setServices(delegate);
        window().setRootViewController(nullptr);
        navigation = VKNavigationController::create(screen);
        delegate->setNavigationController(navigation);
        window().setRootViewController(navigation);
        runLoop();
        return screen;
    }
    // Ends the operation and lets its end be heard.
    void finishOperation()
    {
        VKBrowserOperation::endOperation();
        advance(0.2);
        runLoop();
    }

    std::shared_ptr<RecordingCloudHooks> cloud;
    std::shared_ptr<VKNavigationController> navigation;
};

} // namespace test
