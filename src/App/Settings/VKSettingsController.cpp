#include "App/Settings/VKSettingsController.h"

#include "App/Settings/VKCloudSettingsController.h"
#include "App/Settings/VKPasscodeSettingsController.h"
#include "App/Settings/VKPDFSettingsController.h"
#include "App/Settings/VKQuotaSettingsController.h"
#include "App/Settings/VKRemoteAccessSettingsController.h"
#include "App/Settings/VKSlideShowSettingsController.h"
#include "App/Settings/VKTextEncodingsController.h"
#include "Shell/Interface/InterfaceColors.h"
#include "Shell/Settings/VKDefaultsBinding.h"
#include "Shell/Settings/VKSortOrderSettingsController.h"
#include "Shell/Settings/VKSubviewCell.h"
#include "Shell/Settings/VKSwitchCell.h"
#include "Shell/Settings/VKTableSubviewController.h"
#include "Kit/VKFunctions.h"
#include "Platform/Core/Bundle.h"
#include "Platform/Core/Localized.h"
#include "Platform/Core/Log.h"
#include "Platform/UI/BarButtonItem.h"
#include "Platform/UI/Fonts.h"
#include "Platform/UI/Label.h"
#include "Platform/UI/NavigationController.h"
#include "Platform/UI/NavigationItem.h"

#include <fmt/format.h>

#include <map>

namespace {

// The page a subsystem has not put in its slot yet: empty, titled as the
// row that opens it, with nothing to say on that row.
class StandInSettingsPage : public VKTableSubviewController {
public:
    explicit StandInSettingsPage(std::string title) { setTitle(std::move(title)); }
    std::string statusText() override { return {}; }
};

std::map<VKSettingsPage, VKSettingsController::PageFactory>& pageFactories()
{
    static std::map<VKSettingsPage, VKSettingsController::PageFactory> factories;
    return factories;
}

std::shared_ptr<VKSubviewController> builtInPage(VKSettingsPage page, const std::weak_ptr<VKAppServerState>& server)
{
    switch (page) {
    case VKSettingsPage::RemoteAccess:
        return VKRemoteAccessSettingsController::remoteAccessSettingsController(server);
    case VKSettingsPage::SortOrder:
        return VKSortOrderSettingsController::sortOrderSettingsController();
    case VKSettingsPage::DiskQuota:
        return VKQuotaSettingsController::quotaSettingsController();
    case VKSettingsPage::Passcode:
        return VKPasscodeSettingsController::passcodeSettingsController();
    case VKSettingsPage::SlideShow:
        return VKSlideShowSettingsController::slideShowSettingsController();
    case VKSettingsPage::CloudServers:
        return VKCloudSettingsController::cloudSettingsController();
    case VKSettingsPage::TextEncodings:
        return VKTextEncodingsController::defaultTextEncodingsController();
    case VKSettingsPage::PDF:
        return VKPDFSettingsController::pdfSettingsController();
    default:
        return nullptr;
    }
}

std::string localizedSetting(const char* text)
{
    return core::localized(text, "Settings");
}

// A row of one centred line in the value colour, for the version.
std::shared_ptr<ui::TableViewCell> centerAlignedCellWithText(const std::string& text, float fontSize)
{
    auto cell = ui::TableViewCell::create(ui::TableViewCell::Style::Default, {});
    auto& label = cell->textLabel();
    label.setText(text);
    label.setFont(ui::Fonts::systemFont(fontSize));
    label.setTextColor(tableViewCellTextValueColor());
    label.setTextAlignment(gfx::TextAlignment::Center);
    cell->setContentMode(ui::View::ContentMode::Center);
    return cell;
}

std::string versionText()
{
    auto info = [](const char* key) { return core::Bundle::main()->objectForInfoDictionaryKey(key).toString(); };
    return fmt::format("{} v{} ({})", VKMainBundleDisplayName().value_or(""), info("CFBundleVersion"), info("VKBuildNumber"));
}

} // namespace

void VKSettingsController::setPageFactoryForTesting(VKSettingsPage page, PageFactory factory)
{
    if (factory)
        pageFactories()[page] = std::move(factory);
    else
        pageFactories().erase(page);
}

std::shared_ptr<VKSettingsController> VKSettingsController::initWithOrientation(ui::Orientation,
    std::weak_ptr<VKAppServerState> server)
{
    auto controller = std::make_shared<VKSettingsController>();
    controller->m_server = std::move(server);
    controller->setupContents();
    controller->installDoneButtons();
    return controller;
}

VKSettingsController::VKSettingsController() : VKNonRotatingTableViewController(ui::TableView::Style::Grouped)
{
    setTitle(localizedSetting("Settings"));
}

std::shared_ptr<VKSubviewController> VKSettingsController::makePage(VKSettingsPage page, const std::string& title)
{
    std::shared_ptr<VKSubviewController> made;
    if (auto found = pageFactories().find(page); found != pageFactories().end())
        made = found->second();
    if (!made)
        made = builtInPage(page, m_server);
    if (!made)
        made = std::make_shared<StandInSettingsPage>(title);
    m_pages.emplace_back(page, made);
    if (page != VKSettingsPage::TextEncodings)
        m_subcontrollers.push_back(made);
    return made;
}

void VKSettingsController::setupContents()
{
    m_groups.clear();
    m_titles.clear();
    m_subcontrollers.clear();
    m_pages.clear();
    auto page = [this](const char* label, VKSettingsPage slot) -> std::shared_ptr<ui::TableViewCell> {
        std::string text = localizedSetting(label);
        return VKSubviewCell::initWithLabel(text, makePage(slot, text));
    };
    auto toggle = [](const char* label, const char* key, bool negated = false) -> std::shared_ptr<ui::TableViewCell> {
        auto cell = VKSwitchCell::initWithLabel(localizedSetting(label), key);
        if (negated)
            cell->setNegateValue(true);
        return cell;
    };
    auto group = [this](const char* title, std::vector<std::shared_ptr<ui::TableViewCell>> rows) {
        m_titles.push_back(*title ? localizedSetting(title) : std::string());
        m_groups.push_back(std::move(rows));
    };
    group("Remote Access", { page("Server", VKSettingsPage::RemoteAccess) });
    group("Local Access", { page("Passcode Lock", VKSettingsPage::Passcode) });
    group("General", { page("Sort Order", VKSettingsPage::SortOrder), toggle("Display File Extensions", "VKDisplayFileExtensions"),
        toggle("Show Hidden Files", "VKShowHiddenFiles") });
    group("Documents", { toggle("Page Number Overlay", "VKPageNumberOverlayEnabled"),
        toggle("Paging Gestures", "VKPagingGestureEnabled"),
        toggle("Link Detection", "VKDocumentDisableDataDetectors", true),
        page("Default Text Encoding", VKSettingsPage::TextEncodings), page("PDF", VKSettingsPage::PDF),
        page("Slideshow", VKSettingsPage::SlideShow) });
    group("Servers", { page("Cloud Servers", VKSettingsPage::CloudServers) });
    group("Startup", { toggle("Load Last Document", "VKLastKnownDocumentEnabled"),
        toggle("Show Server Info", "VKDisplayServerURLAtStartup") });
    group("Disk Quota", { page("Disk Quota", VKSettingsPage::DiskQuota) });
    auto version = centerAlignedCellWithText(versionText(), 18);
    version->setTag(VersionCellTag);
    group("", { version });
}

std::shared_ptr<VKSubviewController> VKSettingsController::pageForSlot(VKSettingsPage page) const
{
    for (auto& [slot, made] : m_pages)
        if (slot == page)
            return made;
    return nullptr;
}

void VKSettingsController::pushSettingsGroup(int group, bool animated)
{
    std::optional<VKSettingsPage> slot;
    if (group == RemoteAccessGroup)
        slot = VKSettingsPage::RemoteAccess;
    else if (group == PasscodeGroup)
        slot = VKSettingsPage::Passcode;
    if (!slot) {
        core::log("Warning, no subview controller for settings group: {}", group);
        return;
    }
    auto page = pageForSlot(*slot);
    auto* navigation = navigationController();
    if (page && navigation)
        page->presentUsingNavigationController(*navigation, animated);
}

void VKSettingsController::doneClicked()
{
    if (auto delegate = m_delegate.lock())
        delegate->settingsControllerDidEnd(*this);
}

// Every page of the list gets "Done" when it is made, so that a page
// opened before the root ever loaded (pushSettingsGroup) has it too.
void VKSettingsController::installDoneButtons()
{
    std::weak_ptr<core::Object> weak = weak_from_this();
    auto doneItem = [this, weak] {
        auto item = ui::BarButtonItem::create(core::localized("Done"), ui::BarButtonItem::Style::Done);
        item->addTarget(shared_from_this(), "doneClicked", [this](ui::BarButtonItem&) {
            doneClicked();
        });
        return item;
    };
    navigationItem().setRightBarButtonItem(doneItem());
    navigationItem().setHidesBackButton(true);
    for (auto& page : m_subcontrollers)
        page->navigationItem().setRightBarButtonItem(doneItem());
}

void VKSettingsController::viewWillAppear(bool animated)
{
    VKNonRotatingTableViewController::viewWillAppear(animated);
    if (auto* application = ui::Application::shared())
        application->setStatusBarStyle(ui::Application::StatusBarStyle::Default, animated);
    syncToDefaults(m_groups);
}

int VKSettingsController::numberOfSections(ui::TableView&)
{
    return int(m_groups.size());
}

int VKSettingsController::numberOfRows(ui::TableView&, int section)
{
    return section >= 0 && section < int(m_groups.size()) ? int(m_groups[size_t(section)].size()) : 0;
}

std::shared_ptr<ui::TableViewCell> VKSettingsController::cellForRow(ui::TableView&, ui::IndexPath path)
{
    return m_groups.at(size_t(path.section)).at(size_t(path.row));
}

std::optional<std::string> VKSettingsController::titleForHeader(ui::TableView&, int section)
{
    if (section < 0 || section >= int(m_titles.size()))
        return std::nullopt;
    return m_titles[size_t(section)];
}

void VKSettingsController::didSelectRow(ui::TableView& table, ui::IndexPath path)
{
    auto& cell = m_groups.at(size_t(path.section)).at(size_t(path.row));
    if (auto* subview = dynamic_cast<VKSubviewCell*>(cell.get()); subview && subview->presentSubview(*this))
        return;
    table.deselectRow(path, true);
    if (cell->tag() != VersionCellTag)
        return;
    auto alert = ui::AlertView::create("", core::localized("Rebuild Disk Quota Index?"),
        std::dynamic_pointer_cast<ui::AlertViewDelegate>(shared_from_this()), std::nullopt,
        { core::localized("Rebuild"), core::localized("Cancel") });
    alert->setCancelButtonIndex(1);
    alert->setTag(RebuildAlertTag);
    alert->show();
}

void VKSettingsController::clickedButton(ui::AlertView& alert, int index)
{
    if (alert.tag() != RebuildAlertTag || index == alert.cancelButtonIndex())
        return;
    if (auto settingsDelegate = delegate())
        settingsDelegate->rebuildDiskQuota();
}
