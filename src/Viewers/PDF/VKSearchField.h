#pragma once

// The text field of the PDF viewer's search bar, drawn on the stretchable
// bundle image "VKSearchFieldBackground.png": the field takes the image's
// height, and its text sits right of the image's rounded left cap,
// centred on the image's height.

#include "Platform/UI/TextField.h"

class VKSearchField : public ui::TextField {
public:
    // Nothing without the background image.
    static std::shared_ptr<VKSearchField> create(const gfx::Rect& frame = {});

    unsigned leftCapWidth() const { return m_leftCapWidth; }
    unsigned heightOffset() const { return m_heightOffset; }

    gfx::Rect textRectForBounds(const gfx::Rect& bounds) const override;
    gfx::Rect editingRectForBounds(const gfx::Rect& bounds) const override;

private:
    unsigned m_leftCapWidth = 0;
    unsigned m_heightOffset = 0;
};
