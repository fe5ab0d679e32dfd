#pragma once

// The text viewer's text view: a toolkit text view that never scrolls its
// selection into view, so the reader's place stays where the viewer puts it.

#include "Platform/UI/TextView.h"

class VKTextView : public ui::TextView {
public:
    static std::shared_ptr<VKTextView> create(const gfx::Rect& frame);
    VKTextView() { setScrollsSelectionToVisible(false); }
};
