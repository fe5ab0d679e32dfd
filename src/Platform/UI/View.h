#pragma once

// A rectangle of the interface on a Layer: geometry lives in the layer and
// the frame is derived from it. Setters are virtual and the toolkit itself
// goes through them (autoresizing calls setFrame), so subclasses see every
// change. A view owns its subviews, its layer and its gesture recognizers;
// the links up (superview, window, controller) are plain pointers cleared on
// removal. Main thread only.

#include "Platform/Graphics/Geometry.h"
#include "Platform/UI/Layer.h"
#include "Platform/UI/Responder.h"

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace gfx {
class Context;
}

namespace ui {

class Event;
class GestureRecognizer;
class Window;

class View : public Responder {
public:
    // The device's numbers.
    enum class ContentMode {
        ScaleToFill = 0,
        ScaleAspectFit = 1,
        ScaleAspectFill = 2,
        Redraw = 3,
        Center = 4,
        Top = 5,
        Bottom = 6,
        Left = 7,
        Right = 8,
        TopLeft = 9,
        TopRight = 10,
        BottomLeft = 11,
        BottomRight = 12,
    };
    enum Autoresizing : unsigned {
        None = 0,
        FlexibleLeftMargin = 1,
        FlexibleWidth = 2,
        FlexibleRightMargin = 4,
        FlexibleTopMargin = 8,
        FlexibleHeight = 16,
        FlexibleBottomMargin = 32,
    };

    static std::shared_ptr<View> create(const gfx::Rect& frame = {});
    // Makes a view of class T and gives it `frame`.
    template<typename T, typename... Args> static std::shared_ptr<T> make(const gfx::Rect& frame, Args&&... args)
    {
        auto view = std::make_shared<T>(std::forward<Args>(args)...);
        view->setFrame(frame);
        return view;
    }

    View();
    ~View() override;

    // The backing layer, made by makeLayer() when first needed. A class that
    // chooses its layer must not reach it from a base class's constructor.
    Layer& layer() const;
    const std::shared_ptr<Layer>& sharedLayer() const;

    // Geometry.
    virtual gfx::Rect frame() const;
    virtual void setFrame(const gfx::Rect& frame);
    virtual gfx::Rect bounds() const;
    virtual void setBounds(const gfx::Rect& bounds);
    virtual gfx::Point center() const;
    virtual void setCenter(gfx::Point center);
    virtual gfx::AffineTransform transform() const;
    virtual void setTransform(const gfx::AffineTransform& transform);

    // Appearance and behaviour.
    float alpha() const;
    virtual void setAlpha(float alpha);
    bool isHidden() const;
    virtual void setHidden(bool hidden);
    gfx::Color backgroundColor() const;
    virtual void setBackgroundColor(const gfx::Color& color);
    bool clipsToBoundsForTesting() const;
    void setClipsToBounds(bool clips);
    bool isOpaque() const { return m_opaque; }
    void setOpaque(bool opaque) { m_opaque = opaque; }
    int tag() const { return m_tag; }
    void setTag(int tag) { m_tag = tag; }
    bool isUserInteractionEnabled() const { return m_userInteractionEnabled; }
    virtual void setUserInteractionEnabled(bool enabled) { m_userInteractionEnabled = enabled; }
    bool isMultipleTouchEnabled() const { return m_multipleTouchEnabled; }
    void setMultipleTouchEnabled(bool enabled) { m_multipleTouchEnabled = enabled; }
    bool isExclusiveTouch() const { return m_exclusiveTouch; }
    void setExclusiveTouch(bool exclusive) { m_exclusiveTouch = exclusive; }
    unsigned autoresizingMask() const { return m_autoresizingMask; }
    void setAutoresizingMask(unsigned mask) { m_autoresizingMask = mask & 63; }
    bool autoresizesSubviews() const { return m_autoresizesSubviews; }
    void setAutoresizesSubviews(bool autoresizes) { m_autoresizesSubviews = autoresizes; }
    ContentMode contentMode() const { return m_contentMode; }
    void setContentMode(ContentMode mode);

    // Hierarchy. Adding a view to itself or to one of its descendants throws.
    View* superview() const { return m_superview; }
    Window* window() const { return m_window; }
    const std::vector<std::shared_ptr<View>>& subviews() const { return m_subviews; }
    void addSubview(const std::shared_ptr<View>& view);
    void insertSubview(const std::shared_ptr<View>& view, size_t index);
    void insertSubviewBelow(const std::shared_ptr<View>& view, const View* sibling);
    void bringSubviewToFront(const View* view);
    void sendSubviewToBack(const View* view);
    void removeFromSuperview();
    bool isDescendantOfView(const View* view) const;
    View* viewWithTag(int tag);
    // Descendants of class T, pre-order, the receiver excluded.
    template<typename T> std::vector<std::shared_ptr<T>> findViews() const
    {
        std::vector<std::shared_ptr<T>> found;
        visitDescendants([&](const std::shared_ptr<View>& view) {
            if (auto match = std::dynamic_pointer_cast<T>(view))
                found.push_back(std::move(match));
        });
        return found;
    }
    void visitDescendants(const std::function<void(const std::shared_ptr<View>&)>& visit) const;

    // Move hooks, in the order of an add: willMoveToSuperview,
    // willMoveToWindow, didMoveToWindow, didMoveToSuperview, then the
    // superview's didAddSubview. A removal starts with willRemoveSubview.
    virtual void willMoveToSuperview(View* newSuperview) { (void)newSuperview; }
    virtual void didMoveToSuperview() { }
    virtual void willMoveToWindow(Window* newWindow) { (void)newWindow; }
    virtual void didMoveToWindow() { }
    virtual void didAddSubview(View* subview) { (void)subview; }
    virtual void willRemoveSubview(View* subview) { (void)subview; }

    // Layout, lazy: setNeedsLayout marks; layoutIfNeeded lays out the marked
    // views of this subtree, parents first; the application runs pending
    // layout once at the end of every main-loop pass.
    void setNeedsLayout();
    bool needsLayout() const { return m_needsLayout; }
    void layoutIfNeeded();
    virtual void layoutSubviews() { }
    virtual gfx::Size sizeThatFits(gfx::Size size) const;
    void sizeToFit();

    // Drawing: nothing draws unless marked and asked by a renderer.
    void setNeedsDisplay();
    void setNeedsDisplayInRect(const gfx::Rect& rect);
    // This view and every view below it (a look they all draw with changed).
    void setNeedsDisplayIncludingSubviews();
    bool needsDisplay() const { return m_needsDisplay; }
    void displayIfNeeded(gfx::Context& context);
    virtual void draw(gfx::Context& context, const gfx::Rect& rect);

    // Hit testing: the deepest, front-most view that is shown, has alpha over
    // 0.01, takes interaction and whose pointInside answers yes.
    virtual View* hitTest(gfx::Point point, const Event* event = nullptr);
    virtual bool pointInside(gfx::Point point, const Event* event = nullptr) const;
    // A scroll or zoom event of the wheel or touchpad: it goes to the view
    // under the pointer, then up its superviews, until one takes it (answers
    // true). Scroll views scroll and zoom; views that move their content
    // themselves take it too.
    virtual bool wheelEvent(const Event& event)
    {
        (void)event;
        return false;
    }

    // Conversions between any two views (null: the window), across
    // branches, windows and transforms.
    gfx::Point convertPoint(gfx::Point point, const View* to) const;
    gfx::Point convertPointFrom(gfx::Point point, const View* from) const;
    gfx::Rect convertRect(const gfx::Rect& rect, const View* to) const;
    gfx::Rect convertRectFrom(const gfx::Rect& rect, const View* from) const;

    // Gesture recognizers, owned by the view.
    void addGestureRecognizer(const std::shared_ptr<GestureRecognizer>& recognizer);
    void removeGestureRecognizer(const GestureRecognizer* recognizer);
    const std::vector<std::shared_ptr<GestureRecognizer>>& gestureRecognizers() const { return m_recognizers; }

    // The controller whose root view this is: next on the responder chain
    // (set by the controller, cleared when it goes).
    Responder* controller() const { return m_controller; }
    void setController(Responder* controller) { m_controller = controller; }

    Responder* nextResponder() const override;
    Window* responderWindow() const override { return m_window; }

    // A short text for the driver's dump (a label's or a button's title).
    virtual std::string debugText() const { return {}; }
    // What a desktop pointer resting on the view (or inside it) shows
    // beside it; empty: nothing (Pointer::hoveredToolTip).
    const std::string& toolTip() const { return m_toolTip; }
    void setToolTip(std::string toolTip) { m_toolTip = std::move(toolTip); }
    std::string description() const override;

protected:
    // The layer class of this view.
    virtual std::shared_ptr<Layer> makeLayer() const;
    // Shares a superview's size change among the flexible parts of the
    // subviews' frames.
    void resizeSubviews(gfx::Size oldSize);

private:
    friend class Window;
    void insertSubviewAtIndex(const std::shared_ptr<View>& view, size_t index);
    void placeLayerOf(View* view, size_t index);
    void moveToWindow(Window* window);
    void forgetWindowInSubtree();
    void boundsSizeChanged(gfx::Size oldSize);
    void layoutSubtree();
    size_t indexOfSubview(const View* view) const;
    std::shared_ptr<View> detachSubview(const View* view);

    mutable std::shared_ptr<Layer> m_layer;
    View* m_superview = nullptr;
    Window* m_window = nullptr;
    Responder* m_controller = nullptr;
    std::vector<std::shared_ptr<View>> m_subviews;
    std::vector<std::shared_ptr<GestureRecognizer>> m_recognizers;
    int m_tag = 0;
    std::string m_toolTip;
    unsigned m_autoresizingMask = 0;
    ContentMode m_contentMode = ContentMode::ScaleToFill;
    bool m_opaque = true;
    bool m_userInteractionEnabled = true;
    bool m_multipleTouchEnabled = false;
    bool m_exclusiveTouch = false;
    bool m_autoresizesSubviews = true;
    bool m_needsLayout = false;
    bool m_subtreeNeedsLayout = false;
    bool m_needsDisplay = false;
};

} // namespace ui
