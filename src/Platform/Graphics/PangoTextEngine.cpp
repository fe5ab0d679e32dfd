#include "Platform/Graphics/PangoTextEngine.h"

#include "Platform/Graphics/Context.h"
#include "Platform/Graphics/ContextInternal.h"

#include <map>
#include <mutex>
#include <string>
#include <tuple>
#include <unordered_map>
#include <pango/pangocairo.h>

namespace gfx {

namespace {

// The family to ask fontconfig for. Helvetica and Courier resolve to the
// URW fonts (installed for PDF work), whose small ascent puts the glyphs
// several points high in their line box; the Liberation families have the
// same widths and sit centred, so they are asked for first by name.
std::string pangoFamily(const std::string& family)
{
    if (family == "Helvetica" || family == "Helvetica Neue" || family == "Arial")
        return "Liberation Sans," + family;
    if (family == "Courier" || family == "Courier New")
        return "Liberation Mono," + family;
    return family;
}

PangoFontDescription* describe(const Font& font)
{
    PangoFontDescription* description = pango_font_description_new();
    pango_font_description_set_family(description, pangoFamily(font.familyName()).c_str());
    pango_font_description_set_weight(description, font.isBold() ? PANGO_WEIGHT_BOLD : PANGO_WEIGHT_NORMAL);
    // Sizes are in user-space units, whatever the resolution.
    pango_font_description_set_absolute_size(description, double(font.pointSize()) * PANGO_SCALE);
    return description;
}

cairo_font_options_t* unhintedOptions()
{
    cairo_font_options_t* options = cairo_font_options_create();
    cairo_font_options_set_hint_metrics(options, CAIRO_HINT_METRICS_OFF);
    cairo_font_options_set_hint_style(options, CAIRO_HINT_STYLE_NONE);
    return options;
}

} // namespace

struct PangoTextEngine::State {
    std::mutex mutex;
    PangoFontMap* fontMap = nullptr;
    PangoContext* context = nullptr;
    cairo_font_options_t* options = nullptr;
    // Drawing: one context, brought to each target's transform before a
    // line is shown, and the lines shown lately, shaped once (a scrolling
    // text draws mostly the lines of the frame before). Layouts follow
    // their context's changes themselves.
    PangoContext* drawing = nullptr;
    static constexpr size_t CachedLines = 160;
    std::unordered_map<std::string, PangoLayout*> drawnLines;
    // Widths of the strings measured lately (drawing a string measures it).
    static constexpr size_t CachedWidths = 4096;
    std::unordered_map<std::string, float> widths;
    // Metrics, asked for each string drawn, by font.
    std::map<std::tuple<std::string, float, bool>, FontMetrics> metrics;

    static std::string lineKey(std::string_view text, const Font& font)
    {
        std::string key = font.familyName();
        key += font.isBold() ? "\x01" : "\x02";
        float size = font.pointSize();
        key.append(reinterpret_cast<const char*>(&size), sizeof size);
        key += text;
        return key;
    }
    void forgetDrawnLines()
    {
        for (auto& [key, layout] : drawnLines)
            g_object_unref(layout);
        drawnLines.clear();
    }

    FontMetrics metricsOf(const Font& font)
    {
        auto key = std::make_tuple(font.familyName(), font.pointSize(), font.isBold());
        if (auto known = metrics.find(key); known != metrics.end())
            return known->second;
        PangoFontDescription* description = describe(font);
        PangoFontMetrics* found = pango_context_get_metrics(context, description, nullptr);
        pango_font_description_free(description);
        FontMetrics result;
        result.ascender = float(pango_font_metrics_get_ascent(found)) / PANGO_SCALE;
        result.descender = float(pango_font_metrics_get_descent(found)) / PANGO_SCALE;
        result.lineHeight = float(pango_font_metrics_get_height(found)) / PANGO_SCALE;
        if (result.lineHeight <= 0)
            result.lineHeight = result.ascender + result.descender;
        pango_font_metrics_unref(found);
        metrics.emplace(key, result);
        return result;
    }

    // A layout of the text in the font on the measuring context.
    PangoLayout* layout(std::string_view text, const Font& font, PangoContext* on)
    {
        PangoLayout* layout = pango_layout_new(on);
        PangoFontDescription* description = describe(font);
        pango_layout_set_font_description(layout, description);
        pango_font_description_free(description);
        pango_layout_set_text(layout, text.data(), int(text.size()));
        return layout;
    }
};

PangoTextEngine::PangoTextEngine()
    : m_state(std::make_unique<State>())
{
    m_state->fontMap = pango_cairo_font_map_new();
    m_state->context = pango_font_map_create_context(m_state->fontMap);
    m_state->options = unhintedOptions();
    pango_cairo_context_set_font_options(m_state->context, m_state->options);
}

PangoTextEngine::~PangoTextEngine()
{
    m_state->forgetDrawnLines();
    if (m_state->drawing)
        g_object_unref(m_state->drawing);
    g_object_unref(m_state->context);
    g_object_unref(m_state->fontMap);
    cairo_font_options_destroy(m_state->options);
}

float PangoTextEngine::widthOfString(std::string_view text, const Font& font)
{
    if (text.empty() || font.pointSize() <= 0)
        return 0;
    std::lock_guard lock(m_state->mutex);
    std::string key = State::lineKey(text, font);
    if (auto known = m_state->widths.find(key); known != m_state->widths.end())
        return known->second;
    PangoLayout* layout = m_state->layout(text, font, m_state->context);
    PangoRectangle logical;
    pango_layout_get_extents(layout, nullptr, &logical);
    g_object_unref(layout);
    float width = float(logical.width) / PANGO_SCALE;
    if (m_state->widths.size() >= State::CachedWidths)
        m_state->widths.clear();
    m_state->widths.emplace(std::move(key), width);
    return width;
}

FontMetrics PangoTextEngine::metrics(const Font& font)
{
    if (font.pointSize() <= 0)
        return {};
    std::lock_guard lock(m_state->mutex);
    return m_state->metricsOf(font);
}

void PangoTextEngine::drawLine(Context& context, std::string_view line, float x, float y, const Font& font)
{
    if (line.empty() || font.pointSize() <= 0)
        return;
    std::lock_guard lock(m_state->mutex);
    cairo_t* cairo = ContextAccess::cairo(context);
    // A context of its own for drawing, set like the measuring one, so that
    // the drawn line is as wide as the measured one.
    if (!m_state->drawing) {
        m_state->drawing = pango_font_map_create_context(m_state->fontMap);
        pango_cairo_context_set_font_options(m_state->drawing, m_state->options);
    }
    pango_cairo_update_context(cairo, m_state->drawing);
    std::string key = State::lineKey(line, font);
    PangoLayout* layout;
    if (auto shaped = m_state->drawnLines.find(key); shaped != m_state->drawnLines.end()) {
        layout = shaped->second;
    } else {
        if (m_state->drawnLines.size() >= State::CachedLines)
            m_state->forgetDrawnLines();
        layout = m_state->layout(line, font, m_state->drawing);
        m_state->drawnLines.emplace(std::move(key), layout);
    }
    // The whole line is one layout, fallback fonts (a CJK name beside Latin
    // letters) shaped in it; its baseline sits where the font's own would,
    // so that a taller fallback font neither lowers the line against its
    // neighbours nor pushes the descenders out of the line's box.
    const float baseline = float(pango_layout_get_baseline(layout)) / PANGO_SCALE;
    const float top = y + m_state->metricsOf(font).ascender - baseline;
    Color colour = context.fillColor();
    cairo_save(cairo);
    cairo_set_source_rgba(cairo, colour.red(), colour.green(), colour.blue(), colour.alpha() * context.alpha());
    cairo_move_to(cairo, x, top);
    pango_cairo_show_layout(cairo, layout);
    cairo_restore(cairo);
}

std::shared_ptr<TextEngine> makePangoTextEngine()
{
    return std::make_shared<PangoTextEngine>();
}

} // namespace gfx
