#pragma once

// The deterministic text engine, keeping every line it is asked to draw and
// where: what a picture says, for tests that must know (a password drawn as
// bullets, a note drawn inside its margins). Header-only; install it with
// gfx::setTextEngine.

#include "Platform/Graphics/TextEngine.h"

#include <memory>
#include <string>
#include <vector>

namespace test {

class RecordingTextEngine : public gfx::TextEngine {
public:
    struct Line {
        std::string text;
        float x;
        float y;
    };

    float widthOfString(std::string_view text, const gfx::Font& font) override { return m_inner->widthOfString(text, font); }
    gfx::FontMetrics metrics(const gfx::Font& font) override { return m_inner->metrics(font); }

    std::vector<Line> lines;
    std::vector<std::string> texts() const
    {
        std::vector<std::string> result;
        for (auto& line : lines)
            result.push_back(line.text);
        return result;
    }

protected:
    void drawLine(gfx::Context& context, std::string_view line, float x, float y, const gfx::Font& font) override
    {
        lines.push_back({ std::string(line), x, y });
        m_inner->drawString(context, line, gfx::Point { x, y }, font);
    }

private:
    std::shared_ptr<gfx::TextEngine> m_inner = gfx::makeDeterministicTextEngine();
};

} // namespace test
