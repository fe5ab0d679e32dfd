#include "Platform/UI/Layer.h"

#include "Platform/Core/Exception.h"
#include "Platform/UI/Checks.h"
#include "Platform/UI/LiveObjects.h"

#include <utility>
#include <algorithm>
#include <fmt/format.h>

namespace ui {

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
}

Layer::~Layer()
{
    for (auto& sublayer : m_sublayers)
        sublayer->m_superlayer = nullptr;
    for (auto& [key, animation] : m_animations)
        animation->end(false);
    --LiveObjects::layers;
}

void Layer::setBounds(const gfx::Rect& bounds)
{
    requireFinite(bounds, "Layer::setBounds");
    m_bounds = bounds;
}

void Layer::setPosition(gfx::Point position)
{
    requireFinite(position, "Layer::setPosition");
    m_position = position;
}

void Layer::setAnchorPoint(gfx::Point anchorPoint)
{
    requireFinite(anchorPoint, "Layer::setAnchorPoint");
    m_anchorPoint = anchorPoint;
}

void Layer::setAffineTransform(const gfx::AffineTransform& transform)
{
    requireFinite(transform, "Layer::setAffineTransform");
    m_transform = transform;
}

void Layer::setOpacity(float opacity)
{
    requireFinite(opacity, "Layer::setOpacity");
    m_opacity = std::clamp(opacity, 0.0f, 1.0f);
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
