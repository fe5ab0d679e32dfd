#pragma once

// The root page of the settings: a grouped table of switches bound to
// defaults and of rows that open the subsystems' pages, presented in a
// navigation controller of its own by the application delegate. Its rows
// and pages are made once, at creation; every time it shows again it
// re-reads each row's store. "Done" (on the root and on each page it
// opened) tells the delegate, which dismisses it and applies the server
// and keep-awake settings. A tap on the version row offers to rebuild the
// disk-quota index.
//
// Every page comes from a slot's factory. The remote-access, passcode,
// sort-order, slide-show, cloud-servers and disk-quota pages are built
// here; the others (text encodings, PDF) belong to their subsystems,
// which put their page's factory in the slot; until then the slot makes
// an empty page titled as its row.

#include "App/Settings/VKSettingsControllerDelegate.h"
#include "Shell/Settings/VKDefaultsBinding.h"
#include "Shell/Interface/VKNonRotatingTableViewController.h"
#include "Platform/UI/AlertView.h"

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class VKAppServerState;
class VKSubviewController;

enum class VKSettingsPage { RemoteAccess, Passcode, SortOrder, TextEncodings, PDF, SlideShow, CloudServers, DiskQuota };

class VKSettingsController : public VKNonRotatingTableViewController, public ui::AlertViewDelegate {
public:
    // The codes pushSettingsGroup takes.
    static constexpr int RemoteAccessGroup = 4;
    static constexpr int PasscodeGroup = 8;
    // The version row and the rebuild question.
    static constexpr int VersionCellTag = 2001;
    static constexpr int RebuildAlertTag = 1001;

    using PageFactory = std::function<std::shared_ptr<VKSubviewController>()>;
    // Puts a page's factory in its slot for the settings made from now on;
    // none puts the slot's own back.
    static void setPageFactoryForTesting(VKSettingsPage page, PageFactory factory);

    // The orientation plays no part: the page keeps the interface's. The
    // remote-access pages tell where `server` can be reached (held weakly;
    // none: nowhere).
    static std::shared_ptr<VKSettingsController> initWithOrientation(ui::Orientation orientation,
        std::weak_ptr<VKAppServerState> server = {});
    VKSettingsController();

    std::shared_ptr<VKSettingsControllerDelegate> delegate() const { return m_delegate.lock(); }
    void setDelegate(std::weak_ptr<VKSettingsControllerDelegate> delegate) { m_delegate = std::move(delegate); }

    const VKSettingsGroups& groups() const { return m_groups; }
    const std::vector<std::string>& titles() const { return m_titles; }
    // The pages of the rows, in table order (not the text encodings').
    const std::vector<std::shared_ptr<VKSubviewController>>& subcontrollers() const { return m_subcontrollers; }
    // The page made for a slot; null when this settings has none.
    std::shared_ptr<VKSubviewController> pageForSlot(VKSettingsPage page) const;

    // Opens the remote-access (4) or passcode (8) page over this one.
    void pushSettingsGroup(int group, bool animated);
    void doneClicked();

    // The default status bar, and every row shows its store again.
    void viewWillAppear(bool animated) override;

    int numberOfSections(ui::TableView&) override;
    int numberOfRows(ui::TableView&, int section) override;
    std::shared_ptr<ui::TableViewCell> cellForRow(ui::TableView&, ui::IndexPath path) override;
    std::optional<std::string> titleForHeader(ui::TableView&, int section) override;
    void didSelectRow(ui::TableView& table, ui::IndexPath path) override;
    void clickedButton(ui::AlertView& alert, int index) override;

private:
    void setupContents();
    void installDoneButtons();
    std::shared_ptr<VKSubviewController> makePage(VKSettingsPage page, const std::string& title);

    VKSettingsGroups m_groups;
    std::vector<std::string> m_titles;
    std::vector<std::shared_ptr<VKSubviewController>> m_subcontrollers;
    // Every page made, by slot (the text encodings' too).
    std::vector<std::pair<VKSettingsPage, std::shared_ptr<VKSubviewController>>> m_pages;
    std::weak_ptr<VKSettingsControllerDelegate> m_delegate;
    std::weak_ptr<VKAppServerState> m_server;
};
