#pragma once

// Typed tags for sheets, alerts, prompts and their buttons. A screen names
// the sheets it shows in one enum class, its alerts in another, the actions
// of its buttons in a third: a sheet's tag can then never be taken for an
// alert's, a button's action or another screen's tag, and a handler's
// switch names every kind it serves. The view still keeps the value as its
// plain tag, which the system overwrites with its dismissal tag; that one is
// no screen's kind and reads as nothing here.

#include "Platform/Core/Value.h"
#include "Platform/UI/AlertView.h"
#include "Platform/UI/View.h"
#include "Shell/Interface/VKActionSheet.h"
#include "Shell/Interface/VKAlertView.h"
#include "Shell/VKApplication.h"

#include <optional>
#include <type_traits>

template <typename Kind>
concept VKTagKind = std::is_enum_v<Kind> && !std::is_convertible_v<Kind, int>
    && std::is_same_v<std::underlying_type_t<Kind>, int>;

template <VKTagKind Kind> constexpr int vkTag(Kind kind)
{
    return static_cast<int>(kind);
}

template <VKTagKind Kind> void vkSetTag(ui::View& view, Kind kind)
{
    view.setTag(vkTag(kind));
}

// What a sheet, alert or prompt was shown as; nothing once the system has
// dismissed it.
template <VKTagKind Kind> std::optional<Kind> vkTagOf(const ui::View& view)
{
    static_assert(VKActionSheetTagSystemCancelled == VKAlertViewTagSystemCancelled);
    if (view.tag() == VKActionSheetTagSystemCancelled)
        return std::nullopt;
    return static_cast<Kind>(view.tag());
}

template <VKTagKind Action> int vkAddButton(VKActionSheet& sheet, std::string title, Action action)
{
    return sheet.addButtonWithTitle(std::move(title), vkTag(action));
}

// The tagged sheet behind the toolkit's sheet a delegate is handed; null
// for the toolkit's own sheets, which carry neither button tags nor values.
inline VKActionSheet* vkTaggedSheet(ui::ActionSheet& sheet)
{
    return dynamic_cast<VKActionSheet*>(&sheet);
}

// The action of the button at index; nothing for a button added untagged
// (Cancel), an index naming no button, or a sheet without button tags.
template <VKTagKind Action> std::optional<Action> vkButtonAction(ui::ActionSheet& sheet, int index)
{
    auto* tagged = vkTaggedSheet(sheet);
    int tag = tagged ? tagged->tagForButtonAtIndex(index) : VKActionSheet::UntaggedButton;
    if (tag == VKActionSheet::UntaggedButton)
        return std::nullopt;
    return static_cast<Action>(tag);
}

// The value a sheet or an alert carries for its delegate; empty for the
// toolkit's own.
inline core::Value vkUserInfo(ui::ActionSheet& sheet)
{
    auto* tagged = vkTaggedSheet(sheet);
    return tagged ? tagged->userInfo() : core::Value();
}

inline core::Value vkUserInfo(ui::AlertView& alert)
{
    auto* carrying = dynamic_cast<VKAlertView*>(&alert);
    return carrying ? carrying->userInfo() : core::Value();
}
