#pragma once

// The scrubbing overlay over the document view: a thumbnail of the page
// under the finger with the page number and the outline title. Here it only
// keeps what the document view hands it; its drawing and placement belong
// to the viewer that shows it.

#include "Platform/Graphics/Image.h"
#include "Platform/UI/View.h"

#include <optional>
#include <string>

class VKOverlayView : public ui::View {
public:
    static std::shared_ptr<VKOverlayView> create(const gfx::Rect& frame = {});

    // The longer side of the thumbnail it asks for.
    static float imageLength() { return 0; }

    const std::string& upperText() const { return m_upperText; }
    void setUpperText(std::string text) { m_upperText = std::move(text); }
    const std::optional<std::string>& lowerText() const { return m_lowerText; }
    void setLowerText(std::optional<std::string> text) { m_lowerText = std::move(text); }
    const std::shared_ptr<gfx::Image>& image() const { return m_image; }
    void setImage(std::shared_ptr<gfx::Image> image) { m_image = std::move(image); }
    gfx::Size imagePlaceholderSize() const { return m_placeholderSize; }
    void setImagePlaceholderSize(gfx::Size size) { m_placeholderSize = size; }
    const gfx::EdgeInsets& toolbarInsets() const { return m_toolbarInsets; }
    void setToolbarInsets(const gfx::EdgeInsets& insets) { m_toolbarInsets = insets; }
    unsigned maxDepth() const { return m_maxDepth; }
    void setMaxDepth(unsigned depth) { m_maxDepth = depth; }
    bool contentHidden() const { return m_contentHidden; }
    void setContentHidden(bool hidden) { m_contentHidden = hidden; }

private:
    std::string m_upperText;
    std::optional<std::string> m_lowerText;
    std::shared_ptr<gfx::Image> m_image;
    gfx::Size m_placeholderSize;
    gfx::EdgeInsets m_toolbarInsets;
    unsigned m_maxDepth = 0;
    bool m_contentHidden = false;
};
