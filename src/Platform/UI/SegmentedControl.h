#pragma once

// Segments of titles or images side by side; a tap selects one and sends
// value-changed. A momentary control shows the selection only during its
// actions. Segments may be disabled or given widths (0: an equal share of
// what the fixed ones leave). Indexes out of range throw NSRangeException.

#include "Platform/Graphics/Image.h"
#include "Platform/UI/Control.h"

#include <variant>

namespace ui {

class SegmentedControl : public Control {
public:
    enum class Style { Plain = 0, Bordered = 1, Bar = 2, Bezeled = 3 };
    static constexpr int NoSegment = -1;
    static constexpr float Height = 44;

    using Item = std::variant<std::string, std::shared_ptr<gfx::Image>>;
    static std::shared_ptr<SegmentedControl> create(std::vector<Item> items = {});

    size_t numberOfSegments() const { return m_segments.size(); }
    void insertSegment(Item item, size_t index, bool animated = false);
    void setTitle(std::string title, size_t segment);
    std::string titleForSegment(size_t segment) const;
    void setImage(std::shared_ptr<gfx::Image> image, size_t segment);
    std::shared_ptr<gfx::Image> imageForSegment(size_t segment) const;
    void setWidth(float width, size_t segment);
    void setEnabled(bool enabled, size_t segment);
    bool isEnabledForSegment(size_t segment) const;
    using Control::setEnabled;

    int selectedSegmentIndex() const { return m_selected; }
    void setSelectedSegmentIndex(int index);
    bool isMomentary() const { return m_momentary; }
    void setMomentary(bool momentary) { m_momentary = momentary; }
    Style segmentedControlStyle() const { return m_style; }
    void setSegmentedControlStyle(Style style);
    // The bar style's colour (none: the standard light look).
    const std::optional<gfx::Color>& tintColor() const { return m_tint; }
    void setTintColor(std::optional<gfx::Color> tint)
    {
        m_tint = tint;
        setNeedsDisplay();
    }

    // The segment's rectangle in the bounds.
    gfx::Rect rectForSegment(size_t segment) const;
    // The segment at a point of the bounds, or NoSegment.
    int segmentAtPoint(gfx::Point point) const;

    void endTracking(const Touch* touch, const Event* event) override;
    gfx::Size sizeThatFits(gfx::Size size) const override;
    std::string debugText() const override;

private:
    struct Segment {
        Item item;
        float width = 0;
        bool enabled = true;
    };
    Segment& segment(size_t index, const char* what);
    const Segment& segment(size_t index, const char* what) const;

    std::vector<Segment> m_segments;
    int m_selected = NoSegment;
    bool m_momentary = false;
    Style m_style = Style::Plain;
    std::optional<gfx::Color> m_tint;
};

} // namespace ui
