#include "WebBrowser/VKWebBrowserView.h"

#include "Shell/Interface/VKActionSheet.h"
#include "Kit/CSRegex.h"
#include "Platform/Core/Localized.h"
#include "Platform/Core/Log.h"
#include "Platform/Core/Path.h"
#include "Platform/Core/RunLoop.h"
#include "Platform/Core/UTF8.h"
#include "Platform/UI/Button.h"
#include "Platform/UI/Pasteboard.h"
#include "Platform/UI/ScrollView.h"
#include "Platform/UI/TextInput.h"
#include "WebBrowser/VKWebBrowserController.h"
#include "WebBrowser/VKWebNavigationView.h"

#include <algorithm>

std::shared_ptr<VKWebBrowserView> VKWebBrowserView::create(const gfx::Rect& frame)
{
    auto view = View::make<VKWebBrowserView>(frame);
    view->setDocumentViewFrame(view->documentViewFrame());
    view->m_didInit = true;
    view->updateScrollSubrect();
    return view;
}

std::shared_ptr<VKWebBrowserController> VKWebBrowserView::webBrowserController() const
{
    return std::dynamic_pointer_cast<VKWebBrowserController>(delegate());
}

void VKWebBrowserView::armBoundsBlock()
{
    m_boundsBlocked = true;
    core::RunLoop::main().post(sharedAs<VKWebBrowserView>(), [](VKWebBrowserView& self) {
        self.m_boundsBlocked = false;
    });
}

void VKWebBrowserView::updateScrollSubrect()
{
    scrollView().setScrollIndicatorInsets({ VKWebNavigationView::DefaultHeight, 0, 0, 0 });
}

void VKWebBrowserView::setFrame(const gfx::Rect& frame)
{
    WebView::setFrame(frame);
    if (m_didInit)
        updateScrollSubrect();
}

void VKWebBrowserView::setDocumentViewFrame(const gfx::Rect& frame)
{
    gfx::Rect below = frame;
    below.origin.y = VKWebNavigationView::DefaultHeight;
    WebView::setDocumentViewFrame(below);
}

bool VKWebBrowserView::scrollViewShouldChangeBounds(const gfx::Rect&)
{
    // The page's own place is always followed: dropping it would show a
    // place the page is not at.
    if (isFollowingPage())
        return true;
    return !std::exchange(m_boundsBlocked, false);
}

void VKWebBrowserView::scrollViewDidChangeBounds(const gfx::Rect& bounds)
{
    for (const auto& subview : scrollView().subviews()) {
        auto* bar = dynamic_cast<VKWebNavigationView*>(subview.get());
        if (!bar)
            continue;
        gfx::Rect frame = bar->frame();
        frame.origin.x = bounds.x();
        if (bar->isLoading())
            frame.origin.y = std::max(bounds.y(), 0.f);
        bar->setFrame(frame);
    }
}

// --- The sheets of held links and images ----------------------------------------

void VKWebBrowserView::showBrowserSheet(const web::ElementInfo& info)
{
    if (!window() || info.isEmpty())
        return;
    if (auto shown = m_browserSheet.lock())
        shown->dismiss(shown->cancelButtonIndex(), false);
    bool link = !info.linkURL.empty();
    bool image = !info.imageSource.empty() && m_allowsImageSheet;
    if (!link && !image)
        return;
    std::vector<SheetAction> actions;
    std::vector<std::string> titles;
    auto add = [&](SheetAction action, const char* title) {
        actions.push_back(action);
        titles.push_back(core::localized(title));
    };
    if (link) {
        add(SheetAction::Open, "Open");
        add(SheetAction::Copy, "Copy");
        if (image)
            add(SheetAction::SaveImage, "Save Image");
    } else {
        add(SheetAction::SaveImage, "Save Image");
        add(SheetAction::Copy, "Copy");
    }
    auto self = std::static_pointer_cast<VKWebBrowserView>(shared_from_this());
    auto sheet = VKActionSheet::create(link ? info.linkURL : std::string(),
        std::static_pointer_cast<ui::ActionSheetDelegate>(self), core::localized("Cancel"), std::nullopt, titles);
    actions.push_back(SheetAction::None);
    m_sheetElement = info;
    m_sheetActions = std::move(actions);
    m_browserSheet = sheet;
    VKWebDocumentViewAdjustActionSheet(*this, *sheet);
    sheet->showFromRect({ info.point.x, info.point.y, 1, 1 }, *this, true);
}

void VKWebBrowserView::clickedButton(ui::ActionSheet&, int index)
{
    actOnBrowserSheet(index);
}

void VKWebBrowserView::actOnBrowserSheet(int index)
{
    if (index < 0 || size_t(index) >= m_sheetActions.size())
        return;
    const web::ElementInfo element = m_sheetElement;
    bool link = !element.linkURL.empty();
    const std::string& address = link ? element.linkURL : element.imageSource;
    switch (m_sheetActions[size_t(index)]) {
    case SheetAction::None:
        break;
    case SheetAction::Open:
        if (auto url = core::URL::parse(element.linkURL))
            loadRequest(core::URLRequest(*url));
        else
            core::log("VKWebBrowserView: cannot open {}", core::utf8::sanitized(element.linkURL));
        break;
    case SheetAction::Copy:
        if (auto url = core::URL::parse(address))
            ui::Pasteboard::general()->setURL(*url);
        else
            ui::Pasteboard::general()->setString(core::utf8::sanitized(address));
        break;
    case SheetAction::SaveImage:
        saveImages({ element });
        break;
    }
}

std::optional<std::string> VKWebBrowserView::suggestedImageName(const std::string& alt)
{
    std::string name = core::path::lastPathComponent(core::utf8::sanitized(alt));
    if (name.empty() || name == "/")
        return std::nullopt;
    if (name.size() > MaximumImageNameLength)
        name.resize(ui::TextInput::boundaryBefore(name, MaximumImageNameLength));
    return name;
}

void VKWebBrowserView::saveImages(const std::vector<web::ElementInfo>& images)
{
    if (images.empty() || images.front().imageSource.empty())
        return;
    auto controller = interactionDelegate();
    auto delegate = controller ? controller->downloadDelegate() : nullptr;
    if (!delegate)
        return;
    const auto& image = images.front();
    delegate->webBrowserControllerHandleDownloadForImageSource(*controller, image.imageSource,
        suggestedImageName(image.imageAlt));
}

void VKWebDocumentViewAdjustActionSheet(VKWebBrowserView& view, ui::ActionSheet& sheet)
{
    auto controller = view.webBrowserController();
    if (!controller || !controller->downloadDelegate())
        return;
    if (!matchedByPattern(sheet.title(), "^[a-z]+://", CSRegex::IgnoreCase))
        return;
    int count = sheet.numberOfButtons();
    int cancel = sheet.cancelButtonIndex();
    if (count == 0 || cancel < 0 || cancel >= count || count > 3)
        return;
    sheet.setDelegate(std::static_pointer_cast<ui::ActionSheetDelegate>(controller));
    sheet.setTag(VKWebBrowserController::LinkSheetTag);
    if (auto* button = sheet.button(cancel)) {
        button->setTitle(core::localized("Download"), ui::Control::Normal);
        button->setTitleColor(gfx::Color::white(0), ui::Control::Normal);
    }
    sheet.setCancelButtonIndex(sheet.addButton(core::localized("Cancel")));
}
