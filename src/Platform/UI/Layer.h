#pragma once

// The core of what a view shows: geometry (bounds, position, anchor point,
// transform), opacity, visibility and a tree of sublayers, with the keyed
// animation records that view animations leave on it. A view's frame is
// derived from here, never stored beside it. Drawing and standalone layer
// animation build on this class.

#include "Platform/Core/Object.h"
#include "Platform/Graphics/Color.h"
#include "Platform/Graphics/Geometry.h"

#include <atomic>
#include <functional>
#include <optional>
#include <utility>
#include <map>
#include <memory>
#include <cstdint>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace gfx {
class Context;
class Image;
}

namespace ui {

class Animation;
class Layer;
class View;

using AnimatedValue = std::variant<float, gfx::Point, gfx::Rect, gfx::AffineTransform, gfx::Color, gfx::Size>;

// A cubic Bézier from (0, 0) to (1, 1) through two control points, mapping
// elapsed time to progress.
struct TimingFunction {
    float x1 = 0, y1 = 0, x2 = 1, y2 = 1;
    static TimingFunction linear() { return { 0, 0, 1, 1 }; }
    static TimingFunction easeIn() { return { 0.42f, 0, 1, 1 }; }
    static TimingFunction easeOut() { return { 0, 0, 0.58f, 1 }; }
    static TimingFunction easeInEaseOut() { return { 0.42f, 0, 0.58f, 1 }; }
    static TimingFunction defaultTiming() { return { 0.25f, 0.1f, 0.25f, 1 }; }
    float solve(float t) const;
};

enum class FillMode { Removed, Forwards, Backwards, Both };

class AnimationDelegate {
public:
    virtual ~AnimationDelegate() = default;
    virtual void animationDidStart(const std::string& key) { (void)key; }
    virtual void animationDidStop(const std::string& key, bool finished) { (void)key, (void)finished; }
};

// One animated change of one property: the values it runs between and when.
// `ended` is told once, with whether the animation ran to its end.
struct LayerAnimation {
    std::string keyPath;
    AnimatedValue from;
    AnimatedValue to;
    double beginTime = 0; // on the run loop's clock, delay included
    double duration = 0;
    int curve = 0; // a view animation's curve, when no timing is given
    std::function<void(bool finished)> ended;
    // Added by layer animations: what the device's animation objects say
    // beside the values. A missing end takes the model value.
    std::optional<TimingFunction> timing;
    bool hasFrom = true;
    bool hasTo = true;
    bool autoreverses = false;
    float repeatCount = 0;
    bool removedOnCompletion = true;
    FillMode fillMode = FillMode::Removed;
    // A transition: its type and subtype, and the picture it starts from
    // (taken from the renderer's previous frame on first draw).
    std::string transitionType;
    std::string transitionSubtype;
    std::shared_ptr<gfx::Image> startPicture;
    bool startPictureTaken = false;

    void end(bool finished);
    // Duration with repeats and reversal.
    double activeDuration() const;
    // Progress 0…1 at `time` after timing, or nothing when the animation
    // does not show then (not begun without a backwards fill, ended
    // without a forwards one).
    std::optional<float> progressAt(double time) const;
    // The value shown at `time` over the model value.
    AnimatedValue valueAt(double time, const AnimatedValue& model) const;
};

// A layer's values as they show at one moment: the model with its running
// animations sampled.
struct LayerState {
    gfx::Rect bounds;
    gfx::Point position;
    gfx::Point anchorPoint;
    gfx::AffineTransform transform;
    float opacity = 1;
    gfx::Color backgroundColor;
    float cornerRadius = 0;
    gfx::AffineTransform transformToSuperlayer() const;
};

// Draws for a layer that has no drawing of its own (optional methods).
class LayerDelegate {
public:
    virtual ~LayerDelegate() = default;
    // True when it set the layer's contents itself.
    virtual bool display(Layer& layer) { (void)layer; return false; }
    // True when it drew.
    virtual bool draw(Layer& layer, gfx::Context& context) { (void)layer, (void)context; return false; }
    virtual void layoutSublayers(Layer& layer) { (void)layer; }
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
    void setBackgroundColor(const gfx::Color& color);
    bool masksToBounds() const { return m_masksToBounds; }
    void setMasksToBounds(bool masks) { m_masksToBounds = masks; }

    // Appearance drawn by the renderer.
    const std::string& name() const { return m_name; }
    void setName(std::string name) { m_name = std::move(name); }
    float cornerRadius() const { return m_cornerRadius; }
    void setCornerRadius(float radius);
    // A picture shown in the bounds as the gravity says: "resize",
    // "resizeAspect", "resizeAspectFill", "center", "top", "bottom", "left",
    // "right", "topLeft", "topRight", "bottomLeft", "bottomRight".
    const std::shared_ptr<gfx::Image>& contents() const { return m_contents; }
    void setContents(std::shared_ptr<gfx::Image> contents);
    const std::string& contentsGravity() const { return m_contentsGravity; }
    void setContentsGravity(std::string gravity) { m_contentsGravity = std::move(gravity); }
    float contentsScale() const { return m_contentsScale; }
    void setContentsScale(float scale);
    std::shared_ptr<LayerDelegate> delegate() const { return m_delegate.lock(); }
    void setDelegate(std::weak_ptr<LayerDelegate> delegate) { m_delegate = std::move(delegate); }

    // Own drawing, kept as a backing picture of bounds × contentsScale
    // until marked again; nothing draws while nobody renders.
    virtual void setNeedsDisplay();
    virtual void setNeedsDisplayInRect(const gfx::Rect& rect);
    bool needsDisplay() const { return m_needsDisplay; }
    void displayIfNeeded();
    // Sets the contents: the delegate's display, else a backing picture of
    // drawInContext.
    virtual void display();
    // The delegate's draw (the view's drawing for a view's layer).
    virtual void drawInContext(gfx::Context& context);
    const std::shared_ptr<gfx::Image>& backingImage() const { return m_backing; }
    // The bounds the backing picture was drawn for.
    const gfx::Rect& backingBounds() const { return m_backingBounds; }
    // Layout marks: layoutSublayers runs (delegate first) once marked.
    void setNeedsLayout() { m_needsLayout = true; }
    bool needsLayout() const { return m_needsLayout; }
    void layoutIfNeeded();
    virtual void layoutSublayers();

    // The deepest shown layer under `point` (in the superlayer's space).
    Layer* hitTest(gfx::Point point);
    // Draws the layer and its sublayers in its own space.

    // The model with the running animations sampled at `time` (the clock's
    // time when not given).
    LayerState presentation() const;
    LayerState presentationAt(double time) const;
    // The model value of an animatable key path, nothing for other paths.
    std::optional<AnimatedValue> animatableValue(std::string_view keyPath) const;

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
    // Adds a copy of a layer animation, begun now unless it says when, its
    // delegate told of the start on the next pass and of the stop when the
    // clock passes its end.
    void addAnimation(const Animation& animation, const std::string& key);

    std::string description() const override;

private:
    friend class View;
    friend class Renderer;
    friend class Transaction;
    // A standalone layer's animatable change: an implicit animation when
    // the current transaction allows one.
    void changed(const char* keyPath, const AnimatedValue& from, const AnimatedValue& to);
    // Above this many pixels, display finds out whether the layer draws
    // anything before it makes a picture of its size (16 MB).
    static constexpr double LargeBackingPixels = 4.0 * 1024 * 1024;
    gfx::Rect m_bounds;
    gfx::Point m_position;
    gfx::Point m_anchorPoint { 0.5f, 0.5f };
    gfx::AffineTransform m_transform;
    float m_opacity = 1;
    gfx::Color m_backgroundColor;
    bool m_hidden = false;
    bool m_masksToBounds = false;
    bool m_needsDisplay = false;
    bool m_needsLayout = false;
    std::atomic<bool> m_drewSomething { false };
    bool m_baseDrawCalled = false;
    float m_cornerRadius = 0;
    float m_contentsScale = 1;
    std::string m_name;
    std::string m_contentsGravity = "resize";
    std::shared_ptr<gfx::Image> m_contents;
    std::shared_ptr<gfx::Image> m_backing;
    gfx::Rect m_backingBounds;
    std::weak_ptr<LayerDelegate> m_delegate;
    uint64_t m_birthTransaction = 0;
    Layer* m_superlayer = nullptr;
    View* m_view = nullptr;
    std::vector<std::shared_ptr<Layer>> m_sublayers;
    std::map<std::string, std::shared_ptr<LayerAnimation>> m_animations;
};

} // namespace ui
