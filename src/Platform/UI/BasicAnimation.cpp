#include "Platform/UI/BasicAnimation.h"

namespace ui {

namespace {

struct Add {
    AnimatedValue operator()(float a, float b) const { return a + b; }
    AnimatedValue operator()(gfx::Point a, gfx::Point b) const { return gfx::Point { a.x + b.x, a.y + b.y }; }
    AnimatedValue operator()(gfx::Size a, gfx::Size b) const { return gfx::Size { a.width + b.width, a.height + b.height }; }
    AnimatedValue operator()(const gfx::Rect& a, const gfx::Rect& b) const
    {
        return gfx::Rect(a.x() + b.x(), a.y() + b.y(), a.width() + b.width(), a.height() + b.height());
    }
    AnimatedValue operator()(const gfx::AffineTransform& a, const gfx::AffineTransform& b) const { return a.concatenating(b); }
    AnimatedValue operator()(const gfx::Color& a, const gfx::Color& b) const
    {
        return gfx::Color(a.red() + b.red(), a.green() + b.green(), a.blue() + b.blue(), a.alpha() + b.alpha());
    }
    template<typename A, typename B> AnimatedValue operator()(const A& a, const B&) const { return a; }
};

} // namespace

void BasicAnimation::fill(LayerAnimation& record, const Layer& layer) const
{
    record.keyPath = m_keyPath;
    auto model = layer.animatableValue(m_keyPath);
    record.hasFrom = m_from.has_value();
    record.hasTo = m_to.has_value();
    if (m_from)
        record.from = *m_from;
    if (m_to)
        record.to = *m_to;
    if (m_by && !m_to) {
        // By alone runs from the model value.
        if (!m_from && model) {
            record.from = *model;
            record.hasFrom = true;
        }
        if (record.hasFrom) {
            record.to = std::visit(Add {}, record.from, *m_by);
            record.hasTo = true;
        }
    } else if (m_by && m_to && !m_from) {
        record.from = std::visit(Add {}, *m_to, std::visit([](const auto& v) -> AnimatedValue {
            using T = std::decay_t<decltype(v)>;
            if constexpr (std::is_same_v<T, float>) return -v;
            else if constexpr (std::is_same_v<T, gfx::Point>) return gfx::Point { -v.x, -v.y };
            else if constexpr (std::is_same_v<T, gfx::Size>) return gfx::Size { -v.width, -v.height };
            else return v;
        }, *m_by));
        record.hasFrom = true;
    }
}

} // namespace ui
