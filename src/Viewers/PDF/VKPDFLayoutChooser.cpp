#include "Viewers/PDF/VKPDFLayoutChooser.h"

#include "Viewers/PDF/VKDocumentView.h"
#include "Viewers/PDF/VKPDFViewController.h"

#include "Shell/Interface/BarButtonItemAdditions.h"
#include "Shell/Interface/InterfaceColors.h"
#include "Shell/Interface/VKActionSheet.h"
#include "Shell/Interface/ViewControllerAdditions.h"
#include "FileModel/VKFileResource.h"
#include "FileModel/VKFileSettingsManager.h"
#include "Kit/VKTintButton.h"
#include "Platform/Core/Localized.h"
#include "Platform/Core/Log.h"
#include "Platform/Core/UserDefaults.h"
#include "Platform/UI/BarButtonItem.h"
#include "Platform/UI/Images.h"

#include <map>

namespace {

std::map<int, VKPDFLayoutChooser::Factory>& layoutFactories()
{
    static std::map<int, VKPDFLayoutChooser::Factory> factories;
    return factories;
}

const char* const layoutTitles[] = { "Vertical", "Single Pages", "Double Pages" };

} // namespace

void VKPDFLayoutChooser::setFactory(int layout, Factory factory)
{
    if (factory)
        layoutFactories()[layout] = std::move(factory);
    else
        layoutFactories().erase(layout);
}

bool VKPDFLayoutChooser::hasFactory(int layout)
{
    return layoutFactories().count(layout) > 0;
}

std::shared_ptr<VKDocumentView> VKPDFLayoutChooser::makeView(int layout, const gfx::Rect& frame, bool singleFirstPage)
{
    auto found = layoutFactories().find(layout);
    return found != layoutFactories().end() ? found->second(frame, singleFirstPage) : nullptr;
}

const char* VKPDFLayoutChooser::codeForLayout(int layout)
{
    switch (layout) {
    case VKPDFViewController::Vertical:
        return "VKDVLV";
    case VKPDFViewController::SinglePages:
        return "VKDVLHS";
    case VKPDFViewController::DoublePages:
        return "VKDVLHD";
    default:
        return nullptr;
    }
}

int VKPDFLayoutChooser::layoutForCode(const std::optional<std::string>& code)
{
    if (!code)
        return VKPDFViewController::NoLayout;
    for (int layout : { VKPDFViewController::Vertical, VKPDFViewController::SinglePages, VKPDFViewController::DoublePages })
        if (*code == codeForLayout(layout))
            return layout;
    return VKPDFViewController::NoLayout;
}

int VKPDFLayoutChooser::documentLayoutForPath(const std::string& path)
{
    int layout = layoutForCode(VKFileSettingsManager::defaultManager()->documentLayoutForFile(path));
    if (layout != VKPDFViewController::NoLayout)
        return layout;
    return int(core::UserDefaults::standard()->integerForKey(VKPDFViewController::DocumentViewLayoutKey));
}

std::shared_ptr<ui::BarButtonItem> VKPDFLayoutChooser::item(VKPDFViewController& viewer)
{
    if (m_item)
        return m_item;
    auto image = ui::Images::imageNamed("VKButtonBarSettings.png");
    auto button = VKTintButton::create(gfx::Rect(0, 0, 44, 44));
    VKTintButton::TintImages tints;
    gfx::Color darkGrey = gfx::Color::white(1.0f / 3);
    tints[darkGrey] = image;
    tints[iPadBarButtonItemTintColor()] = ui::Images::imageNamed("VKButtonBarSettingsDark.png");
    button->setTintImages(std::move(tints));
    button->setTintColor(darkGrey);
    button->setShowsTouchWhenHighlighted(true);
    std::weak_ptr<VKPDFViewController> weak = viewer.sharedAs<VKPDFViewController>();
    button->addTarget(viewer.shared_from_this(), "pageLayoutButtonWasPressed",
        [weak](ui::Control&, const ui::Event*) {
            if (auto self = weak.lock())
                self->pageLayoutButtonWasPressed();
        },
        ui::Control::TouchUpInside);
    m_item = barButtonItemWithCustomView(button);
    return m_item;
}

void VKPDFLayoutChooser::showSheet(VKPDFViewController& viewer)
{
    if (!viewer.contentView())
        return;
    viewer.setUIHidden(false, false);
    auto sheet = VKActionSheet::create(core::localized("Page Layout"),
        std::static_pointer_cast<ui::ActionSheetDelegate>(viewer.sharedAs<VKPDFViewController>()));
    sheet->setTag(VKPDFViewController::PageLayoutActionSheetTag);
    int shown = viewer.documentLayout();
    int current = shown == VKPDFViewController::SinglePages ? 1 : shown == VKPDFViewController::DoublePages ? 2 : 0;
    for (int i = 0; i < 3; ++i) {
        std::string title = core::localized(layoutTitles[i]);
        if (i == current) {
            std::string format = core::localized("✔ %@");
            if (auto at = format.find("%@"); at != std::string::npos)
                format.replace(at, 2, title);
            title = format;
        }
        sheet->addButtonWithTitle(title, VKPDFViewController::VerticalButtonTag + i);
    }
    sheet->setCancelButtonIndex(sheet->addButton(core::localized("Cancel")));
    showActionSheet(viewer, *sheet, item(viewer));
}

bool VKPDFLayoutChooser::answer(VKPDFViewController& viewer, VKActionSheet& sheet, int tag)
{
    if (tag < VKPDFViewController::VerticalButtonTag || tag > VKPDFViewController::DoublePagesButtonTag
        || sheet.tag() != VKPDFViewController::PageLayoutActionSheetTag)
        return false;
    if (!viewer.resource())
        return true;
    // The stored offset is each layout's own measure (the vertical one counts
    // the bars' inset and the gaps), so the page the reader was on is kept
    // by number where the new layout reads the offset as another page.
    // A zoom is each layout's own measure too (a spread's fitted zoom is
    // half a single page's), so the new layout starts fitted instead of
    // taking the old one's number.
    const unsigned page = viewer.currentPageNumber();
    viewer.storePersistentState();
    const std::string& path = viewer.resource()->path();
    auto settings = VKFileSettingsManager::defaultManager();
    if (!settings->setDocumentLayout(codeForLayout(tag - VKPDFViewController::VerticalButtonTag + 1), path))
        core::log("Warning, setDocumentLayout failed: {}", path);
    if (!settings->setContentZoom(0, path))
        core::log("Warning, setContentZoom failed: {}", path);
    viewer.setupDocumentView();
    viewer.loadPersistentState();
    if (page != 0 && viewer.currentPageNumber() != page)
        viewer.gotoPageNumber(page);
    return true;
}
