#pragma once

// The downloads list of the downloads screen: the unfinished web downloads
// and the finished ones still remembered, newest first. A row's sheet
// opens, resumes, reveals or clears it; a swipe clears a finished file or
// deletes a paused download with its partial data. The rows are rebuilt
// from the download manager whenever the list shows and whenever the
// manager's downloads change.

#include "Platform/Core/Observation.h"
#include "Platform/UI/ActionSheet.h"
#include "Platform/UI/TableViewController.h"

#include <memory>
#include <vector>

class VKDownloadHistoryController;
class VKFileResource;

class VKDownloadHistoryControllerUIDelegate {
public:
    virtual ~VKDownloadHistoryControllerUIDelegate() = default;
    // Each message is sent only when its query answers yes.
    virtual bool supportsOpenDownloadResource() const { return false; }
    virtual void downloadHistoryControllerOpenDownloadResource(VKDownloadHistoryController&,
        const std::shared_ptr<VKFileResource>&) { }
    virtual bool supportsRevealDownloadResource() const { return false; }
    virtual void downloadHistoryControllerRevealDownloadResource(VKDownloadHistoryController&,
        const std::shared_ptr<VKFileResource>&) { }
    virtual bool supportsWillAppear() const { return false; }
    virtual void downloadHistoryControllerWillAppear(VKDownloadHistoryController&) { }
};

class VKDownloadHistoryController : public ui::TableViewController, public ui::ActionSheetDelegate {
public:
    static constexpr int RowActionSheetTag = 1001;
    static constexpr int PartialDownloadActionSheetTag = 1002;
    enum RowAction { OpenAction = 0, ResumeAction = 1, RevealAction = 2, ClearAction = 4 };
    static constexpr const char* DownloadCellIdentifier = "VKDownloadHistoryControllerDownloadCell";
    static constexpr const char* ResourceCellIdentifier = "VKDownloadHistoryControllerResourceCell";
    static constexpr const char* NoDownloadsCellIdentifier = "VKNoActiveDownloadsCell";
    static constexpr const char* ClearCompletedDownloadsAction = "clearCompletedDownloads";

    static std::shared_ptr<VKDownloadHistoryController> create();
    VKDownloadHistoryController();

    std::shared_ptr<VKDownloadHistoryControllerUIDelegate> uiDelegate() const { return m_uiDelegate.lock(); }
    void setUIDelegate(std::weak_ptr<VKDownloadHistoryControllerUIDelegate> delegate) { m_uiDelegate = std::move(delegate); }
    // The rows: download items and finished files.
    const std::vector<std::shared_ptr<VKFileResource>>& downloads() const { return m_downloads; }

    // Rows from the manager, the table reloaded, Clear enabled exactly
    // when a finished file is listed.
    void updateDownloads();
    void clearCompletedDownloads();

    void loadView() override;
    void viewDidLoad() override;
    void viewWillAppear(bool animated) override;
    void didReceiveMemoryWarning() override;
    bool shouldAutorotate(ui::Orientation) override { return true; }

    int numberOfRows(ui::TableView&, int section) override;
    std::shared_ptr<ui::TableViewCell> cellForRow(ui::TableView& table, ui::IndexPath path) override;
    bool canEditRow(ui::TableView&, ui::IndexPath path) override;
    bool supportsCommitEditing() const override { return true; }
    void commitEditing(ui::TableView& table, ui::TableViewCell::EditingStyle style, ui::IndexPath path) override;

    std::optional<ui::IndexPath> willSelectRow(ui::TableView&, ui::IndexPath path) override;
    // Not the "No Downloads" row.
    bool canSelectRow(ui::TableView&, ui::IndexPath path) override;
    void didSelectRow(ui::TableView& table, ui::IndexPath path) override;
    std::optional<ui::TableViewCell::EditingStyle> editingStyleForRow(ui::TableView&, ui::IndexPath path) override;
    std::optional<std::string> titleForDeleteConfirmationButton(ui::TableView&, ui::IndexPath path) override;

    void clickedButton(ui::ActionSheet& sheet, int index) override;

private:
    std::shared_ptr<VKFileResource> resourceAtIndexPath(ui::IndexPath path) const;
    // Forgets a finished file and takes its row away (sliding right), or
    // reloads when it was the last.
    void clearCompletedDownload(const std::shared_ptr<VKFileResource>& file, bool animated);
    void showRowSheet(const std::shared_ptr<VKFileResource>& resource);

    std::vector<std::shared_ptr<VKFileResource>> m_downloads;
    std::weak_ptr<VKDownloadHistoryControllerUIDelegate> m_uiDelegate;
    std::shared_ptr<ui::BarButtonItem> m_clearItem;
    core::Observation m_downloadsObservation;
};
