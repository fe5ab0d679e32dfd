#pragma once

// What the bookmarks list of a document tells the viewer that showed it:
// the person is done, or chose a bookmark (a dictionary with "name",
// "offset", "inset" and "zoom").

#include "Platform/Core/Value.h"

namespace ui {
class ViewController;
}

class VKBookmarksControllerDelegate {
public:
    virtual ~VKBookmarksControllerDelegate() = default;
    virtual void bookmarksControllerDidEnd(ui::ViewController& controller) = 0;
    virtual void bookmarksController(ui::ViewController& controller, const core::Value& bookmark) = 0;
};
