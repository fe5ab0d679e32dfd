#pragma once

// The note under a settings page's last section: grey 14-point text,
// centred and wrapped, drawn 20 points in from either side. Made with a
// zero width it takes the screen's width in the interface's orientation.

#include "Platform/UI/Label.h"

#include <memory>
#include <string_view>

class VKTableFooterLabel : public ui::Label {
public:
    static std::shared_ptr<VKTableFooterLabel> initWithFrame(const gfx::Rect& frame);

    // The lines a footer text is given room for: one per piece between
    // line feeds, a piece longer than 30 characters counting its length
    // over 30 (whole part), and one more.
    static int linesForText(std::string_view text);
    static constexpr float LineHeight = 20;
    static constexpr float TextInset = 20;

    // The room a text is given: that many lines, 20 points each.
    void setGivenLines(int lines);
    int givenLines() const { return m_givenLines; }
    // Shown `width` wide, the label takes the lines it was given, or the
    // lines its text wraps to when that is more, so that no line is cut;
    // answers its new height.
    float fitToWidth(float width);

protected:
    void drawTextInRect(gfx::Context& context, const gfx::Rect& rect) override;

private:
    int m_givenLines = 1;
};
