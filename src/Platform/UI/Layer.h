#pragma once

// The core of what a view shows: geometry (bounds, position, anchor point,
// transform), opacity, visibility and a tree of sublayers, with the keyed
// animation records that view animations leave on it. A view's frame is
// derived from here, never stored beside it. Drawing and standalone layer
// animation build on this class.

#include "Platform/Core/Object.h"
#include "Platform/Graphics/Color.h"
#include "Platform/Graphics/Geometry.h"

#include <functional>
#include <utility>
#include <map>
#include <memory>
#include <string>
#include <variant>
#include <vector>

namespace ui {

class View;

using AnimatedValue = std::variant<float, gfx::Point, gfx::Rect, gfx::AffineTransform, gfx::Color>;

// One animated change of one property: the values it runs between and when.
// `ended` is told once, with whether the animation ran to its end.
struct LayerAnimation {
    std::string keyPath;
    AnimatedValue from;
    AnimatedValue to;
    double beginTime = 0; // on the run loop's clock, delay included
    double duration = 0;
    int curve = 0;
    std::function<void(bool finished)> ended;

    void end(bool finished);
};

class Layer : public core::Object {
public:
    static std::shared_ptr<Layer> create();
    Layer();
    ~Layer() override;

    const gfx::Rect& bounds() const { return m_bounds; }
    void setBounds(const gfx::Rect& bounds);
    gfx::Point position() const { return m_position; }
    void setPosition(gfx::Point position);
    gfx::Point anchorPoint() const { return m_anchorPoint; }
    void setAnchorPoint(gfx::Point anchorPoint);
    const gfx::AffineTransform& affineTransform() const { return m_transform; }
    void setAffineTransform(const gfx::AffineTransform& transform);
    float opacity() const { return m_opacity; }
    void setOpacity(float opacity);
    bool isHidden() const { return m_hidden; }
    void setHidden(bool hidden) { m_hidden = hidden; }
    // Transparent (the default) paints nothing.
    const gfx::Color& backgroundColor() const { return m_backgroundColor; }
    void setBackgroundColor(const gfx::Color& color) { m_backgroundColor = color; }
    bool masksToBounds() const { return m_masksToBounds; }
    void setMasksToBounds(bool masks) { m_masksToBounds = masks; }

    // The bounds as the superlayer sees them: transformed about the anchor
    // point and placed at the position (the bounding box when rotated).
    gfx::Rect frame() const;
    // Sets the position and the bounds' size so that frame() answers it
    // (with an identity transform; a transformed layer keeps its transform).
    void setFrame(const gfx::Rect& frame);

    // Tree. The layer of a view knows its view (a plain pointer: the view
    // owns the layer).
    Layer* superlayer() const { return m_superlayer; }
    const std::vector<std::shared_ptr<Layer>>& sublayers() const { return m_sublayers; }
    void addSublayer(const std::shared_ptr<Layer>& layer);
    void insertSublayer(const std::shared_ptr<Layer>& layer, size_t index);
    void removeFromSuperlayer();
    size_t indexOfSublayer(const Layer* layer) const;
    View* view() const { return m_view; }

    // Maps points of this layer's space to its superlayer's, and to the
    // root's (the screen, for a window's layer).
    gfx::AffineTransform transformToSuperlayer() const;
    gfx::AffineTransform transformToRoot() const;
    gfx::Point convertPoint(gfx::Point point, const Layer* to) const;
    gfx::Rect convertRect(const gfx::Rect& rect, const Layer* to) const;

    // Animation records by key: a newer record for a key ends the older one
    // unfinished.
    void addAnimation(std::shared_ptr<LayerAnimation> animation, const std::string& key);
    std::shared_ptr<LayerAnimation> animationForKey(const std::string& key) const;
    std::vector<std::string> animationKeys() const;
    void removeAnimation(const std::string& key);
    void removeAllAnimations();
    // Drops the record when it is still the one under its key, ended with
    // `finished`.
    void finishAnimation(const std::shared_ptr<LayerAnimation>& animation, bool finished);

    std::string description() const override;

private:
    friend class View;
    gfx::Rect m_bounds;
    gfx::Point m_position;
    gfx::Point m_anchorPoint { 0.5f, 0.5f };
    gfx::AffineTransform m_transform;
    float m_opacity = 1;
    gfx::Color m_backgroundColor;
    bool m_hidden = false;
    bool m_masksToBounds = false;
    Layer* m_superlayer = nullptr;
    View* m_view = nullptr;
    std::vector<std::shared_ptr<Layer>> m_sublayers;
    std::map<std::string, std::shared_ptr<LayerAnimation>> m_animations;
};

} // namespace ui
