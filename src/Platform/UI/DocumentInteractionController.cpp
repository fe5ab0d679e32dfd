#include "Platform/UI/DocumentInteractionController.h"

#include "Platform/Core/Exception.h"
#include "Platform/Core/Localized.h"
#include "Platform/Core/Path.h"
#include "Platform/UI/ActionSheet.h"
#include "Platform/UI/BarButtonItem.h"
#include "Platform/UI/Checks.h"
#include "Platform/UI/View.h"

#include <algorithm>
#include <fmt/format.h>

namespace ui {

namespace {

std::vector<std::string> openInApplications;
DocumentInteractionController::ApplicationsProvider applicationsProvider;
DocumentInteractionController::Launcher launcher;
// A shown menu is kept here until it goes.
std::vector<std::shared_ptr<DocumentInteractionController>> shown;

} // namespace

std::shared_ptr<DocumentInteractionController> DocumentInteractionController::create(const core::URL& fileURL)
{
    auto controller = std::make_shared<DocumentInteractionController>();
    controller->setURL(fileURL);
    return controller;
}

std::string DocumentInteractionController::name() const
{
    if (!m_name.empty())
        return m_name;
    return core::path::lastPathComponent(m_url.path());
}

bool DocumentInteractionController::presentOpenInMenu(const gfx::Rect& rect, const View& view, bool animated)
{
    requireFinite(rect, "DocumentInteractionController::presentOpenInMenu");
    return present(AnchorKind::Rect, view.convertRect(rect, nullptr),
        [&](ActionSheet& sheet) { sheet.showFromRect(rect, view, animated); });
}

bool DocumentInteractionController::presentOpenInMenu(const BarButtonItem& item, bool animated)
{
    auto view = item.view();
    if (!view)
        throw core::Exception(core::Exception::InvalidArgument,
            fmt::format("DocumentInteractionController::presentOpenInMenu: {} has no laid-out view", item.description()));
    return present(AnchorKind::BarButtonItem, view->convertRect(view->bounds(), nullptr),
        [&](ActionSheet& sheet) { sheet.showFromBarButtonItem(item, animated); });
}

bool DocumentInteractionController::present(AnchorKind kind, const gfx::Rect& rect,
    const std::function<void(ActionSheet&)>& show)
{
    requireMainThread("DocumentInteractionController::presentOpenInMenu");
    auto applications = menuApplications();
    if (applications.empty())
        return false;
    if (m_visible)
        dismissMenu(false);
    auto self = std::static_pointer_cast<DocumentInteractionController>(shared_from_this());
    if (auto d = delegate())
        d->willPresentOpenInMenu(*this);
    m_visible = true;
    m_anchorKind = kind;
    m_anchorRect = rect;
    shown.push_back(self);
    m_sheetApplications = applications;
    m_sheet = ActionSheet::create(name(), std::static_pointer_cast<ChoiceDelegate<ActionSheet>>(self),
        core::localized("Cancel", "Toolkit"), std::nullopt, applications);
    show(*m_sheet);
    return true;
}

void DocumentInteractionController::clickedButton(ActionSheet& sheet, int index)
{
    if (&sheet != m_sheet.get())
        return;
    auto self = shared_from_this();
    // The sheet is on its way out already.
    m_sheet.reset();
    int first = sheet.firstOtherButtonIndex();
    if (index >= first && index - first < int(m_sheetApplications.size()))
        chooseApplication(m_sheetApplications[size_t(index - first)]);
    else
        dismissMenu(true);
}

void DocumentInteractionController::didDismiss(ActionSheet& sheet, int)
{
    if (&sheet != m_sheet.get())
        return;
    auto self = shared_from_this();
    m_sheet.reset();
    dismissMenu(false);
}

void DocumentInteractionController::dismissMenu(bool animated)
{
    requireMainThread("DocumentInteractionController::dismissMenu");
    if (!m_visible)
        return;
    auto self = std::static_pointer_cast<DocumentInteractionController>(shared_from_this());
    m_visible = false;
    std::erase(shown, self);
    if (auto sheet = std::move(m_sheet); sheet && sheet->isVisible())
        sheet->dismiss(sheet->cancelButtonIndex(), animated);
    if (auto d = delegate())
        d->didDismissOpenInMenu(*this);
}

bool DocumentInteractionController::chooseApplication(const std::string& application)
{
    auto applications = menuApplications();
    if (!m_visible || std::find(applications.begin(), applications.end(), application) == applications.end())
        return false;
    auto self = shared_from_this();
    if (auto d = delegate())
        d->willBeginSendingToApplication(*this, application);
    if (launcher)
        launcher(m_url, application);
    if (auto d = delegate())
        d->didEndSendingToApplication(*this, application);
    dismissMenu(true);
    return true;
}

std::vector<std::string> DocumentInteractionController::menuApplications() const
{
    if (applicationsProvider)
        return applicationsProvider(m_url);
    return openInApplications;
}

void DocumentInteractionController::setApplicationsProvider(ApplicationsProvider provider)
{
    applicationsProvider = std::move(provider);
}

void DocumentInteractionController::setLauncher(Launcher function)
{
    launcher = std::move(function);
}

std::vector<std::string> DocumentInteractionController::applications()
{
    return openInApplications;
}

void DocumentInteractionController::setApplications(std::vector<std::string> applications)
{
    openInApplications = std::move(applications);
}

std::vector<std::shared_ptr<DocumentInteractionController>> DocumentInteractionController::shownMenus()
{
    return shown;
}

void DocumentInteractionController::resetForTesting()
{
    openInApplications.clear();
    applicationsProvider = nullptr;
    launcher = nullptr;
    for (auto& menu : std::vector(shown))
        menu->dismissMenu(false);
    shown.clear();
}

} // namespace ui
