#pragma once

// The scrubbing overlay over the document view: a dimmed panel with the
// page label, a thumbnail of the page under the finger (a checkerboard of
// the page's proportions while it is drawn) and the page's outline titles,
// one a line, as many as fit between the bars. When not even the label,
// the thumbnail and their margins fit, the label shows alone. It takes no
// touches.

#include "Platform/Graphics/Image.h"
#include "Platform/UI/View.h"

#include <optional>
#include <string>

namespace ui {
class Label;
class Layer;
}

class VKOverlayView : public ui::View {
public:
    static constexpr float Margin = 8;

    static std::shared_ptr<VKOverlayView> create(const gfx::Rect& frame = {});
    VKOverlayView();

    // The longer side, in pixels, of the thumbnail it shows: three quarters
    // of the largest power of two within the main screen's shorter side.
    static float imageLength();
    static float imageLengthForScreen(gfx::Size points, float scale);
    static std::shared_ptr<ui::Label> newTextLabel();

    std::string upperText() const;
    void setUpperText(std::string text);
    std::optional<std::string> lowerText() const;
    void setLowerText(std::optional<std::string> text);
    const std::shared_ptr<gfx::Image>& image() const { return m_image; }
    void setImage(std::shared_ptr<gfx::Image> image);
    gfx::Size imagePlaceholderSize() const { return m_placeholderSize; }
    void setImagePlaceholderSize(gfx::Size size);
    const gfx::EdgeInsets& toolbarInsets() const { return m_toolbarInsets; }
    void setToolbarInsets(const gfx::EdgeInsets& insets);
    unsigned maxDepth() const { return m_maxDepth; }
    void setMaxDepth(unsigned depth);
    bool contentHidden() const { return m_contentHidden; }
    void setContentHidden(bool hidden);

    unsigned availableDepth() const { return m_availableDepth; }
    float labelHeight() const { return m_labelHeight; }
    ui::Label& upperLabel() const { return *m_upperLabel; }
    ui::Label& lowerLabel() const { return *m_lowerLabel; }
    ui::View& imageView() const { return *m_imageView; }
    ui::Layer& imageLayer() const { return *m_imageLayer; }
    ui::Layer& placeholderLayer() const { return *m_placeholderLayer; }

    void calculateAvailableDepth();
    void performLayout();
    void setFrame(const gfx::Rect& frame) override;
    void layoutSubviews() override;

private:
    void setUp();

    std::shared_ptr<ui::Label> m_upperLabel;
    std::shared_ptr<ui::Label> m_lowerLabel;
    std::shared_ptr<ui::View> m_imageView;
    std::shared_ptr<gfx::Image> m_image;
    std::shared_ptr<ui::Layer> m_imageLayer;
    std::shared_ptr<ui::Layer> m_placeholderLayer;
    std::optional<std::string> m_lowerText;
    gfx::Size m_placeholderSize;
    gfx::EdgeInsets m_toolbarInsets;
    unsigned m_maxDepth = 0;
    unsigned m_availableDepth = 0;
    float m_labelHeight = 0;
    gfx::Rect m_previousFrame;
    bool m_contentHidden = false;
};
