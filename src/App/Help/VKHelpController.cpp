#include "App/Help/VKHelpController.h"

#include "App/Help/VKHelpGroupItem.h"
#include "App/Help/VKHelpViewController.h"
#include "Shell/Interface/BarButtonItemAdditions.h"
#include "Shell/Interface/InterfaceColors.h"
#include "FileModel/VKFileResource.h"
#include "Kit/VKFunctions.h"
#include "Platform/Core/Bundle.h"
#include "Platform/Core/Localized.h"
#include "Platform/Core/Log.h"
#include "Platform/Core/Path.h"
#include "Platform/Core/URL.h"
#include "Platform/UI/BarButtonItem.h"
#include "Platform/UI/Fonts.h"
#include "Platform/UI/Label.h"
#include "Platform/UI/NavigationController.h"
#include "Platform/UI/NavigationItem.h"
#include "Platform/UI/PrintInteractionController.h"
#include "Platform/UI/TableViewCell.h"

#include <fmt/format.h>

namespace {

constexpr std::string_view ContentTypePrefix = "VKHelpControllerContentType";

std::string help(std::string_view key)
{
    return core::localized(key, "Help");
}

// The row leading to the frequently asked questions names their host: the
// FAQ address's, else the information address's; without either, none.
std::string faqTitle()
{
    core::Value urls = core::Bundle::main()->objectForInfoDictionaryKey("VKSupportURLs");
    std::string host;
    for (const char* key : { "VKFAQURL", "VKInfoURL" }) {
        const core::Value& text = urls.isDictionary() ? urls[key] : core::Value();
        if (!text.isString())
            continue;
        if (auto url = core::URL::parse(text.string()); url && !url->host().empty()) {
            host = url->host();
            break;
        }
    }
    if (host.empty())
        return help("FAQ");
    return fmt::format(fmt::runtime(help("FAQ ({})")), host);
}

struct Section {
    std::string title;
    std::vector<std::string> titles;
    std::vector<std::string> targets;
};

// The topic tables: section headers, row titles and what each row opens.
std::vector<Section> sectionsForContentType(std::string_view type)
{
    if (type == VKHelpControllerContentTypeRoot)
        return {
            { "", { help("Quick Start") }, { "connecting_quickstart" } },
            { help("General"), { help("Connecting & File Transfer"), help("Security"), help("Features") },
                { VKHelpControllerContentTypeConnecting, VKHelpControllerContentTypeSecurity,
                    VKHelpControllerContentTypeFeatures } },
            { help("Support"), { faqTitle(), help("Support"), help("Update Notes"), help("Release Notes") },
                { "support_web", "support_email", "general_updatenotes", "general_releasenotes" } },
        };
    if (type == VKHelpControllerContentTypeConnecting)
        return {
            { help("Connecting & File Transfer"),
                { help("General"), help("Web Interface"), help("iTunes File Sharing"), help("Video Tutorials") },
                { "connecting_general", "connecting_browser", "connecting_itunes", "connecting_videos" } },
            { "WebDAV",
                { "Cyberduck", help("Mac OS X"), help("Windows XP"), help("Windows Vista & 7"),
                    help("Other Operating Systems"), help("Alternative Clients") },
                { "connecting_cyberduck", "connecting_osx", "connecting_xp", "connecting_vista", "connecting_other",
                    "connecting_alternative" } },
        };
    if (type == VKHelpControllerContentTypeSecurity)
        return { { help("Security"), { help("Local Security"), help("Remote Security") },
            { "security_local", "security_remote" } } };
    if (type == VKHelpControllerContentTypeFeatures) {
        Section features { help("Features"), { help("Toolbar Buttons"), help("File Management"), help("Downloads") },
            { "general_toolbars", "general_filemanagement", "general_downloads" } };
        if (ui::PrintInteractionController::isPrintingAvailable()) {
            features.titles.push_back(help("Printing"));
            features.targets.push_back("general_printing");
        }
        for (const auto& [title, target] : { std::pair { help("Cloud Servers"), "general_cloud" },
                 std::pair { help("Settings"), "general_settings" }, std::pair { help("Disk Quota"), "general_quota" } }) {
            features.titles.push_back(title);
            features.targets.push_back(target);
        }
        return { features };
    }
    return {};
}

using Groups = std::vector<std::vector<std::shared_ptr<VKHelpGroupItem>>>;

std::optional<std::string> titleForPageName(const Groups& groups, std::string_view fileName)
{
    for (const auto& group : groups) {
        for (const auto& item : group) {
            if (item->resource() && item->resource()->name() == fileName)
                return item->title();
        }
    }
    return std::nullopt;
}

} // namespace

std::shared_ptr<VKHelpController> VKHelpController::create()
{
    return initWithHelpControllerContentType(VKHelpControllerContentTypeRoot);
}

std::shared_ptr<VKHelpController> VKHelpController::initWithHelpControllerContentType(std::string_view contentType)
{
    return std::make_shared<VKHelpController>(std::string(contentType));
}

VKHelpController::VKHelpController(std::string contentType)
    : VKNonRotatingTableViewController(ui::TableView::Style::Grouped)
    , m_contentType(std::move(contentType))
{
    setTitle(fmt::format(fmt::runtime(help("Help - {}")), VKMainBundleDisplayName().value_or("Tandry")));
    for (auto& section : sectionsForContentType(m_contentType)) {
        m_groups.push_back(helpGroupItemsFromLocalizedTitles(section.titles, section.targets));
        m_groupTitles.push_back(std::move(section.title));
    }
}

const std::shared_ptr<ui::BarButtonItem>& VKHelpController::doneButton()
{
    if (!navigationItem().rightBarButtonItem()) {
        std::weak_ptr<VKHelpController> weak = sharedAs<VKHelpController>();
        navigationItem().setRightBarButtonItem(barButtonItemWithTitle(help("Done"), ui::BarButtonItem::Style::Done,
            shared_from_this(), "doneClicked", [weak](ui::BarButtonItem& item) {
                if (auto self = weak.lock())
                    self->doneClicked(item.shared_from_this());
            }));
    }
    return navigationItem().rightBarButtonItem();
}

std::shared_ptr<VKFileResource> VKHelpController::helpResourceNamed(std::string_view name)
{
    if (name.empty() || name == "." || name == ".." || name.find('/') != std::string_view::npos
        || name.find('\0') != std::string_view::npos)
        return nullptr;
    std::string path = core::Bundle::main()->pathForResource(name, "html", "Help");
    return path.empty() ? nullptr : VKFileResource::resourceWithPath(path);
}

std::vector<std::shared_ptr<VKHelpGroupItem>> VKHelpController::helpGroupItemsFromLocalizedTitles(
    const std::vector<std::string>& titles, const std::vector<std::string>& targets)
{
    std::vector<std::shared_ptr<VKHelpGroupItem>> items;
    for (size_t i = 0; i < titles.size() && i < targets.size(); ++i) {
        auto item = VKHelpGroupItem::groupItemWithTitle(titles[i]);
        if (targets[i].starts_with(ContentTypePrefix))
            item->setContentType(targets[i]);
        else
            item->setResource(helpResourceNamed(targets[i]));
        items.push_back(item);
    }
    return items;
}

void VKHelpController::viewDidLoad()
{
    VKNonRotatingTableViewController::viewDidLoad();
    tableView().setAutoresizingMask(ui::View::FlexibleWidth | ui::View::FlexibleHeight);
    // A table pushed from another has that one's Done already.
    doneButton();
    navigationItem().setBackBarButtonItem(barButtonItemWithTitle(help("Back"), ui::BarButtonItem::Style::Plain));
}

int VKHelpController::numberOfSections(ui::TableView&)
{
    return int(m_groups.size());
}

int VKHelpController::numberOfRows(ui::TableView&, int section)
{
    return section >= 0 && size_t(section) < m_groups.size() ? int(m_groups[size_t(section)].size()) : 0;
}

std::shared_ptr<ui::TableViewCell> VKHelpController::cellForRow(ui::TableView& table, ui::IndexPath path)
{
    auto cell = table.dequeueReusableCell(CellIdentifier);
    if (!cell) {
        cell = ui::TableViewCell::create(ui::TableViewCell::Style::Default, CellIdentifier);
        cell->textLabel().setTextColor(tableViewCellTextValueColor());
        cell->textLabel().setFont(ui::Fonts::systemFont(CellFontSize));
        cell->setAccessoryType(ui::TableViewCell::Accessory::DisclosureIndicator);
    }
    cell->textLabel().setText(m_groups.at(size_t(path.section)).at(size_t(path.row))->title());
    return cell;
}

std::optional<std::string> VKHelpController::titleForHeader(ui::TableView&, int section)
{
    if (section < 0 || size_t(section) >= m_groupTitles.size() || m_groupTitles[size_t(section)].empty())
        return std::nullopt;
    return m_groupTitles[size_t(section)];
}

void VKHelpController::didSelectRow(ui::TableView& table, ui::IndexPath path)
{
    table.deselectRow(path, true);
    auto* navigation = navigationController();
    if (!navigation || size_t(path.section) >= m_groups.size() || size_t(path.row) >= m_groups[size_t(path.section)].size())
        return;
    const auto& item = m_groups[size_t(path.section)][size_t(path.row)];
    std::shared_ptr<ui::ViewController> next;
    if (item->resource()) {
        auto page = VKHelpViewController::initWithHelpResource(item->resource());
        page->setTitle(item->title());
        page->setServerState(m_server);
        next = page;
    } else {
        auto table = initWithHelpControllerContentType(item->contentType().value_or(""));
        table->setServerState(m_server);
        next = table;
    }
    shareDoneButton(*next);
    navigation->pushViewController(next, true);
}

void VKHelpController::pushHelpViewControllerWithName(std::string_view name, std::string_view titleKey, bool animated)
{
    auto resource = helpResourceNamed(name);
    if (!resource) {
        core::log("Warning, no help found for name: {}", name);
        return;
    }
    auto page = VKHelpViewController::initWithHelpResource(resource);
    page->setTitle(help(titleKey));
    page->setServerState(m_server);
    shareDoneButton(*page);
    if (auto* navigation = navigationController()) {
        navigation->popToRootViewController(false);
        navigation->pushViewController(page, animated);
    }
}

std::optional<std::string> VKHelpController::localizedTitleForPath(std::string_view path) const
{
    std::string name = core::path::lastPathComponent(path);
    if (auto title = titleForPageName(m_groups, name))
        return title;
    // A page of a table this one leads to (a quick start's link to a
    // client's page) is named as that table names it.
    for (const auto& group : m_groups) {
        for (const auto& item : group) {
            if (!item->contentType() || *item->contentType() == m_contentType)
                continue;
            Groups topic;
            for (const auto& section : sectionsForContentType(*item->contentType()))
                topic.push_back(helpGroupItemsFromLocalizedTitles(section.titles, section.targets));
            if (auto title = titleForPageName(topic, name))
                return title;
        }
    }
    return std::nullopt;
}

void VKHelpController::doneClicked(const std::shared_ptr<core::Object>&)
{
    dismissModalViewController(true);
}

void VKHelpController::shareDoneButton(ui::ViewController& controller)
{
    controller.navigationItem().setRightBarButtonItem(doneButton());
}
