#include "Shell/Settings/VKTableFooterLabel.h"

#include "Shell/Interface/ScreenAdditions.h"
#include "Platform/Graphics/TextEngine.h"
#include "Platform/UI/Application.h"
#include "Platform/UI/Fonts.h"
#include "Platform/UI/Screen.h"
#include "Platform/UI/StandardColors.h"

#include <algorithm>

std::shared_ptr<VKTableFooterLabel> VKTableFooterLabel::initWithFrame(const gfx::Rect& frame)
{
    gfx::Rect rect = frame;
    if (rect.width() == 0) {
        auto* application = ui::Application::shared();
        auto orientation = application ? application->statusBarOrientation() : ui::Orientation::Portrait;
        if (auto screen = ui::Screen::main())
            rect.size.width = boundsForOrientation(*screen, orientation).width();
    }
    auto label = ui::View::make<VKTableFooterLabel>(rect);
    label->setFont(ui::Fonts::systemFont(14));
    label->setTextColor(ui::StandardColors::darkGray());
    label->setShadowColor(ui::StandardColors::white());
    label->setShadowOffset({ 0, 1 });
    label->setBackgroundColor(ui::StandardColors::clear());
    label->setOpaque(false);
    label->setTextAlignment(gfx::TextAlignment::Center);
    label->setLineBreakMode(gfx::LineBreakMode::WordWrap);
    return label;
}

int VKTableFooterLabel::linesForText(std::string_view text)
{
    int count = 0;
    size_t start = 0;
    for (;;) {
        size_t end = text.find('\n', start);
        std::string_view piece = text.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start);
        // Characters, not bytes: continuation bytes do not count.
        size_t characters = 0;
        for (char c : piece)
            characters += (static_cast<unsigned char>(c) & 0xC0) != 0x80;
        count += characters < 31 ? 1 : int(characters / 30);
        if (end == std::string_view::npos)
            break;
        start = end + 1;
    }
    return count + 1;
}

void VKTableFooterLabel::setGivenLines(int lines)
{
    m_givenLines = std::max(1, lines);
    setNumberOfLines(m_givenLines);
    setFrame({ frame().x(), frame().y(), frame().width(), LineHeight * float(m_givenLines) });
}

float VKTableFooterLabel::fitToWidth(float width)
{
    int lines = m_givenLines;
    if (!text().empty()) {
        auto wrapped = gfx::textEngine()->linesOfString(text(), font(), { std::max(1.0f, width - 2 * TextInset), 0 },
            gfx::LineBreakMode::WordWrap);
        lines = std::max(lines, int(wrapped.size()));
    }
    setNumberOfLines(lines);
    setFrame({ frame().x(), frame().y(), frame().width(), LineHeight * float(lines) });
    return frame().height();
}

void VKTableFooterLabel::drawTextInRect(gfx::Context& context, const gfx::Rect& rect)
{
    ui::Label::drawTextInRect(context, rect.insetBy(TextInset, 0));
}
