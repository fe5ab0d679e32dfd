#include "Platform/UI/Layer.h"

#include "Platform/Core/Clock.h"
#include "Platform/Core/Exception.h"
#include "Platform/Core/Log.h"
#include "Platform/Core/RunLoop.h"
#include "Platform/Graphics/BitmapContext.h"
#include "Platform/Graphics/Image.h"
#include "Platform/UI/Animation.h"
#include "Platform/UI/Checks.h"
#include "Platform/UI/LayerDisplayMarks.h"
#include "Platform/UI/LayerInPlaceDrawing.h"
#include "Platform/UI/LiveObjects.h"
#include "Platform/UI/Renderer.h"
#include "Platform/UI/Transaction.h"
#include "Platform/UI/View.h"

#include <utility>
#include <algorithm>
#include <cmath>
#include <fmt/format.h>

namespace ui {

namespace {

float lerp(float a, float b, float t)
{
    return a + (b - a) * t;
}

struct Interpolate {
    float t;
    AnimatedValue operator()(float a, float b) const { return lerp(a, b, t); }
    AnimatedValue operator()(gfx::Point a, gfx::Point b) const { return gfx::Point { lerp(a.x, b.x, t), lerp(a.y, b.y, t) }; }
    AnimatedValue operator()(gfx::Size a, gfx::Size b) const
    {
        return gfx::Size { lerp(a.width, b.width, t), lerp(a.height, b.height, t) };
    }
    AnimatedValue operator()(const gfx::Rect& a, const gfx::Rect& b) const
    {
        return gfx::Rect(lerp(a.x(), b.x(), t), lerp(a.y(), b.y(), t), lerp(a.width(), b.width(), t),
            lerp(a.height(), b.height(), t));
    }
    AnimatedValue operator()(const gfx::AffineTransform& a, const gfx::AffineTransform& b) const
    {
        return gfx::AffineTransform { lerp(a.a, b.a, t), lerp(a.b, b.b, t), lerp(a.c, b.c, t), lerp(a.d, b.d, t),
            lerp(a.tx, b.tx, t), lerp(a.ty, b.ty, t) };
    }
    AnimatedValue operator()(const gfx::Color& a, const gfx::Color& b) const
    {
        if (a.isPattern() || b.isPattern())
            return t < 0.5f ? a : b;
        return gfx::Color(lerp(a.red(), b.red(), t), lerp(a.green(), b.green(), t), lerp(a.blue(), b.blue(), t),
            lerp(a.alpha(), b.alpha(), t));
    }
    // Values of different kinds do not mix: the end shows at half time.
    template<typename A, typename B> AnimatedValue operator()(const A& a, const B& b) const
    {
        return t < 0.5f ? AnimatedValue(a) : AnimatedValue(b);
    }
};

} // namespace

float TimingFunction::solve(float t) const
{
    t = std::clamp(t, 0.0f, 1.0f);
    if (x1 == y1 && x2 == y2)
        return t; // linear
    auto bezier = [](float p1, float p2, float u) {
        float v = 1 - u;
        return 3 * v * v * u * p1 + 3 * v * u * u * p2 + u * u * u;
    };
    // Finds u with x(u) = t by bisection (x is monotonic for controls in 0…1).
    float low = 0, high = 1, u = t;
    for (int i = 0; i < 40; ++i) {
        u = (low + high) / 2;
        if (bezier(x1, x2, u) < t)
            low = u;
        else
            high = u;
    }
    return bezier(y1, y2, u);
}

double LayerAnimation::activeDuration() const
{
    double d = std::isfinite(duration) ? std::max(0.0, duration) : 0.0;
    float repeats = std::isfinite(repeatCount) && repeatCount > 0 ? repeatCount : 1;
    return d * repeats * (autoreverses ? 2 : 1);
}

std::optional<float> LayerAnimation::progressAt(double time) const
{
    double local = time - beginTime;
    double active = activeDuration();
    if (local < 0) {
        if (fillMode == FillMode::Backwards || fillMode == FillMode::Both)
            local = 0;
        else
            return std::nullopt;
    }
    bool after = local >= active;
    if (after) {
        if (fillMode != FillMode::Forwards && fillMode != FillMode::Both)
            return std::nullopt;
        local = active;
    }
    double d = std::max(0.0, duration);
    float fraction;
    if (d <= 0) {
        fraction = 1;
    } else {
        double cycles = local / d;
        double whole = std::floor(cycles);
        fraction = float(cycles - whole);
        if (after && fraction == 0 && whole > 0) {
            fraction = 1;
            whole -= 1;
        }
        if (autoreverses && int64_t(whole) % 2 == 1)
            fraction = 1 - fraction;
    }
    static const TimingFunction curves[] = { TimingFunction::easeInEaseOut(), TimingFunction::easeIn(),
        TimingFunction::easeOut(), TimingFunction::linear() };
    TimingFunction function = timing ? *timing : curves[std::clamp(curve, 0, 3)];
    return function.solve(fraction);
}

AnimatedValue LayerAnimation::valueAt(double time, const AnimatedValue& model) const
{
    auto progress = progressAt(time);
    if (!progress)
        return model;
    const AnimatedValue& a = hasFrom ? from : model;
    const AnimatedValue& b = hasTo ? to : model;
    return std::visit(Interpolate { *progress }, a, b);
}

gfx::AffineTransform LayerState::transformToSuperlayer() const
{
    float ox = bounds.origin.x + anchorPoint.x * bounds.size.width;
    float oy = bounds.origin.y + anchorPoint.y * bounds.size.height;
    return gfx::AffineTransform::translation(-ox, -oy)
        .concatenating(transform)
        .concatenating(gfx::AffineTransform::translation(position.x, position.y));
}

void LayerAnimation::end(bool finished)
{
    if (auto callback = std::exchange(ended, nullptr))
        callback(finished);
}

std::shared_ptr<Layer> Layer::create()
{
    return std::make_shared<Layer>();
}

Layer::Layer()
{
    ++LiveObjects::layers;
    m_birthTransaction = Transaction::layerBorn();
}

Layer::~Layer()
{
    LayerDisplayMarks::forget(this);
    LayerInPlaceDrawing::forget(this);
    for (auto& sublayer : m_sublayers)
        sublayer->m_superlayer = nullptr;
    for (auto& [key, animation] : m_animations)
        animation->end(false);
    --LiveObjects::layers;
}

void Layer::changed(const char* keyPath, const AnimatedValue& from, const AnimatedValue& to)
{
    if (!m_view && !(from == to))
        Transaction::layerChanged(*this, keyPath, from, to);
}

void Layer::setBounds(const gfx::Rect& bounds)
{
    requireFinite(bounds, "Layer::setBounds");
    auto old = std::exchange(m_bounds, bounds);
    if (old.size != bounds.size && !m_view)
        m_needsLayout = true;
    changed("bounds", old, bounds);
}

void Layer::setPosition(gfx::Point position)
{
    requireFinite(position, "Layer::setPosition");
    changed("position", std::exchange(m_position, position), position);
}

void Layer::setAnchorPoint(gfx::Point anchorPoint)
{
    requireFinite(anchorPoint, "Layer::setAnchorPoint");
    changed("anchorPoint", std::exchange(m_anchorPoint, anchorPoint), anchorPoint);
}

void Layer::setAffineTransform(const gfx::AffineTransform& transform)
{
    requireFinite(transform, "Layer::setAffineTransform");
    changed("transform", std::exchange(m_transform, transform), transform);
}

void Layer::setOpacity(float opacity)
{
    requireFinite(opacity, "Layer::setOpacity");
    float old = m_opacity;
    m_opacity = std::clamp(opacity, 0.0f, 1.0f);
    changed("opacity", old, m_opacity);
}

void Layer::setBackgroundColor(const gfx::Color& color)
{
    changed("backgroundColor", std::exchange(m_backgroundColor, color), color);
}

void Layer::setCornerRadius(float radius)
{
    requireFinite(radius, "Layer::setCornerRadius");
    radius = std::max(0.0f, radius);
    changed("cornerRadius", std::exchange(m_cornerRadius, radius), radius);
}

void Layer::setContents(std::shared_ptr<gfx::Image> contents)
{
    if (contents == m_contents)
        return;
    m_contents = std::move(contents);
    LayerDisplayMarks::note(this);
    if (!m_view)
        Transaction::contentsChanged(*this);
}

void Layer::setContentsScale(float scale)
{
    requireFinite(scale, "Layer::setContentsScale");
    if (scale <= 0)
        throw core::Exception(core::Exception::InvalidArgument,
            fmt::format("Layer::setContentsScale: {} is not a scale", scale));
    if (scale != m_contentsScale) {
        m_contentsScale = scale;
        m_needsDisplay = m_needsDisplay || m_backing != nullptr;
    }
}

void Layer::setNeedsDisplay()
{
    m_needsDisplay = true;
    LayerDisplayMarks::note(this);
}

void Layer::setNeedsDisplayInRect(const gfx::Rect& rect)
{
    if (!rect.isEmpty()) {
        m_needsDisplay = true;
        LayerDisplayMarks::note(this);
    }
}

void Layer::displayIfNeeded()
{
    if (!std::exchange(m_needsDisplay, false))
        return;
    display();
}

void Layer::display()
{
    if (auto delegate = m_delegate.lock(); delegate && delegate->display(*this))
        return;
    gfx::Size size = m_bounds.size;
    // A large layer that may have no drawing of its own (the content view
    // under a long scrolled document) first draws into one pixel: only a
    // layer that drew gets a picture of its size.
    double pixels = double(size.width) * size.height * m_contentsScale * m_contentsScale;
    if (pixels > LargeBackingPixels) {
        auto probe = gfx::makeImageContext({ 1, 1 }, 1);
        if (probe) {
            probe->translateCTM(-m_bounds.origin.x, -m_bounds.origin.y);
            m_drewSomething = true;
            drawInContext(*probe);
            if (!m_drewSomething) {
                m_backing = nullptr;
                m_backingBounds = m_bounds;
                return;
            }
        }
    }
    auto context = size.width > 0 && size.height > 0 ? gfx::makeImageContext(size, m_contentsScale) : nullptr;
    if (!context) {
        m_backing = nullptr;
        return;
    }
    context->translateCTM(-m_bounds.origin.x, -m_bounds.origin.y);
    m_drewSomething = true; // an override draws; the base says when nothing did
    drawInContext(*context);
    m_backing = m_drewSomething ? context->makeImage() : nullptr;
    m_backingBounds = m_bounds;
}

void Layer::drawInContext(gfx::Context& context)
{
    if (auto delegate = m_delegate.lock())
        m_drewSomething = delegate->draw(*this, context);
    else
        m_drewSomething = m_view && Renderer::drawView(*m_view, context);
}

void Layer::layoutIfNeeded()
{
    if (std::exchange(m_needsLayout, false))
        layoutSublayers();
    for (size_t i = 0; i < m_sublayers.size(); ++i)
        if (!m_sublayers[i]->m_view)
            m_sublayers[i]->layoutIfNeeded();
}

void Layer::layoutSublayers()
{
    if (auto delegate = m_delegate.lock())
        delegate->layoutSublayers(*this);
}

Layer* Layer::hitTest(gfx::Point point)
{
    if (m_hidden || m_opacity <= 0.01f)
        return nullptr;
    gfx::Point local = transformToSuperlayer().inverted().apply(point);
    bool inside = m_bounds.contains(local);
    if (m_masksToBounds && !inside)
        return nullptr;
    for (auto it = m_sublayers.rbegin(); it != m_sublayers.rend(); ++it)
        if (Layer* hit = (*it)->hitTest(local))
            return hit;
    return inside ? this : nullptr;
}

std::optional<AnimatedValue> Layer::animatableValue(std::string_view keyPath) const
{
    std::optional<AnimatedValue> value;
    if (keyPath == "position") value.emplace(std::in_place_type<gfx::Point>, m_position);
    else if (keyPath == "bounds") value.emplace(std::in_place_type<gfx::Rect>, m_bounds);
    else if (keyPath == "anchorPoint") value.emplace(std::in_place_type<gfx::Point>, m_anchorPoint);
    else if (keyPath == "transform") value.emplace(std::in_place_type<gfx::AffineTransform>, m_transform);
    else if (keyPath == "opacity") value.emplace(std::in_place_type<float>, m_opacity);
    else if (keyPath == "backgroundColor") value.emplace(std::in_place_type<gfx::Color>, m_backgroundColor);
    else if (keyPath == "cornerRadius") value.emplace(std::in_place_type<float>, m_cornerRadius);
    else if (keyPath == "bounds.size") value.emplace(std::in_place_type<gfx::Size>, m_bounds.size);
    return value;
}

LayerState Layer::presentation() const
{
    double now = core::RunLoop::hasMainThread() ? core::RunLoop::main().clock()->monotonic() : 0;
    return presentationAt(now);
}

LayerState Layer::presentationAt(double time) const
{
    LayerState state { m_bounds, m_position, m_anchorPoint, m_transform, m_opacity, m_backgroundColor,
        m_cornerRadius };
    for (const auto& entry : m_animations) {
        const auto& animation = entry.second;
        const std::string& path = animation->keyPath;
        auto apply = [&](auto& field) {
            using T = std::decay_t<decltype(field)>;
            AnimatedValue value = animation->valueAt(time, AnimatedValue(field));
            if (auto* typed = std::get_if<T>(&value))
                field = *typed;
        };
        if (path == "position") apply(state.position);
        else if (path == "bounds") apply(state.bounds);
        else if (path == "bounds.size") apply(state.bounds.size);
        else if (path == "anchorPoint") apply(state.anchorPoint);
        else if (path == "transform") apply(state.transform);
        else if (path == "opacity") apply(state.opacity);
        else if (path == "backgroundColor") apply(state.backgroundColor);
        else if (path == "cornerRadius") apply(state.cornerRadius);
    }
    state.opacity = std::clamp(state.opacity, 0.0f, 1.0f);
    return state;
}

gfx::Rect Layer::frame() const
{
    gfx::Rect local(-m_anchorPoint.x * m_bounds.size.width, -m_anchorPoint.y * m_bounds.size.height,
        m_bounds.size.width, m_bounds.size.height);
    return m_transform.apply(local).offsetBy(m_position.x, m_position.y);
}

void Layer::setFrame(const gfx::Rect& frame)
{
    requireFinite(frame, "Layer::setFrame");
    gfx::Rect oldBounds = m_bounds;
    gfx::Point oldPosition = m_position;
    gfx::Rect r = frame.standardized();
    if (m_transform.isIdentity()) {
        m_bounds.size = r.size;
    } else {
        // The transformed bounds must cover the frame: undo the transform's
        // scale on the size where it is a plain scale; otherwise keep it.
        if (m_transform.b == 0 && m_transform.c == 0 && m_transform.a != 0 && m_transform.d != 0)
            m_bounds.size = { r.size.width / std::abs(m_transform.a), r.size.height / std::abs(m_transform.d) };
    }
    m_position = { r.origin.x + m_anchorPoint.x * r.size.width, r.origin.y + m_anchorPoint.y * r.size.height };
    if (m_bounds.size != oldBounds.size && !m_view)
        m_needsLayout = true;
    changed("bounds", oldBounds, m_bounds);
    changed("position", oldPosition, m_position);
}

void Layer::addSublayer(const std::shared_ptr<Layer>& layer)
{
    insertSublayer(layer, m_sublayers.size());
}

void Layer::insertSublayer(const std::shared_ptr<Layer>& layer, size_t index)
{
    if (!layer || layer.get() == this)
        throw core::Exception(core::Exception::InvalidArgument, "Layer::insertSublayer: a layer cannot hold itself");
    for (const Layer* ancestor = m_superlayer; ancestor; ancestor = ancestor->m_superlayer)
        if (ancestor == layer.get())
            throw core::Exception(core::Exception::InvalidArgument, "Layer::insertSublayer: the layer is an ancestor");
    auto keep = layer;
    if (layer->m_superlayer == this) {
        size_t current = indexOfSublayer(layer.get());
        m_sublayers.erase(m_sublayers.begin() + long(current));
        if (index > current)
            --index;
    } else {
        layer->removeFromSuperlayer();
    }
    index = std::min(index, m_sublayers.size());
    m_sublayers.insert(m_sublayers.begin() + long(index), layer);
    layer->m_superlayer = this;
}

void Layer::removeFromSuperlayer()
{
    Layer* super = m_superlayer;
    if (!super)
        return;
    auto self = shared_from_this(); // the superlayer may hold the last reference
    auto it = std::find_if(super->m_sublayers.begin(), super->m_sublayers.end(),
        [this](const std::shared_ptr<Layer>& l) { return l.get() == this; });
    m_superlayer = nullptr;
    if (it != super->m_sublayers.end())
        super->m_sublayers.erase(it);
}

size_t Layer::indexOfSublayer(const Layer* layer) const
{
    for (size_t i = 0; i < m_sublayers.size(); ++i)
        if (m_sublayers[i].get() == layer)
            return i;
    return m_sublayers.size();
}

gfx::AffineTransform Layer::transformToSuperlayer() const
{
    float ox = m_bounds.origin.x + m_anchorPoint.x * m_bounds.size.width;
    float oy = m_bounds.origin.y + m_anchorPoint.y * m_bounds.size.height;
    return gfx::AffineTransform::translation(-ox, -oy)
        .concatenating(m_transform)
        .concatenating(gfx::AffineTransform::translation(m_position.x, m_position.y));
}

gfx::AffineTransform Layer::transformToRoot() const
{
    gfx::AffineTransform result;
    for (const Layer* layer = this; layer; layer = layer->m_superlayer)
        result = result.concatenating(layer->transformToSuperlayer());
    return result;
}

gfx::Point Layer::convertPoint(gfx::Point point, const Layer* to) const
{
    if (to == this)
        return point;
    gfx::Point inRoot = transformToRoot().apply(point);
    return to ? to->transformToRoot().inverted().apply(inRoot) : inRoot;
}

gfx::Rect Layer::convertRect(const gfx::Rect& rect, const Layer* to) const
{
    if (to == this || rect.isNull())
        return rect;
    auto transform = transformToRoot();
    if (to)
        transform = transform.concatenating(to->transformToRoot().inverted());
    return transform.apply(rect);
}

void Layer::addAnimation(std::shared_ptr<LayerAnimation> animation, const std::string& key)
{
    auto& slot = m_animations[key];
    auto old = std::exchange(slot, std::move(animation));
    if (old)
        old->end(false);
}

std::shared_ptr<LayerAnimation> Layer::animationForKey(const std::string& key) const
{
    auto it = m_animations.find(key);
    return it == m_animations.end() ? nullptr : it->second;
}

std::vector<std::string> Layer::animationKeys() const
{
    std::vector<std::string> keys;
    for (auto& [key, animation] : m_animations)
        keys.push_back(key);
    return keys;
}

void Layer::removeAnimation(const std::string& key)
{
    auto it = m_animations.find(key);
    if (it == m_animations.end())
        return;
    auto animation = std::move(it->second);
    m_animations.erase(it);
    animation->end(false);
}

void Layer::removeAllAnimations()
{
    auto animations = std::exchange(m_animations, {});
    for (auto& [key, animation] : animations)
        animation->end(false);
}

void Layer::addAnimation(const Animation& animation, const std::string& key)
{
    requireMainThread("Layer::addAnimation");
    auto record = animation.makeRecord(*this);
    Animation::schedule(*this, key, std::move(record), animation.weakDelegate());
}

void Layer::finishAnimation(const std::shared_ptr<LayerAnimation>& animation, bool finished)
{
    for (auto it = m_animations.begin(); it != m_animations.end(); ++it) {
        if (it->second == animation) {
            m_animations.erase(it);
            break;
        }
    }
    animation->end(finished);
}

std::string Layer::description() const
{
    auto f = frame();
    return fmt::format("<{}: {} frame {{{{{}, {}}}, {{{}, {}}}}}>", className(), static_cast<const void*>(this),
        f.origin.x, f.origin.y, f.size.width, f.size.height);
}

} // namespace ui
