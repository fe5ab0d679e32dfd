#pragma once

// A label: one or more lines of text in one font and colour. By default the
// system font of 17 points, black on opaque white, one line cut at the tail,
// no interaction. Its text is observable. Invalid UTF-8 shows as U+FFFD.

#include "Platform/Core/Observable.h"
#include "Platform/Graphics/Color.h"
#include "Platform/Graphics/Font.h"
#include "Platform/Graphics/TextEngine.h"
#include "Platform/UI/View.h"

namespace ui {

class Label : public View {
public:
    static std::shared_ptr<Label> create(const gfx::Rect& frame = {}, std::string_view text = {});
    Label();

    std::string text() const { return m_text.get(); }
    virtual void setText(std::string_view text);
    // Called once for each change of the text, with the old and new text.
    core::Observation observeText(std::function<void(const std::string&, const std::string&)> observer)
    {
        return m_text.observe(std::move(observer));
    }

    const gfx::Font& font() const { return m_font; }
    void setFont(const gfx::Font& font);
    const gfx::Color& textColor() const { return m_textColor; }
    void setTextColor(const gfx::Color& color);
    const gfx::Color& highlightedTextColor() const { return m_highlightedTextColor; }
    void setHighlightedTextColor(const gfx::Color& color) { m_highlightedTextColor = color; }
    bool isHighlighted() const { return m_highlighted; }
    void setHighlighted(bool highlighted);
    bool isEnabled() const { return m_enabled; }
    void setEnabled(bool enabled);
    const gfx::Color& shadowColor() const { return m_shadowColor; }
    void setShadowColor(const gfx::Color& color);
    gfx::Size shadowOffset() const { return m_shadowOffset; }
    void setShadowOffset(gfx::Size offset);
    gfx::TextAlignment textAlignment() const { return m_alignment; }
    void setTextAlignment(gfx::TextAlignment alignment);
    gfx::LineBreakMode lineBreakMode() const { return m_lineBreakMode; }
    void setLineBreakMode(gfx::LineBreakMode mode);
    // 0: as many as the text needs.
    int numberOfLines() const { return m_numberOfLines; }
    void setNumberOfLines(int lines);
    bool adjustsFontSizeToFitWidth() const { return m_adjustsFontSize; }
    void setAdjustsFontSizeToFitWidth(bool adjusts);
    float minimumFontSize() const { return m_minimumFontSize; }
    void setMinimumFontSize(float size);

    // The font the text shows in: shrunk by whole points (not below the
    // minimum) to fit one line into the width when the label adjusts.
    gfx::Font displayedFont() const;
    // Where the text sits in `bounds`, limited to `lines` (0: any).
    virtual gfx::Rect textRectForBounds(const gfx::Rect& bounds, int lines) const;
    // The lines shown.
    std::vector<std::string> displayedLinesForTesting() const;

    gfx::Size sizeThatFits(gfx::Size size) const override;
    void draw(gfx::Context& context, const gfx::Rect& rect) override;
    std::string debugText() const override { return text(); }

protected:
    // Draws the text into `rect` (draw() passes the bounds); subclasses
    // narrow or move the room the text takes.
    virtual void drawTextInRect(gfx::Context& context, const gfx::Rect& rect);

private:
    core::Observable<std::string> m_text;
    gfx::Font m_font;
    gfx::Color m_textColor;
    gfx::Color m_highlightedTextColor;
    gfx::Color m_shadowColor;
    gfx::Size m_shadowOffset { 0, -1 };
    gfx::TextAlignment m_alignment = gfx::TextAlignment::Left;
    gfx::LineBreakMode m_lineBreakMode = gfx::LineBreakMode::TailTruncation;
    int m_numberOfLines = 1;
    bool m_adjustsFontSize = false;
    float m_minimumFontSize = 0;
    bool m_highlighted = false;
    bool m_enabled = true;
};

} // namespace ui
