#pragma once

#include "Shell/Interface/VKNonRotatingTableViewController.h"
#include "Platform/Core/Observation.h"

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace core {
class Notification;
}
namespace ui {
class ActivityIndicator;
class Button;
class Label;
}
class VKFileResource;
class VKFolderPickerController;
class VKRootFolderDataSource;

// One screen of the folder picker: the roots (with a root data source) or
// one folder's subfolders, hidden ones left out unless shown by the
// setting, in file-name order. A row picks its folder, its accessory
// button opens it. A cloud folder asks its service for a fresh listing the
// first time it shows, with a spinner until the answer comes.
class VKFolderPickerViewController : public VKNonRotatingTableViewController {
public:
    using Predicate = std::function<bool(const VKFileResource&)>;
    static constexpr const char* CellIdentifier = "VKFolderPickerViewControllerCell";
    // The accessory button's side: a whole touch.
    static constexpr float AccessoryButtonSize = 44;
    // The header's path is cut to the width less this, in bold 18.
    static constexpr float HeaderMargin = 28;
    static constexpr float HeaderFontSize = 18;

    static std::shared_ptr<VKFolderPickerViewController> create(const std::shared_ptr<VKRootFolderDataSource>& dataSource);
    static std::shared_ptr<VKFolderPickerViewController> create(const std::shared_ptr<VKFileResource>& folder);
    VKFolderPickerViewController(std::shared_ptr<VKRootFolderDataSource> dataSource, std::shared_ptr<VKFileResource> folder);
    ~VKFolderPickerViewController() override;

    const std::shared_ptr<VKFileResource>& resource() const { return m_resource; }
    const std::shared_ptr<VKRootFolderDataSource>& rootDataSource() const { return m_rootDataSource; }
    const Predicate& predicate() const { return m_customPredicate; }
    void setPredicate(Predicate predicate) { m_customPredicate = std::move(predicate); }
    bool subfolderBrowsingDisabled() const { return m_subfolderBrowsingDisabled; }
    void setSubfolderBrowsingDisabled(bool disabled);
    VKFolderPickerController* parentFolderPickerController() const;

    std::shared_ptr<VKFileResource> resourceForIndexPath(ui::IndexPath path) const;
    const std::vector<std::shared_ptr<VKFileResource>>& folders() const { return m_folders; }
    bool foldersLoaded() const { return m_foldersLoaded; }
    void reloadFolders();
    // A centred grey message; nothing removes it.
    void setErrorMessage(std::optional<std::string> message);
    ui::Label* errorLabel() const { return m_errorLabel.get(); }
    // Made (and shown) on first use.
    ui::ActivityIndicator& activityIndicator();
    bool hasActivityIndicator() const { return m_activityIndicator != nullptr; }
    void removeActivityIndicator();
    // Centred across, in the row band at the middle of the table.
    void layoutCustomSubview(ui::View& view);
    void accessoryButtonTapped(ui::Button& button);
    // Shows the subfolders of the row's folder; false where they may not be
    // browsed.
    bool openSubfolders(ui::IndexPath path);
    // The folder screen's header: its root's name and the path below it,
    // cut to the width.
    std::string folderHeaderTitle();

    void viewDidLoad() override;
    void viewWillAppear(bool animated) override;
    void didRotate(ui::Orientation fromOrientation) override;
    bool performKeyCommand(ui::KeyCommand command) override;

    int numberOfSections(ui::TableView& table) override;
    int numberOfRows(ui::TableView& table, int section) override;
    std::optional<std::string> titleForHeader(ui::TableView& table, int section) override;
    std::shared_ptr<ui::TableViewCell> cellForRow(ui::TableView& table, ui::IndexPath path) override;
    bool canEditRow(ui::TableView&, ui::IndexPath) override { return false; }
    void willDisplayCell(ui::TableView& table, ui::TableViewCell& cell, ui::IndexPath path) override;
    std::optional<ui::IndexPath> willSelectRow(ui::TableView& table, ui::IndexPath path) override;
    bool canSelectRow(ui::TableView& table, ui::IndexPath path) override;
    void didSelectRow(ui::TableView& table, ui::IndexPath path) override;

    void folderDidUpdate(const std::string& path);
    void cloudMetadataDidUpdate(const core::Notification& notification);
    void cloudMetadataLoadFailed(const core::Notification& notification);

private:
    // Whether the row's folder may be picked; whether its subfolders may be
    // browsed.
    bool canPick(ui::IndexPath path) const;
    bool canOpenSubfolders(ui::IndexPath path) const;
    void startObserving();
    bool isShownFolder(const std::string& changed) const;
    void layoutCustomSubviews();

    std::shared_ptr<VKFileResource> m_resource;
    std::vector<std::shared_ptr<VKFileResource>> m_folders;
    bool m_foldersLoaded = false;
    Predicate m_customPredicate;
    bool m_subfolderBrowsingDisabled = false;
    std::shared_ptr<VKRootFolderDataSource> m_rootDataSource;
    std::shared_ptr<ui::ActivityIndicator> m_activityIndicator;
    std::shared_ptr<ui::Label> m_errorLabel;
    std::vector<core::Observation> m_observations;
};
