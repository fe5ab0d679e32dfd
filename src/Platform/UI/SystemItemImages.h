#pragma once

// The pictures of the bar items the system draws without a title (Add,
// Action, Bookmarks, Search, Trash, Stop, Play, Pause, Reply, Refresh):
// white glyphs, 20 points square, drawn once at twice the scale and kept.
// The other untitled system items have none yet.

#include "Platform/UI/BarButtonItem.h"

#include <memory>

namespace gfx {
class Image;
}

namespace ui {

std::shared_ptr<gfx::Image> systemItemImage(BarButtonItem::SystemItem item);

} // namespace ui
