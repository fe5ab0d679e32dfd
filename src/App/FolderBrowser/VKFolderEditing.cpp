#include "App/FolderBrowser/VKFolderEditing.h"

#include "App/FolderBrowser/VKFolderSummary.h"
#include "FileModel/VKFileResource.h"
#include "Platform/Core/Localized.h"
#include "Platform/Core/Path.h"
#include "Platform/UI/Control.h"
#include "Platform/UI/Images.h"
#include "Platform/UI/NavigationItem.h"
#include "Platform/UI/Toolbar.h"
#include "Platform/UI/ViewAnimation.h"
#include "Shell/Interface/BarButtonItemAdditions.h"
#include "Shell/Interface/VKActionButton.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <string_view>

namespace {

const std::vector<VKFolderRow>& noRows()
{
    static const std::vector<VKFolderRow> none;
    return none;
}

void setItemEnabled(ui::BarButtonItem& item, bool enabled)
{
    item.setEnabled(enabled);
    if (auto* control = dynamic_cast<ui::Control*>(item.customView().get()))
        control->setEnabled(enabled);
}

} // namespace

std::string VKFolderEditing::keyOf(const VKFileResource& resource) const
{
    return core::path::standardizingPath(resource.path());
}

// MARK: The marks

bool VKFolderEditing::isMarked(const VKFileResource& resource) const
{
    return m_marks.contains(keyOf(resource));
}

void VKFolderEditing::mark(const VKFileResource& resource)
{
    auto [entry, added] = m_marks.try_emplace(keyOf(resource), 0);
    if (!added)
        return;
    entry->second = m_host ? m_host->editingSizeOfItem(resource) : 0;
    m_markedSize += entry->second;
}

void VKFolderEditing::unmark(const VKFileResource& resource)
{
    auto found = m_marks.find(keyOf(resource));
    if (found == m_marks.end())
        return;
    m_markedSize -= std::min(m_markedSize, found->second);
    m_marks.erase(found);
}

void VKFolderEditing::markAll()
{
    clear();
    for (const auto& row : m_host ? m_host->editingRows() : noRows())
        if (row.resource && row.resource->supportedFileOperations() != 0)
            mark(*row.resource);
}

void VKFolderEditing::clear()
{
    m_marks.clear();
    m_markedSize = 0;
}

void VKFolderEditing::prune()
{
    if (m_marks.empty() || !m_host)
        return;
    std::map<std::string, uint64_t> kept;
    for (const auto& row : m_host->editingRows())
        if (auto found = m_marks.find(keyOf(*row.resource)); found != m_marks.end())
            kept.insert(*found);
    m_markedSize = 0;
    for (const auto& [path, size] : kept)
        m_markedSize += size;
    m_marks = std::move(kept);
}

std::vector<ui::IndexPath> VKFolderEditing::markedIndexPathsForTesting(int section) const
{
    std::vector<ui::IndexPath> paths;
    if (m_marks.empty() || !m_host)
        return paths;
    const auto& rows = m_host->editingRows();
    for (size_t i = 0; i < rows.size(); ++i)
        if (m_marks.contains(keyOf(*rows[i].resource)))
            paths.push_back({ section, int(i) });
    return paths;
}

std::vector<std::shared_ptr<VKFileResource>> VKFolderEditing::markedResources() const
{
    std::vector<std::shared_ptr<VKFileResource>> marked;
    if (m_marks.empty() || !m_host)
        return marked;
    for (const auto& row : m_host->editingRows())
        if (m_marks.contains(keyOf(*row.resource)))
            marked.push_back(row.resource);
    return marked;
}

bool VKFolderEditing::markedResourcesSupport(uint32_t mask, std::string* description) const
{
    for (const auto& resource : markedResources()) {
        if ((uint32_t(resource->supportedFileOperations()) & mask) == mask)
            continue;
        if (description)
            *description = resource->localizedDescriptionForUnsupportedFileOperation(int32_t(mask)).value_or(std::string());
        return false;
    }
    return true;
}

// MARK: The bars

std::vector<std::shared_ptr<ui::BarButtonItem>> VKFolderEditing::makeToolbarItems(const std::vector<Button>& buttons) const
{
    ui::Toolbar* toolbar = m_host ? m_host->editingToolbar() : nullptr;
    float height = toolbar ? toolbar->frame().height() : 0;
    std::vector<std::shared_ptr<ui::BarButtonItem>> items { flexibleSpaceBarButtonItem() };
    for (const auto& entry : buttons) {
        auto button = VKActionButton::actionButton();
        button->setTitle(core::localized(entry.title));
        button->setImage(ui::Images::imageNamed(std::string(entry.imagePrefix) + "Action.png"));
        button->setFrame({ 0, 0, ButtonWidth, height > 0 ? height : 44 });
        button->addTarget(nullptr, entry.action, [send = entry.send](ui::Control& control, const ui::Event*) {
            send(control.shared_from_this());
        }, ui::Control::TouchUpInside);
        auto item = barButtonItemWithCustomView(button);
        bool menu = std::string_view(entry.action) == MenuAction;
        setItemEnabled(*item, menu);
        if (menu)
            item->customView()->setUserInteractionEnabled(true);
        items.push_back(item);
        items.push_back(flexibleSpaceBarButtonItem());
    }
    return items;
}

void VKFolderEditing::fitToolbarItems() const
{
    ui::Toolbar* toolbar = m_host ? m_host->editingToolbar() : nullptr;
    if (!toolbar)
        return;
    const auto& items = m_host->editingBarItems();
    float barWidth = toolbar->bounds().width();
    std::vector<ui::View*> buttons;
    for (const auto& item : items)
        if (item->customView())
            buttons.push_back(item->customView().get());
    if (barWidth <= 0 || buttons.empty())
        return;
    // The bar puts its gap between every two items, the spaces included.
    float room = barWidth - 2 * ui::Toolbar::Edge - float(items.size() - 1) * ui::Toolbar::Gap;
    float width = std::min(ButtonWidth, std::floor(room / float(buttons.size())));
    float height = toolbar->frame().height();
    for (auto* button : buttons) {
        gfx::Rect frame = button->frame();
        button->setFrame({ frame.x(), frame.y(), width, height > 0 ? height : frame.height() });
    }
    toolbar->setNeedsLayout();
}

void VKFolderEditing::updateBars()
{
    if (!m_host || !m_host->editingIsActive())
        return;
    size_t count = m_marks.size();
    for (const auto& item : m_host->editingBarItems()) {
        if (!item || item->isFlexibleSpace())
            continue;
        auto action = findAction(*item);
        if (action && (*action == MenuAction || *action == NewFolderAction))
            continue;
        bool enabled = action && *action == RenameAction ? count == 1
            : action && *action == SyncAction            ? count == 0
                                                         : count > 0;
        setItemEnabled(*item, enabled);
    }
    auto& navigation = m_host->editingNavigationItem();
    if (auto left = navigation.leftBarButtonItem()) {
        auto action = findAction(*left);
        if (action && (*action == MarkAllAction || *action == UnmarkAllAction)) {
            bool listed = !m_host->editingRows().empty();
            bool selectNone = count > 0 && listed;
            auto replacement = barButtonItemWithTitle(core::localized(selectNone ? "Select None" : "Select All"),
                left->style(), nullptr, selectNone ? UnmarkAllAction : MarkAllAction,
                [host = m_host, alive = std::weak_ptr<bool>(m_alive), selectNone](ui::BarButtonItem&) {
                    if (!alive.expired())
                        selectNone ? host->editingUnmarkAll() : host->editingMarkAll();
                });
            replacement->setEnabled(listed);
            navigation.setLeftBarButtonItem(replacement, false);
        }
    }
    std::string prompt = VKFolderSummary::forCount(uint32_t(std::min<size_t>(count, UINT32_MAX)),
        int64_t(std::min<uint64_t>(m_markedSize, INT64_MAX)), true);
    if (navigation.prompt().empty())
        navigation.setPrompt(prompt);
    else // A new count replaces the old one in place, never sliding in.
        ui::ViewAnimation::performWithoutAnimation([&] { navigation.setPrompt(prompt); });
}
