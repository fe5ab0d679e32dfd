#pragma once

// Searches and small jobs on view trees that screens share: finding views
// of a class or the first responder, clearing and describing a subtree,
// screen rectangles in a view's space, animation blocks as actions, the
// dimming layer behind modal content, and the spread of a two-finger touch.

#include "Platform/Core/Value.h"
#include "Platform/Graphics/Geometry.h"
#include "Platform/UI/Responder.h"
#include "Platform/UI/View.h"

#include <memory>
#include <string>
#include <vector>

// Appends each view of `views` that is a T (or derives from one) to
// `result`, each followed by its own matching descendants: depth first, a
// view before its subviews, siblings in order.
template<typename T>
void VKInsertSubviewsWithClass(const std::vector<std::shared_ptr<ui::View>>& views, std::vector<std::shared_ptr<T>>& result)
{
    for (const auto& view : views) {
        if (auto match = std::dynamic_pointer_cast<T>(view))
            result.push_back(std::move(match));
        auto deeper = view->findViews<T>();
        result.insert(result.end(), std::make_move_iterator(deeper.begin()), std::make_move_iterator(deeper.end()));
    }
}

// Every descendant of `view` (not `view` itself) that is a T, in that order.
template<typename T> std::vector<std::shared_ptr<T>> vkFindViewsWithClass(const ui::View& view)
{
    std::vector<std::shared_ptr<T>> result;
    VKInsertSubviewsWithClass<T>(view.subviews(), result);
    return result;
}

// `view` when it is its window's first responder, else the first one found
// among its subviews, depth first; null when there is none.
ui::View* vkFindFirstResponder(ui::View& view);
void vkRemoveAllSubviews(ui::View& view);
// "\n", then a line per view of the subtree, depth first: four spaces per
// level below `view`, then the view's description.
std::string vkDeepDescription(const ui::View& view);
// A rectangle on the screen in `view`'s space, through its window's.
gfx::Rect vkRectFromScreenRect(const ui::View& view, const gfx::Rect& rect);

// An animation block begun and committed from actions; the sender plays no
// part.
void vkBeginAnimations(std::string name, core::Value context, const core::Object* sender = nullptr);
void vkCommitAnimations(const core::Object* sender = nullptr);

// A plain view of the frame, black at half opacity, growing with its
// superview in both directions.
std::shared_ptr<ui::View> dimmingViewWithFrame(const gfx::Rect& frame);

// How far apart the first two touches are in `view`'s space; 0 with fewer
// than two.
float deltaForTouches(const ui::View& view, const ui::TouchSet& touches);
