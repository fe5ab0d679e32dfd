#pragma once

#include "App/FolderBrowser/VKFolderChanges.h"
#include "App/FolderBrowser/VKFolderListing.h"
#include "App/FolderBrowser/VKFolderRowReveal.h"
#include "App/FolderBrowser/VKFolderTransferRows.h"

#include <memory>
#include <optional>
#include <string>

class VKFolderController;

// The folder screen's answers to what changes its rows: the listing's
// questions and news (VKFolderListing), the outside changes the screen
// follows (VKFolderChanges) and the transfers placed in its folder
// (VKFolderTransferRows), and the table its rows are revealed in
// (VKFolderRowReveal). The screen holds it; the listing and the reveal,
// which the screen holds too, hold it by reference, the others through weak
// pointers that share the screen's life.
class VKFolderRowsHost : public VKFolderListing::Host,
                         public VKFolderChanges::Host,
                         public VKFolderTransferRows::Host,
                         public VKFolderRowReveal::Host {
public:
    explicit VKFolderRowsHost(VKFolderController& screen) : m_screen(screen) { }

    std::optional<VKFolderListing::Query> listingQuery() const override;
    bool listingIsOnTop() const override;
    // Marks follow their items; the editing bars count them again.
    void listingDidRebuild() override;
    void listingDidChange() override;
    void listingFolderMayBeGone() override;

    void changesFolderChanged(bool burst) override;
    bool changesScreenIsOnTop() const override { return listingIsOnTop(); }
    void changesReloadTable() override;
    std::optional<std::string> changesSearchText() const override;
    bool changesSearchesEverywhere() const override;
    void changesSearchMayFindMore() override;
    // Only a local folder's summary and size order follow the quota.
    void changesContentSizeChanged(const std::string& path) override;
    // Showing extensions reloads the table of the screen on top; the order
    // and hidden files are the listing's.
    void changesSettingChanged(const std::string& key) override;
    void changesUpdateModel() override;

    bool transferIsListed(const std::shared_ptr<VKFileResource>& download) override;
    void transferStarted(const std::shared_ptr<VKFileResource>& download) override;
    // The file takes the download's row, or the row goes.
    void transferFinished(const std::shared_ptr<VKFileResource>& download,
        const std::shared_ptr<VKFileResource>& file) override;
    // A screen that shows is left alone; one below reads its folder again.
    void transferDeleted() override;
    void transferFailed(const std::shared_ptr<VKFileResource>& download) override;
    void transfersChanged() override;

    ui::TableView* revealTable() override;
    std::optional<ui::IndexPath> revealRowOf(const VKFileResource& resource) override;

private:
    VKFolderController& m_screen;
};
