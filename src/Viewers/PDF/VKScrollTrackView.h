#pragma once

// The thin rounded track along one edge of the document view while page
// thumbnails are on. It turns a touch position into a value from 0 to 1
// along the track (the long-press scrubbing of VKDocumentView reads it) and
// shows three states: active while scrubbing, a placeholder while the
// chrome is shown, hidden otherwise. It takes no touches itself.

#include "Platform/UI/View.h"

class VKScrollTrackView : public ui::View {
public:
    // Edges of a rectangle: the side the track runs along.
    enum Edge : int { Left = 0, Top = 1, Right = 2, Bottom = 3 };
    static constexpr float CornerRadius = 4.0f;

    static std::shared_ptr<VKScrollTrackView> create(const gfx::Rect& frame = {});
    VKScrollTrackView();

    int edge() const { return m_edge; }
    void setEdge(int edge);
    bool active() const { return m_active; }
    void setActive(bool active);
    bool showsPlaceholder() const { return m_showsPlaceholder; }
    void setShowsPlaceholder(bool shows);
    const gfx::Color& activeColor() const { return m_activeColor; }
    void setActiveColor(const gfx::Color& color);
    const gfx::Color& placeholderColor() const { return m_placeholderColor; }
    void setPlaceholderColor(const gfx::Color& color);
    const gfx::Color& highlightColor() const { return m_highlightColor; }

    // The position along the track of a point in the view, 0 to 1; the ends
    // lie half the view's thickness inside its bounds. 0 for empty bounds.
    float valueForPoint(gfx::Point point) const;

    ui::Layer& trackLayer() const { return *m_trackLayer; }
    ui::Layer& trackHighlightLayer() const { return *m_trackHighlightLayer; }

    void setFrame(const gfx::Rect& frame) override;
    void layoutSubviews() override;

private:
    void updateTrackView();
    void performLayout();

    std::shared_ptr<ui::Layer> m_trackLayer;
    std::shared_ptr<ui::Layer> m_trackHighlightLayer;
    gfx::Color m_activeColor = gfx::Color::white(0, 0.5f);
    gfx::Color m_placeholderColor = gfx::Color::white(0, 0.15f);
    gfx::Color m_highlightColor = gfx::Color::white(1, 0.6f);
    int m_edge = Left;
    bool m_showsPlaceholder = false;
    bool m_active = false;
};
