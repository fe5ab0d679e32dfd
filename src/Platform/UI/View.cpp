#include "Platform/UI/View.h"

#include "Platform/Core/Exception.h"
#include "Platform/UI/Application.h"
#include "Platform/UI/Checks.h"
#include "Platform/UI/GestureRecognizer.h"
#include "Platform/UI/LiveObjects.h"
#include "Platform/UI/ViewAnimation.h"
#include "Platform/UI/Window.h"

#include <utility>
#include <algorithm>
#include <fmt/format.h>

namespace ui {

std::shared_ptr<View> View::create(const gfx::Rect& frame)
{
    return make<View>(frame);
}

View::View()
{
    ++LiveObjects::views;
}

// Subviews that outlive their tree must not point at its window. A subtree
// already cleared stops the walk, so a whole tree's teardown stays linear.
void View::forgetWindowInSubtree()
{
    if (!m_window)
        return;
    m_window = nullptr;
    for (auto& subview : m_subviews)
        subview->forgetWindowInSubtree();
}

View::~View()
{
    for (auto& subview : m_subviews) {
        subview->m_superview = nullptr;
        subview->forgetWindowInSubtree();
    }
    for (auto& recognizer : m_recognizers)
        recognizer->setView(nullptr);
    if (m_layer) {
        m_layer->m_view = nullptr;
        m_layer->removeFromSuperlayer();
    }
    --LiveObjects::views;
}

std::shared_ptr<Layer> View::makeLayer() const
{
    return Layer::create();
}

const std::shared_ptr<Layer>& View::sharedLayer() const
{
    if (!m_layer) {
        m_layer = makeLayer();
        if (!m_layer)
            m_layer = Layer::create();
        m_layer->m_view = const_cast<View*>(this);
        m_layer->m_needsDisplay = true; // drawn once when first rendered
    }
    return m_layer;
}

Layer& View::layer() const
{
    return *sharedLayer();
}

gfx::Rect View::frame() const
{
    return layer().frame();
}

void View::setFrame(const gfx::Rect& frame)
{
    requireMainThread("View::setFrame");
    requireFinite(frame, "View::setFrame");
    Layer& l = layer();
    gfx::Rect oldBounds = l.bounds();
    gfx::Point oldPosition = l.position();
    l.setFrame(frame);
    if (ViewAnimation::isRecording()) {
        if (l.bounds() != oldBounds)
            ViewAnimation::record(l, "bounds", oldBounds, l.bounds());
        if (l.position() != oldPosition)
            ViewAnimation::record(l, "position", oldPosition, l.position());
    }
    if (l.bounds().size != oldBounds.size)
        boundsSizeChanged(oldBounds.size);
}

gfx::Rect View::bounds() const
{
    return layer().bounds();
}

void View::setBounds(const gfx::Rect& bounds)
{
    requireMainThread("View::setBounds");
    requireFinite(bounds, "View::setBounds");
    Layer& l = layer();
    gfx::Rect old = l.bounds();
    l.setBounds(bounds);
    if (old != bounds)
        ViewAnimation::record(l, "bounds", old, bounds);
    if (old.size != bounds.size)
        boundsSizeChanged(old.size);
}

gfx::Point View::center() const
{
    return layer().position();
}

void View::setCenter(gfx::Point center)
{
    requireMainThread("View::setCenter");
    requireFinite(center, "View::setCenter");
    Layer& l = layer();
    gfx::Point old = l.position();
    l.setPosition(center);
    if (old != center)
        ViewAnimation::record(l, "position", old, center);
}

gfx::AffineTransform View::transform() const
{
    return layer().affineTransform();
}

void View::setTransform(const gfx::AffineTransform& transform)
{
    requireMainThread("View::setTransform");
    requireFinite(transform, "View::setTransform");
    Layer& l = layer();
    gfx::AffineTransform old = l.affineTransform();
    l.setAffineTransform(transform);
    if (!(old == transform))
        ViewAnimation::record(l, "transform", old, transform);
}

float View::alpha() const
{
    return layer().opacity();
}

void View::setAlpha(float alpha)
{
    requireMainThread("View::setAlpha");
    Layer& l = layer();
    float old = l.opacity();
    l.setOpacity(alpha);
    if (old != l.opacity())
        ViewAnimation::record(l, "opacity", old, l.opacity());
}

bool View::isHidden() const
{
    return layer().isHidden();
}

void View::setHidden(bool hidden)
{
    requireMainThread("View::setHidden");
    layer().setHidden(hidden);
}

gfx::Color View::backgroundColor() const
{
    return layer().backgroundColor();
}

void View::setBackgroundColor(const gfx::Color& color)
{
    requireMainThread("View::setBackgroundColor");
    Layer& l = layer();
    gfx::Color old = l.backgroundColor();
    l.setBackgroundColor(color);
    if (!(old == color))
        ViewAnimation::record(l, "backgroundColor", old, color);
    setNeedsDisplay();
}

bool View::clipsToBoundsForTesting() const
{
    return layer().masksToBounds();
}

void View::setClipsToBounds(bool clips)
{
    layer().setMasksToBounds(clips);
}

void View::setContentMode(ContentMode mode)
{
    if (int(mode) < 0 || int(mode) > 12)
        throw core::Exception(core::Exception::InvalidArgument, fmt::format("View::setContentMode: {} is no content mode", int(mode)));
    m_contentMode = mode;
}

void View::boundsSizeChanged(gfx::Size oldSize)
{
    if (m_autoresizesSubviews)
        resizeSubviews(oldSize);
    setNeedsLayout();
}

namespace {

// A tree of thousands of views outgrows the processor's caches: while one
// subview is worked on, the memory of the next ones is asked for.
void prefetchView(const std::vector<std::shared_ptr<View>>& subviews, size_t index)
{
    if (index >= subviews.size())
        return;
    const char* view = reinterpret_cast<const char*>(subviews[index].get());
    for (size_t offset = 0; offset < sizeof(View); offset += 64)
        __builtin_prefetch(view + offset);
}

void prefetchLayer(const Layer* layer)
{
    const char* bytes = reinterpret_cast<const char*>(layer);
    for (size_t offset = 0; layer && offset < sizeof(Layer); offset += 64)
        __builtin_prefetch(bytes + offset);
}

// One axis of autoresizing: the change shared among the flexible parts in
// proportion to their lengths (equally when all are 0).
void shareChange(float delta, bool leadFlexible, bool sizeFlexible, bool trailFlexible, float& lead, float& size,
    float& trail)
{
    float* parts[3] = { &lead, &size, &trail };
    bool flexible[3] = { leadFlexible, sizeFlexible, trailFlexible };
    float total = 0;
    int count = 0;
    for (int i = 0; i < 3; ++i) {
        if (flexible[i]) {
            total += std::max(0.0f, *parts[i]);
            ++count;
        }
    }
    if (count == 0 || delta == 0)
        return;
    for (int i = 0; i < 3; ++i) {
        if (!flexible[i])
            continue;
        float share = total > 0 ? std::max(0.0f, *parts[i]) / total : 1.0f / float(count);
        *parts[i] += delta * share;
    }
}

} // namespace

void View::resizeSubviews(gfx::Size oldSize)
{
    gfx::Size newSize = bounds().size;
    auto subviews = m_subviews;
    for (size_t i = 0; i < subviews.size(); ++i) {
        const auto& subview = subviews[i];
        prefetchView(subviews, i + 2);
        // The next view came in during the last turn: its layer can follow.
        if (i + 1 < subviews.size())
            prefetchLayer(subviews[i + 1]->m_layer.get());
        unsigned mask = subview->m_autoresizingMask;
        if (mask == None)
            continue;
        gfx::Rect f = subview->frame();
        float left = f.origin.x, width = f.size.width, right = oldSize.width - f.origin.x - f.size.width;
        float top = f.origin.y, height = f.size.height, bottom = oldSize.height - f.origin.y - f.size.height;
        shareChange(newSize.width - oldSize.width, mask & FlexibleLeftMargin, mask & FlexibleWidth,
            mask & FlexibleRightMargin, left, width, right);
        shareChange(newSize.height - oldSize.height, mask & FlexibleTopMargin, mask & FlexibleHeight,
            mask & FlexibleBottomMargin, top, height, bottom);
        gfx::Rect resized(left, top, width, height);
        if (resized != f)
            subview->setFrame(resized);
    }
}

// Hierarchy

size_t View::indexOfSubview(const View* view) const
{
    for (size_t i = 0; i < m_subviews.size(); ++i)
        if (m_subviews[i].get() == view)
            return i;
    return m_subviews.size();
}

bool View::isDescendantOfView(const View* view) const
{
    for (const View* v = this; v; v = v->m_superview)
        if (v == view)
            return true;
    return false;
}

void View::addSubview(const std::shared_ptr<View>& view)
{
    insertSubview(view, m_subviews.size());
}

void View::insertSubviewBelow(const std::shared_ptr<View>& view, const View* sibling)
{
    insertSubview(view, indexOfSubview(sibling));
}

void View::insertSubview(const std::shared_ptr<View>& viewReference, size_t index)
{
    // The argument may be an element of m_subviews itself.
    std::shared_ptr<View> view = viewReference;
    requireMainThread("View::insertSubview");
    if (!view)
        throw core::Exception(core::Exception::InvalidArgument, "View::addSubview: no view");
    if (isDescendantOfView(view.get()))
        throw core::Exception(core::Exception::InvalidArgument,
            fmt::format("View::addSubview: {} cannot be added to itself or to one of its descendants", view->description()));
    if (view->m_superview == this) {
        // A move among siblings: no move hooks.
        size_t current = indexOfSubview(view.get());
        m_subviews.erase(m_subviews.begin() + long(current));
        if (index > current)
            --index;
        index = std::min(index, m_subviews.size());
        m_subviews.insert(m_subviews.begin() + long(index), view);
        placeLayerOf(view.get(), index);
        return;
    }
    if (view->m_superview)
        view->removeFromSuperview();
    insertSubviewAtIndex(view, std::min(index, m_subviews.size()));
}

void View::insertSubviewAtIndex(const std::shared_ptr<View>& view, size_t index)
{
    view->willMoveToSuperview(this);
    m_subviews.insert(m_subviews.begin() + long(index), view);
    view->m_superview = this;
    placeLayerOf(view.get(), index);
    if (view->m_window != m_window)
        view->moveToWindow(m_window);
    view->didMoveToSuperview();
    didAddSubview(view.get());
    view->setNeedsLayout();
}

// The subview's layer goes right below its following sibling's layer, or on
// top when it is the front subview, so that standalone sublayers keep their
// places between view layers.
void View::placeLayerOf(View* view, size_t index)
{
    Layer& own = layer();
    const auto& sublayer = view->sharedLayer();
    if (index + 1 < m_subviews.size())
        own.insertSublayer(sublayer, own.indexOfSublayer(&m_subviews[index + 1]->layer()));
    else
        own.addSublayer(sublayer);
}

void View::removeFromSuperview()
{
    requireMainThread("View::removeFromSuperview");
    View* super = m_superview;
    if (!super)
        return;
    auto self = std::static_pointer_cast<View>(shared_from_this());
    super->willRemoveSubview(this);
    willMoveToSuperview(nullptr);
    if (m_window)
        moveToWindow(nullptr);
    super->detachSubview(this);
    didMoveToSuperview();
}

std::shared_ptr<View> View::detachSubview(const View* view)
{
    size_t index = indexOfSubview(view);
    if (index == m_subviews.size())
        return nullptr;
    auto removed = m_subviews[index];
    m_subviews.erase(m_subviews.begin() + long(index));
    removed->m_superview = nullptr;
    removed->layer().removeFromSuperlayer();
    return removed;
}

void View::moveToWindow(Window* window)
{
    Window* old = m_window;
    if (old && !window)
        old->subtreeWillLeave(this);
    std::vector<std::shared_ptr<View>> subtree { std::static_pointer_cast<View>(shared_from_this()) };
    visitDescendants([&](const std::shared_ptr<View>& view) { subtree.push_back(view); });
    for (auto& view : subtree)
        view->willMoveToWindow(window);
    for (auto& view : subtree)
        view->m_window = window;
    for (auto& view : subtree)
        view->didMoveToWindow();
}

void View::bringSubviewToFront(const View* view)
{
    size_t index = indexOfSubview(view);
    if (index < m_subviews.size())
        insertSubview(m_subviews[index], m_subviews.size());
}

void View::sendSubviewToBack(const View* view)
{
    size_t index = indexOfSubview(view);
    if (index < m_subviews.size())
        insertSubview(m_subviews[index], 0);
}

View* View::viewWithTag(int tag)
{
    if (m_tag == tag)
        return this;
    for (auto& subview : m_subviews)
        if (View* found = subview->viewWithTag(tag))
            return found;
    return nullptr;
}

void View::visitDescendants(const std::function<void(const std::shared_ptr<View>&)>& visit) const
{
    for (auto& subview : m_subviews) {
        visit(subview);
        subview->visitDescendants(visit);
    }
}

// Layout

void View::setNeedsLayout()
{
    m_needsLayout = true;
    for (View* v = m_superview; v && !v->m_subtreeNeedsLayout; v = v->m_superview)
        v->m_subtreeNeedsLayout = true;
    if (auto* application = Application::shared())
        application->scheduleLayoutPass();
}

void View::layoutIfNeeded()
{
    requireMainThread("View::layoutIfNeeded");
    auto self = shared_from_this();
    layoutSubtree();
}

void View::layoutSubtree()
{
    if (m_needsLayout) {
        m_needsLayout = false;
        layoutSubviews();
    }
    if (!std::exchange(m_subtreeNeedsLayout, false))
        return;
    auto subviews = m_subviews;
    for (size_t i = 0; i < subviews.size(); ++i) {
        prefetchView(subviews, i + 1);
        if (subviews[i]->m_needsLayout || subviews[i]->m_subtreeNeedsLayout)
            subviews[i]->layoutSubtree();
    }
}

gfx::Size View::sizeThatFits(gfx::Size) const
{
    return bounds().size;
}

void View::sizeToFit()
{
    gfx::Rect f = frame();
    f.size = sizeThatFits(f.size);
    setFrame(f);
}

// Drawing

void View::setNeedsDisplay()
{
    m_needsDisplay = true;
    if (m_layer) // a layer made later starts marked; constructors must not make it early
        m_layer->setNeedsDisplay();
}

void View::setNeedsDisplayIncludingSubviews()
{
    setNeedsDisplay();
    visitDescendants([](const std::shared_ptr<View>& view) { view->setNeedsDisplay(); });
}

void View::setNeedsDisplayInRect(const gfx::Rect& rect)
{
    m_needsDisplay = true;
    if (m_layer)
        m_layer->setNeedsDisplayInRect(rect);
}

void View::displayIfNeeded(gfx::Context& context)
{
    if (!std::exchange(m_needsDisplay, false))
        return;
    draw(context, bounds());
}

void View::draw(gfx::Context&, const gfx::Rect&)
{
    layer().m_baseDrawCalled = true; // tells the renderer the view has no drawing of its own
}

// Hit testing

View* View::hitTest(gfx::Point point, const Event* event)
{
    if (isHidden() || !m_userInteractionEnabled || alpha() <= 0.01f)
        return nullptr;
    if (!pointInside(point, event))
        return nullptr;
    for (auto it = m_subviews.rbegin(); it != m_subviews.rend(); ++it) {
        View* subview = it->get();
        gfx::Point local = subview->layer().transformToSuperlayer().inverted().apply(point);
        if (View* hit = subview->hitTest(local, event))
            return hit;
    }
    return this;
}

bool View::pointInside(gfx::Point point, const Event*) const
{
    return bounds().contains(point);
}

// Conversions

namespace {

const Layer* layerOrWindow(const View* view, const View* self)
{
    if (view)
        return &view->layer();
    if (self->window())
        return &static_cast<const View*>(self->window())->layer();
    return nullptr;
}

} // namespace

gfx::Point View::convertPoint(gfx::Point point, const View* to) const
{
    return layer().convertPoint(point, layerOrWindow(to, this));
}

gfx::Point View::convertPointFrom(gfx::Point point, const View* from) const
{
    const Layer* source = layerOrWindow(from, this);
    return source ? source->convertPoint(point, &layer()) : layer().transformToRoot().inverted().apply(point);
}

gfx::Rect View::convertRect(const gfx::Rect& rect, const View* to) const
{
    return layer().convertRect(rect, layerOrWindow(to, this));
}

gfx::Rect View::convertRectFrom(const gfx::Rect& rect, const View* from) const
{
    const Layer* source = layerOrWindow(from, this);
    return source ? source->convertRect(rect, &layer()) : layer().transformToRoot().inverted().apply(rect);
}

// Gesture recognizers

void View::addGestureRecognizer(const std::shared_ptr<GestureRecognizer>& recognizer)
{
    requireMainThread("View::addGestureRecognizer");
    if (!recognizer)
        throw core::Exception(core::Exception::InvalidArgument, "View::addGestureRecognizer: no recognizer");
    if (recognizer->view() == this)
        return;
    auto keep = recognizer;
    if (View* old = recognizer->view())
        old->removeGestureRecognizer(recognizer.get());
    m_recognizers.push_back(recognizer);
    recognizer->setView(this);
}

void View::removeGestureRecognizer(const GestureRecognizer* recognizer)
{
    requireMainThread("View::removeGestureRecognizer");
    auto it = std::find_if(m_recognizers.begin(), m_recognizers.end(), [&](auto& r) { return r.get() == recognizer; });
    if (it == m_recognizers.end())
        return;
    auto removed = *it;
    m_recognizers.erase(it);
    removed->setView(nullptr);
}

Responder* View::nextResponder() const
{
    if (m_controller)
        return m_controller;
    return m_superview;
}

std::string View::description() const
{
    auto f = frame();
    return fmt::format("<{}: {}; frame = ({} {}; {} {})>", className(), static_cast<const void*>(this), f.origin.x,
        f.origin.y, f.size.width, f.size.height);
}

} // namespace ui
