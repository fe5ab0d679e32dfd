#pragma once

// What a layout view asks of the viewer that shows a document: its pages,
// their sizes and views, and what the scrubbing overlay shows.

#include "Platform/Graphics/Geometry.h"

#include <cstddef>
#include <memory>
#include <optional>
#include <string>

namespace gfx {
class Image;
}
namespace ui {
class View;
}
class VKDocumentView;

class VKDocumentViewDataSource {
public:
    virtual ~VKDocumentViewDataSource() = default;
    virtual size_t numberOfPagesInDocumentView(VKDocumentView& view) = 0;
    // The page's natural size in points.
    virtual gfx::Size documentViewSizeForPageAtIndex(VKDocumentView& view, size_t index) = 0;
    // A new page view, not yet framed.
    virtual std::shared_ptr<ui::View> documentViewViewForPageAtIndex(VKDocumentView& view, size_t index) = 0;
    // The overlay's lower line.
    virtual std::optional<std::string> documentViewTitleForPageAtIndex(VKDocumentView& view, size_t index) = 0;
    virtual unsigned maxDepthForDocumentView(VKDocumentView& view) = 0;
    // The size whose aspect the overlay's image placeholder takes.
    virtual gfx::Size documentViewThumbnailSizeForIndex(VKDocumentView& view, size_t index) = 0;
    // A thumbnail whose longer side is `length`, or nothing while it is made.
    virtual std::shared_ptr<gfx::Image> documentViewThumbnailImageForIndex(VKDocumentView& view, size_t index,
        float length) = 0;
};
