#pragma once

// The scrubber at the right edge of a long document: a narrow translucent
// capsule labelled with page numbers from top to bottom, on which a finger
// drags to jump. Its value (0 to 1) is where the last touch lies along the
// track; the owner reads it as the normalised vertical offset. When the
// numbers do not all fit, every so many pages is left out and shown as a
// dot. The owner hears value changed after every update (even an unchanged
// one) and the touch events. It is shown and hidden only by fading, and is
// disabled while faded out.

#include "Viewers/Document/VKDelayedFade.h"

#include "Platform/Graphics/Font.h"
#include "Platform/UI/Control.h"

#include <memory>
#include <string>
#include <vector>

class VKPageIndexLabelsLayer;

class VKPageIndexView : public ui::Control {
public:
    // The capsule's width, unless its widest label needs more room (page
    // numbers of five digits and more): then that label's width and a
    // margin on each side.
    static constexpr float Width = 28;
    static constexpr float LabelMargin = 3;
    // The label that stands for pages left out.
    static const std::string& skipCharacter();

    static std::shared_ptr<VKPageIndexView> create(const gfx::Rect& frame = {});
    ~VKPageIndexView() override;

    gfx::Size sizeThatFits(gfx::Size size) const override { return { m_width, size.height }; }
    // Keeps the origin and height, as wide as the labels need (28 at least);
    // a new height reloads.
    void setFrame(const gfx::Rect& frame) override;

    unsigned pageCount() const { return m_pageCount; }
    void setPageCount(unsigned count);
    const gfx::Font& font() const { return m_font; }
    void setFont(const gfx::Font& font);
    float value() const { return m_value; }
    const std::vector<std::string>& labels() const { return m_labels; }
    // The bounds less (font size / 2 + 5) at top and bottom: where touches
    // map to values.
    gfx::Rect trackBounds() const;
    // The bounds less 5 at top and bottom: where the labels are drawn.
    gfx::Rect labelBounds() const;
    void reloadLabels();

    // YES hides, NO shows (0.3 s when animated); cancels a pending fade.
    void fadeOut(bool fade, bool animated);
    // The same after `delay` seconds; any later fade, setAlpha or highlight
    // cancels it. Nothing happens when the alpha is already there.
    void fadeOut(bool fade, bool animated, double delay);
    bool hasPendingFade() const { return m_fade.isPending(); }

    bool beginTracking(const ui::Touch& touch, const ui::Event& event) override;
    bool continueTracking(const ui::Touch& touch, const ui::Event& event) override;
    void endTracking(const ui::Touch* touch, const ui::Event* event) override;
    void cancelTracking(const ui::Event* event) override;
    // Only the side counts: a release above or below within the width is
    // inside, one beside the control outside.
    bool isWithinTolerance(gfx::Point point) const override;
    void setHighlighted(bool highlighted) override;
    void setAlpha(float alpha) override;
    ui::View* hitTest(gfx::Point point, const ui::Event* event = nullptr) override;
    void draw(gfx::Context& context, const gfx::Rect& rect) override;

    // The labels for `count` pages in an area `height` high with rows at
    // least `pointSize` apart (what reloadLabels keeps).
    static std::vector<std::string> labelsForPageCount(unsigned count, float height, float pointSize);
    // The step between labelled pages when they do not all fit: the
    // smallest step >= 2 with count / step + 1 <= limit. Answered directly,
    // so a huge count or a limit of 0 costs no loop.
    static unsigned skipStep(unsigned count, unsigned limit);
    static float widthForLabels(const std::vector<std::string>& labels, const gfx::Font& font);

protected:
    VKPageIndexView() = default;
    void setValueNow(float value);

private:

    unsigned m_pageCount = 0;
    std::vector<std::string> m_labels;
    float m_value = 0;
    float m_width = Width;
    gfx::Font m_font = gfx::Font::boldSystemFont(11);
    std::shared_ptr<VKPageIndexLabelsLayer> m_labelsLayer;
    VKDelayedFade m_fade;
};
