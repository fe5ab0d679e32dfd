#pragma once

// The text engine that sets real glyphs: Pango on cairo, fonts found by
// fontconfig (so "Helvetica" resolves to whatever metric-compatible family is
// installed). Metrics are not hinted, so widths scale with the size. One
// engine serves every thread; its Pango objects are used under a lock.

#include "Platform/Graphics/TextEngine.h"

#include <memory>

namespace gfx {

class PangoTextEngine : public TextEngine {
public:
    PangoTextEngine();
    ~PangoTextEngine() override;

    float widthOfString(std::string_view text, const Font& font) override;
    FontMetrics metrics(const Font& font) override;

    struct State;

protected:
    void drawLine(Context& context, std::string_view line, float x, float y, const Font& font) override;

private:
    std::unique_ptr<State> m_state;
};

} // namespace gfx
