#include "Platform/UI/DamageTracker.h"

#include "Platform/Core/Clock.h"
#include "Platform/Core/RunLoop.h"
#include "Platform/UI/Application.h"
#include "Platform/UI/Checks.h"
#include "Platform/UI/Layer.h"
#include "Platform/UI/LayerDisplayMarks.h"
#include "Platform/UI/Screen.h"
#include "Platform/UI/TiledLayer.h"
#include "Platform/UI/Window.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace ui {

namespace {

// Beyond this many rectangles after dropping covered ones, pairing them up
// costs more than redrawing their bounding box.
constexpr size_t PairingLimit = 64;

class Signature {
public:
    void add(float value)
    {
        uint32_t bits;
        std::memcpy(&bits, &value, sizeof bits);
        add(uint64_t(bits));
    }
    void add(uint64_t value)
    {
        m_hash ^= value + 0x9e3779b97f4a7c15ull + (m_hash << 6) + (m_hash >> 2);
    }
    void add(const void* pointer) { add(uint64_t(reinterpret_cast<uintptr_t>(pointer))); }
    void add(const gfx::Rect& rect)
    {
        add(rect.origin.x), add(rect.origin.y), add(rect.size.width), add(rect.size.height);
    }
    void add(const gfx::Color& color) { add(uint64_t(color.hash())); }
    uint64_t value() const { return m_hash; }

private:
    uint64_t m_hash = 0xcbf29ce484222325ull;
};

bool runs(const LayerAnimation& animation, double time)
{
    if (std::isinf(animation.repeatCount) && animation.repeatCount > 0)
        return true;
    return time < animation.beginTime + animation.activeDuration();
}

gfx::Rect outward(const gfx::Rect& rect)
{
    float x0 = std::floor(rect.minX()), y0 = std::floor(rect.minY());
    float x1 = std::ceil(rect.maxX()), y1 = std::ceil(rect.maxY());
    return { x0, y0, x1 - x0, y1 - y0 };
}

double area(const gfx::Rect& rect)
{
    return rect.isEmpty() ? 0 : double(rect.width()) * rect.height();
}

} // namespace

DamageTracker::DamageTracker() = default;
DamageTracker::~DamageTracker() = default;

std::vector<gfx::Rect> DamageTracker::collect()
{
    return collect(core::RunLoop::main().clock()->monotonic());
}

std::vector<gfx::Rect> DamageTracker::collect(double time)
{
    requireMainThread("DamageTracker::collect");
    gfx::Rect screen = Screen::main()->bounds();
    std::vector<gfx::Rect> damage;
    ++m_walk;
    m_animating = false;
    m_transitionStarting = false;
    auto windows = Window::windowsFrontToBack();
    size_t index = 0;
    for (auto it = windows.rbegin(); it != windows.rend(); ++it, ++index)
        visit((*it)->layer(), gfx::AffineTransform::identity(), screen, index, time, damage);
    // Layers no longer shown: their old place.
    for (auto it = m_entries.begin(); it != m_entries.end();) {
        if (it->second.walk != m_walk) {
            damage.push_back(it->second.rect);
            it = m_entries.erase(it);
        } else {
            ++it;
        }
    }
    if (auto* application = Application::shared()) {
        Signature bar;
        float alpha = application->statusBarAlphaAt(time);
        bar.add(alpha);
        bar.add(uint64_t(application->statusBarStyle()));
        bar.add(application->statusBarFrameWhenShown());
        if (bar.value() != m_statusBar) {
            m_statusBar = bar.value();
            damage.push_back(application->statusBarFrameWhenShown());
        }
        if (alpha != application->statusBarAlphaAt(time + 1))
            m_animating = true;
    }
    if (std::exchange(m_all, false))
        return { screen };
    return merge(std::move(damage), screen);
}

void DamageTracker::visit(Layer& layer, const gfx::AffineTransform& toScreen, const gfx::Rect& clip, size_t index,
    double time, std::vector<gfx::Rect>& damage)
{
    if (layer.isHidden())
        return;
    LayerState state = layer.presentationAt(time);
    if (state.opacity <= 0)
        return;
    gfx::AffineTransform transform = state.transformToSuperlayer().concatenating(toScreen);
    gfx::Rect rect = transform.apply(state.bounds).intersection(clip);

    Signature signature;
    signature.add(rect);
    // Where it lies on the screen, not only what of it shows: a picture
    // larger than its clip that pans keeps the same clipped rectangle.
    signature.add(transform.a), signature.add(transform.b), signature.add(transform.c), signature.add(transform.d);
    signature.add(transform.tx), signature.add(transform.ty);
    signature.add(state.bounds);
    signature.add(state.transform.a), signature.add(state.transform.b), signature.add(state.transform.c);
    signature.add(state.transform.d);
    signature.add(state.opacity);
    signature.add(state.backgroundColor);
    signature.add(state.cornerRadius);
    signature.add(layer.contents().get());
    signature.add(uint64_t(std::hash<std::string>()(layer.contentsGravity())));
    signature.add(uint64_t(layer.masksToBounds()));
    signature.add(LayerDisplayMarks::count(&layer));
    signature.add(uint64_t(index));

    bool animating = false;
    for (auto& key : layer.animationKeys()) {
        auto animation = layer.animationForKey(key);
        if (!animation || !runs(*animation, time))
            continue;
        animating = true;
        if (!animation->transitionType.empty() && !animation->startPictureTaken)
            m_transitionStarting = true;
    }
    if (auto* tiled = dynamic_cast<TiledLayer*>(&layer); tiled && tiled->isFadingAt(time))
        animating = true;
    m_animating = m_animating || animating;

    auto [it, added] = m_entries.try_emplace(&layer);
    Entry& entry = it->second;
    auto self = layer.weak_from_this();
    bool reused = !added && (entry.layer.owner_before(self) || self.owner_before(entry.layer));
    // An animation that just ended is drawn once more at its end: a
    // transition's model values never changed, and the last frame drawn
    // showed it short of its end (a fade's old picture a few percent through).
    bool ended = entry.animating && !animating;
    if (added || reused || entry.signature != signature.value() || animating || ended) {
        if (!added)
            damage.push_back(entry.rect);
        damage.push_back(rect);
    }
    entry.layer = self;
    entry.rect = rect;
    entry.signature = signature.value();
    entry.walk = m_walk;
    entry.animating = animating;

    gfx::Rect inner = clip;
    if (layer.masksToBounds())
        inner = rect;
    size_t childIndex = 0;
    for (auto& sublayer : layer.sublayers())
        visit(*sublayer, transform, inner, childIndex++, time, damage);
}

std::vector<gfx::Rect> DamageTracker::merge(std::vector<gfx::Rect> rects, const gfx::Rect& screen)
{
    std::vector<gfx::Rect> kept;
    for (auto& rect : rects) {
        gfx::Rect r = outward(rect.intersection(screen));
        if (!r.isEmpty())
            kept.push_back(r);
    }
    // Drop rectangles another one covers (equal ones once).
    std::vector<gfx::Rect> distinct;
    std::sort(kept.begin(), kept.end(), [](const gfx::Rect& a, const gfx::Rect& b) { return area(a) > area(b); });
    for (auto& rect : kept) {
        bool covered = std::any_of(distinct.begin(), distinct.end(),
            [&](const gfx::Rect& other) { return other.contains(rect); });
        if (!covered)
            distinct.push_back(rect);
    }
    if (distinct.size() > PairingLimit) {
        gfx::Rect box = distinct.front();
        for (auto& rect : distinct)
            box = box.unionRect(rect);
        distinct = { box };
    }
    while (distinct.size() > MaximumRects) {
        size_t bestI = 0, bestJ = 1;
        double bestCost = -1;
        for (size_t i = 0; i < distinct.size(); ++i)
            for (size_t j = i + 1; j < distinct.size(); ++j) {
                double cost = area(distinct[i].unionRect(distinct[j])) - area(distinct[i]) - area(distinct[j]);
                if (bestCost < 0 || cost < bestCost)
                    bestCost = cost, bestI = i, bestJ = j;
            }
        distinct[bestI] = distinct[bestI].unionRect(distinct[bestJ]);
        distinct.erase(distinct.begin() + long(bestJ));
    }
    double covered = 0;
    for (auto& rect : distinct)
        covered += area(rect);
    if (covered > area(screen) / 2)
        return { screen };
    return distinct;
}

} // namespace ui
