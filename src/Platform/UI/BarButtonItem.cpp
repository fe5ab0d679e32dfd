#include "Platform/UI/BarButtonItem.h"

#include "Platform/Core/Exception.h"
#include "Platform/Core/Localized.h"
#include "Platform/UI/Checks.h"
#include "Platform/UI/SystemItemImages.h"
#include "Platform/UI/View.h"

#include <fmt/format.h>

namespace ui {

namespace {

// The system items that read as a word; the others show a symbol.
std::string systemTitle(BarButtonItem::SystemItem item)
{
    using S = BarButtonItem::SystemItem;
    switch (item) {
    case S::Done:
        return core::localized("Done", "Toolkit");
    case S::Cancel:
        return core::localized("Cancel", "Toolkit");
    case S::Edit:
        return core::localized("Edit", "Toolkit");
    case S::Save:
        return core::localized("Save", "Toolkit");
    case S::Undo:
        return core::localized("Undo", "Toolkit");
    case S::Redo:
        return core::localized("Redo", "Toolkit");
    default:
        return {};
    }
}

// What a symbol of the system items is called, for its tooltip.
std::string systemName(BarButtonItem::SystemItem item)
{
    using S = BarButtonItem::SystemItem;
    switch (item) {
    case S::Add:
        return core::localized("Add", "Toolkit");
    case S::Compose:
        return core::localized("Compose", "Toolkit");
    case S::Reply:
        return core::localized("Reply", "Toolkit");
    case S::Action:
        return core::localized("Share", "Toolkit");
    case S::Organize:
        return core::localized("Organize", "Toolkit");
    case S::Bookmarks:
        return core::localized("Bookmarks", "Toolkit");
    case S::Search:
        return core::localized("Search", "Toolkit");
    case S::Refresh:
        return core::localized("Refresh", "Toolkit");
    case S::Stop:
        return core::localized("Stop", "Toolkit");
    case S::Camera:
        return core::localized("Camera", "Toolkit");
    case S::Trash:
        return core::localized("Delete", "Toolkit");
    case S::Play:
        return core::localized("Play", "Toolkit");
    case S::Pause:
        return core::localized("Pause", "Toolkit");
    case S::Rewind:
        return core::localized("Rewind", "Toolkit");
    case S::FastForward:
        return core::localized("Fast Forward", "Toolkit");
    default:
        return {};
    }
}

} // namespace

std::string BarButtonItem::toolTip() const
{
    if (!m_toolTip.empty() || !m_systemItem)
        return m_toolTip;
    return systemName(*m_systemItem);
}

BarButtonItem::BarButtonItem() = default;
BarButtonItem::~BarButtonItem() = default;

std::shared_ptr<BarButtonItem> BarButtonItem::create(SystemItem item)
{
    if (int(item) < 0 || int(item) > 23)
        throw core::Exception(core::Exception::InvalidArgument,
            fmt::format("BarButtonItem::create: {} is no system item", int(item)));
    auto result = std::make_shared<BarButtonItem>();
    result->m_systemItem = item;
    result->m_title = systemTitle(item);
    if (result->m_title.empty())
        result->m_image = systemItemImage(item);
    result->m_style = item == SystemItem::Done ? Style::Done : Style::Bordered;
    return result;
}

std::shared_ptr<BarButtonItem> BarButtonItem::create(std::string title, Style style)
{
    auto result = std::make_shared<BarButtonItem>();
    result->m_title = std::move(title);
    result->m_style = style;
    return result;
}

std::shared_ptr<BarButtonItem> BarButtonItem::create(std::shared_ptr<gfx::Image> image, Style style)
{
    auto result = std::make_shared<BarButtonItem>();
    result->m_image = std::move(image);
    result->m_style = style;
    return result;
}

std::shared_ptr<BarButtonItem> BarButtonItem::create(std::shared_ptr<View> customView)
{
    auto result = std::make_shared<BarButtonItem>();
    result->m_customView = std::move(customView);
    return result;
}

std::shared_ptr<BarButtonItem> BarButtonItem::space(std::optional<float> width)
{
    auto result = create(width ? SystemItem::FixedSpace : SystemItem::FlexibleSpace);
    result->m_style = Style::Plain;
    if (width)
        result->setWidth(*width);
    return result;
}

bool BarButtonItem::isSpace() const
{
    return m_systemItem == SystemItem::FlexibleSpace || m_systemItem == SystemItem::FixedSpace;
}

void BarButtonItem::changed()
{
    if (m_changed)
        m_changed();
}

void BarButtonItem::setTitle(std::string title)
{
    m_title = std::move(title);
    changed();
}

void BarButtonItem::setImage(std::shared_ptr<gfx::Image> image)
{
    m_image = std::move(image);
    changed();
}

void BarButtonItem::setStyle(Style style)
{
    m_style = style;
    changed();
}

void BarButtonItem::setWidth(float width)
{
    requireFinite(width, "BarButtonItem::setWidth");
    m_width = std::max(0.0f, width);
    changed();
}

void BarButtonItem::setEnabled(bool enabled)
{
    m_enabled = enabled;
    changed();
}

void BarButtonItem::addTarget(const std::shared_ptr<core::Object>& target, std::string action, Action function)
{
    m_actions.add(target, std::move(action), std::move(function), 1);
}

void BarButtonItem::removeTarget(const core::Object* target, std::string_view action)
{
    m_actions.remove(target, action, 1);
}

void BarButtonItem::sendActions()
{
    if (!m_enabled)
        return;
    auto keep = shared_from_this();
    m_actions.send(1, *this);
}

bool BarButtonItem::hasAction(std::string_view action) const
{
    for (auto& entry : m_actions.entries())
        if (entry.action == action)
            return true;
    return false;
}

// "BarButtonItem, Bordered, target: …, action: …, customView: …": the
// class, the style, then the first target and action and the custom view
// where there are any.
std::string BarButtonItem::description() const
{
    static constexpr const char* styles[] = { "Plain", "Bordered", "Done" };
    int style = int(m_style);
    std::string text = fmt::format("{}, {}", className(), style >= 0 && style <= 2 ? styles[style] : "Unknown");
    if (!m_actions.entries().empty()) {
        const auto& first = m_actions.entries().front();
        if (auto target = first.target.lock())
            text += ", target: " + target->description();
        text += ", action: " + first.action;
    }
    if (m_customView)
        text += ", customView: " + m_customView->description();
    return text;
}

} // namespace ui
