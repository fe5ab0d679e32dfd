#pragma once

// A table of help topics, grouped: a row opens a help page or a further
// table. The root table leads to the quick start, the connecting, security
// and feature tables and the support pages. Every table is titled
// "Help - <application>", and every screen pushed from it gets its "Done",
// which dismisses the help. Pages are HTML files of the bundle's "Help"
// folder, named without their extension.

#include "Shell/Interface/VKNonRotatingTableViewController.h"

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

class VKAppServerState;
class VKFileResource;
class VKHelpGroupItem;

inline constexpr const char* VKHelpControllerContentTypeRoot = "VKHelpControllerContentTypeRoot";
inline constexpr const char* VKHelpControllerContentTypeConnecting = "VKHelpControllerContentTypeConnecting";
inline constexpr const char* VKHelpControllerContentTypeSecurity = "VKHelpControllerContentTypeSecurity";
inline constexpr const char* VKHelpControllerContentTypeFeatures = "VKHelpControllerContentTypeFeatures";

class VKHelpController : public VKNonRotatingTableViewController {
public:
    static constexpr const char* CellIdentifier = "HelpCell";
    static constexpr float CellFontSize = 16;

    // The root table.
    static std::shared_ptr<VKHelpController> create();
    // The table of a content type; a type it does not know gives an empty
    // table.
    static std::shared_ptr<VKHelpController> initWithHelpControllerContentType(std::string_view contentType);
    explicit VKHelpController(std::string contentType);

    // The page of that name; nothing for a name no page has, and for names
    // that are no plain file name ("", ".", "..", anything with "/").
    static std::shared_ptr<VKFileResource> helpResourceNamed(std::string_view name);
    // One item per title: a target naming a content type
    // ("VKHelpControllerContentType…") makes a table row, any other a page
    // row. The lists have one entry per row each.
    static std::vector<std::shared_ptr<VKHelpGroupItem>> helpGroupItemsFromLocalizedTitles(
        const std::vector<std::string>& titles, const std::vector<std::string>& targets);

    // Opens the page over the stack's root, titled with `titleKey` looked up
    // in the "Help" table; a name no page has logs and opens nothing.
    void pushHelpViewControllerWithName(std::string_view name, std::string_view titleKey, bool animated);
    // The title of the first row (sections, then rows, in order) whose page
    // file has the path's last component as its name, looking in the tables
    // this one leads to as well.
    std::optional<std::string> localizedTitleForPath(std::string_view path) const;
    // Dismisses the help.
    void doneClicked(const std::shared_ptr<core::Object>& sender);
    // Where the server is, for the pages this table and the tables it
    // leads to open (held weakly; none: the pages say there is no Wi-Fi).
    void setServerState(std::weak_ptr<VKAppServerState> server) { m_server = std::move(server); }

    const std::string& contentType() const { return m_contentType; }
    const std::vector<std::vector<std::shared_ptr<VKHelpGroupItem>>>& groups() const { return m_groups; }
    const std::vector<std::string>& groupTitles() const { return m_groupTitles; }

    void viewDidLoad() override;
    int numberOfSections(ui::TableView& table) override;
    int numberOfRows(ui::TableView& table, int section) override;
    std::shared_ptr<ui::TableViewCell> cellForRow(ui::TableView& table, ui::IndexPath path) override;
    std::optional<std::string> titleForHeader(ui::TableView& table, int section) override;
    void didSelectRow(ui::TableView& table, ui::IndexPath path) override;

private:
    // The right button, "Done", made on first use.
    const std::shared_ptr<ui::BarButtonItem>& doneButton();
    // Gives the pushed screen this table's Done.
    void shareDoneButton(ui::ViewController& controller);

    std::string m_contentType;
    std::vector<std::vector<std::shared_ptr<VKHelpGroupItem>>> m_groups;
    std::vector<std::string> m_groupTitles;
    std::weak_ptr<VKAppServerState> m_server;
};
