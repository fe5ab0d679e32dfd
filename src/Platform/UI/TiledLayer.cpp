#include "Platform/UI/TiledLayer.h"

#include "Platform/Core/Clock.h"
#include "Platform/Core/Exception.h"
#include "Platform/Core/Log.h"
#include "Platform/Core/MainThread.h"
#include "Platform/Core/RunLoop.h"
#include "Platform/Core/Thread.h"
#include "Platform/Graphics/BitmapContext.h"
#include "Platform/Graphics/Image.h"
#include "Platform/UI/Checks.h"
#include "Platform/UI/LayerDisplayMarks.h"
#include "Platform/UI/Screen.h"
#include "Platform/UI/Window.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <deque>
#include <fmt/format.h>
#include <mutex>
#include <thread>

namespace ui {

namespace {

// The shared workers: started when jobs come, gone after a while with
// none (a thread made for every page turned would start each drawing cold).
struct Pool {
    static constexpr auto IdleLifetime = std::chrono::seconds(2);
    std::mutex mutex;
    std::condition_variable wake;
    std::deque<std::function<void()>> jobs;
    std::deque<std::function<void()>> aheadJobs; // taken only when no other waits
    int running = 0;
    int idle = 0;
    int signalled = 0; // idle workers woken for a job and not up yet
    bool retiring = false; // no waiting after the last job
    int limit = defaultLimit();
    uint64_t epoch = 0; // bumped by a reset: older jobs are dropped
    std::atomic<uint64_t> drawn { 0 };
    std::atomic<uint64_t> dropped { 0 };

    // Half the cores, two to four: a spread's pages or a zoomed page's
    // tiles draw side by side, and the other half stays with the rest.
    static int defaultLimit()
    {
        return std::clamp(int(std::thread::hardware_concurrency() / 2), 2, 4);
    }

    bool empty() const { return jobs.empty() && aheadJobs.empty(); }

    void add(std::function<void()> job, bool ahead)
    {
        bool wakeIdle = false;
        {
            std::lock_guard lock(mutex);
            (ahead ? aheadJobs : jobs).push_back(std::move(job));
            retiring = false;
            if (idle > signalled) {
                ++signalled;
                wakeIdle = true;
            } else if (running < limit) {
                ++running;
                core::Thread::detach("ui.tiles", [this] { work(); });
            }
        }
        // Woken after the lock is let go, the worker does not wake only to
        // wait for it. It counted itself idle under the lock before it began
        // to wait, so it hears this.
        if (wakeIdle)
            wake.notify_one();
    }

    void work()
    {
        for (;;) {
            std::function<void()> job;
            {
                std::unique_lock lock(mutex);
                if (empty() && !retiring) {
                    ++idle;
                    wake.wait_for(lock, IdleLifetime);
                    --idle;
                    signalled = std::max(0, signalled - 1);
                }
                // Still nothing to do after a wait, or told to go
                // (endIdleWorkers): the worker goes.
                if (empty() || running > limit) {
                    --running;
                    return;
                }
                // Newest first: the tiles just asked for are the ones on
                // screen; older ones are checked and mostly dropped. Tiles
                // ahead wait for every visible one.
                auto& from = jobs.empty() ? aheadJobs : jobs;
                job = std::move(from.back());
                from.pop_back();
            }
            job();
        }
    }
};

Pool& pool()
{
    static Pool* shared = new Pool; // never destroyed: workers may still read it at exit
    return *shared;
}

std::vector<std::weak_ptr<TiledLayer>>& allTiledLayers()
{
    static std::vector<std::weak_ptr<TiledLayer>> layers;
    return layers;
}

// One use clock over all layers, so the budget can tell which tile was
// shown least recently whatever layer holds it.
uint64_t nextUse()
{
    static uint64_t clock = 0;
    return ++clock;
}

// Whether the layer's tree hangs in a window (only those are shown).
bool inWindow(const Layer& layer)
{
    const Layer* root = &layer;
    while (root->superlayer())
        root = root->superlayer();
    return root->view() && dynamic_cast<Window*>(root->view());
}

double tileNow()
{
    return core::RunLoop::main().clock()->monotonic();
}

} // namespace

std::shared_ptr<TiledLayer> TiledLayer::create()
{
    auto layer = std::make_shared<TiledLayer>();
    layer->enroll();
    return layer;
}

void TiledLayer::enroll()
{
    if (std::exchange(m_enrolled, true))
        return;
    auto& all = allTiledLayers();
    std::erase_if(all, [](const std::weak_ptr<TiledLayer>& weak) { return weak.expired(); });
    all.push_back(std::static_pointer_cast<TiledLayer>(shared_from_this()));
}

TiledLayer::TiledLayer() = default;
TiledLayer::~TiledLayer() = default;

void TiledLayer::setTileSize(gfx::Size size)
{
    if (!(size.width >= 16 && size.width <= 4096 && size.height >= 16 && size.height <= 4096))
        throw core::Exception(core::Exception::InvalidArgument,
            fmt::format("TiledLayer::setTileSize: {} × {} is outside 16…4096", size.width, size.height));
    m_tileSize = { std::round(size.width), std::round(size.height) };
    m_tiles.clear();
}

void TiledLayer::setLevelsOfDetail(int levels)
{
    if (levels < 1)
        throw core::Exception(core::Exception::InvalidArgument,
            fmt::format("TiledLayer::setLevelsOfDetail: {} is below 1", levels));
    m_levels = levels;
}

int TiledLayer::levelForScale(float scale) const
{
    int level = scale > 0 && std::isfinite(scale) ? int(std::ceil(std::log2(scale / m_levelAnchor) - 1e-4)) : m_bias;
    return std::clamp(level, m_bias - m_levels + 1, m_bias);
}

float TiledLayer::scaleOfLevel(int level) const
{
    return m_levelAnchor * std::ldexp(1.0f, level);
}

gfx::Size TiledLayer::tilePointSize(int level) const
{
    float scale = scaleOfLevel(level);
    return { m_tileSize.width / scale, m_tileSize.height / scale };
}

void TiledLayer::anchorLevels(float scale)
{
    // Tiles and jobs in flight are keyed by level: the anchor moves only
    // when there are none.
    if (!m_anchorsLevels || m_pending > 0 || !(scale > 0) || !std::isfinite(scale))
        return;
    // A layer not on screen yet (a page made ahead, before its zoom is set)
    // does not know the scale it will show at.
    if ((m_drawsAhead ? nearRect() : visibleRect()).isEmpty())
        return;
    if (std::any_of(m_tiles.begin(), m_tiles.end(), [](const auto& item) { return item.second.image != nullptr; }))
        return;
    float anchor = scale / std::ldexp(1.0f, int(std::ceil(std::log2(scale) - 1e-4)));
    if (anchor > 0.5f && anchor <= 1.0f && anchor != m_levelAnchor) {
        m_levelAnchor = anchor;
        m_tiles.clear();
    }
}

float TiledLayer::scaleOnScreen() const
{
    gfx::AffineTransform t = transformToRoot();
    float scale = std::sqrt(std::fabs(t.a * t.d - t.b * t.c));
    return scale * Screen::main()->scale();
}

gfx::Rect TiledLayer::visibleRect() const
{
    gfx::Rect visible = bounds();
    for (const Layer* ancestor = superlayer(); ancestor; ancestor = ancestor->superlayer()) {
        if (ancestor->masksToBounds() || !ancestor->superlayer())
            visible = visible.intersection(ancestor->convertRect(ancestor->bounds(), this));
        if (visible.isNull())
            return visible;
    }
    return visible;
}

gfx::Rect TiledLayer::nearRect() const
{
    gfx::Rect near = bounds();
    for (const Layer* ancestor = superlayer(); ancestor; ancestor = ancestor->superlayer()) {
        if (ancestor->masksToBounds() || !ancestor->superlayer()) {
            gfx::Rect b = ancestor->bounds();
            near = near.intersection(ancestor->convertRect(b.insetBy(-b.width(), -b.height()), this));
        }
        if (near.isNull())
            return near;
    }
    return near;
}

std::vector<TiledLayer::Key> TiledLayer::tilesMeeting(const gfx::Rect& rect, int level, double limit) const
{
    std::vector<Key> keys;
    if (rect.isEmpty())
        return keys;
    gfx::Size tile = tilePointSize(level);
    gfx::Rect b = bounds();
    int firstColumn = std::max(0, int(std::floor((rect.minX() - b.minX()) / tile.width)));
    int lastColumn = int(std::ceil((rect.maxX() - b.minX()) / tile.width)) - 1;
    int firstRow = std::max(0, int(std::floor((rect.minY() - b.minY()) / tile.height)));
    int lastRow = int(std::ceil((rect.maxY() - b.minY()) / tile.height)) - 1;
    if (double(lastRow - firstRow + 1) * double(lastColumn - firstColumn + 1) > limit)
        return keys;
    for (int row = firstRow; row <= lastRow; ++row)
        for (int column = firstColumn; column <= lastColumn; ++column)
            keys.emplace_back(level, column, row);
    return keys;
}

std::vector<std::tuple<int, int, int>> TiledLayer::visibleTiles() const
{
    gfx::Rect visible = visibleRect();
    if (visible.isEmpty())
        return {};
    return tilesMeeting(visible, levelForScale(scaleOnScreen()), INFINITY);
}

gfx::Rect TiledLayer::rectOfTile(const Key& key) const
{
    auto [level, column, row] = key;
    gfx::Size tile = tilePointSize(level);
    gfx::Rect b = bounds();
    return gfx::Rect(b.minX() + float(column) * tile.width, b.minY() + float(row) * tile.height, tile.width,
        tile.height).intersection(b);
}

void TiledLayer::setNeedsDisplay()
{
    for (auto& [key, tile] : m_tiles)
        tile.wanted = tile.drawn + 1;
}

void TiledLayer::setNeedsDisplayInRect(const gfx::Rect& rect)
{
    for (auto& [key, tile] : m_tiles)
        if (rectOfTile(key).intersects(rect))
            tile.wanted = tile.drawn + 1;
}

void TiledLayer::queue(const Key& key, Tile& tile)
{
    if (tile.queued || tile.drawn >= tile.wanted)
        return;
    gfx::Rect rect = rectOfTile(key);
    if (rect.isEmpty())
        return;
    tile.queued = true;
    ++m_pending;
    std::weak_ptr<TiledLayer> weakSelf = std::static_pointer_cast<TiledLayer>(shared_from_this());
    uint64_t generation = tile.wanted;
    float scale = scaleOfLevel(std::get<0>(key));
    gfx::Color background = tileBackgroundColor();
    bool ahead = std::find(m_visible.begin(), m_visible.end(), key) == m_visible.end();
    uint64_t epoch;
    {
        std::lock_guard lock(pool().mutex);
        epoch = pool().epoch;
    }
    pool().add([weakSelf, key, generation, rect, scale, background, epoch] {
        {
            std::lock_guard lock(pool().mutex);
            if (pool().epoch != epoch)
                return;
        }
        // A layer whose destruction began cannot be locked: it is not drawn.
        auto layer = weakSelf.lock();
        if (!layer)
            return;
        // Scrolled away while it waited: handed back undrawn.
        if (!layer->isWanted(key)) {
            ++pool().dropped;
            core::performOnMainThread([layer = std::move(layer), key]() mutable {
                layer->unqueue(key);
                layer.reset();
            });
            return;
        }
        ++pool().drawn;
        std::shared_ptr<gfx::Image> image;
        try {
            auto context = gfx::makeImageContext(rect.size, scale, background);
            if (context) {
                context->translateCTM(-rect.minX(), -rect.minY());
                context->clipToRect(rect);
                layer->drawInContext(*context);
                image = gfx::BitmapContext::takeImage(std::move(context));
            }
        } catch (const std::exception& e) {
            core::log("Tile drawing failed: {}", e.what());
            image = nullptr;
        }
        // The last reference may be ours: it goes with the tile to the main
        // thread, where the layer is installed into (or destroyed).
        core::performOnMainThread([layer = std::move(layer), key, generation, image = std::move(image)]() mutable {
            layer->install(key, generation, std::move(image));
            layer.reset();
        });
    }, ahead);
}

bool TiledLayer::isWanted(const Key& key) const
{
    std::lock_guard lock(m_wantedMutex);
    auto [level, column, row] = key;
    return (level == m_wantedLevel && column >= m_wantedColumns.first && column <= m_wantedColumns.second
               && row >= m_wantedRows.first && row <= m_wantedRows.second)
        || std::find(m_wantedAhead.begin(), m_wantedAhead.end(), key) != m_wantedAhead.end();
}

void TiledLayer::setWanted(const std::vector<Key>& visible)
{
    std::lock_guard lock(m_wantedMutex);
    m_wantedLevel = INT32_MIN;
    m_wantedColumns = { 0, -1 };
    m_wantedRows = { 0, -1 };
    if (visible.empty())
        return;
    // One tile beyond the visible ones on every side is still worth drawing.
    m_wantedLevel = std::get<0>(visible.front());
    m_wantedColumns = { INT32_MAX, INT32_MIN };
    m_wantedRows = { INT32_MAX, INT32_MIN };
    for (auto& [level, column, row] : visible) {
        m_wantedColumns = { std::min(m_wantedColumns.first, column - 1), std::max(m_wantedColumns.second, column + 1) };
        m_wantedRows = { std::min(m_wantedRows.first, row - 1), std::max(m_wantedRows.second, row + 1) };
    }
}

void TiledLayer::unqueue(const Key& key)
{
    if (m_pending > 0)
        --m_pending;
    if (auto it = m_tiles.find(key); it != m_tiles.end())
        it->second.queued = false;
}

void TiledLayer::install(const Key& key, uint64_t generation, std::shared_ptr<gfx::Image> image)
{
    if (m_pending > 0)
        --m_pending;
    auto it = m_tiles.find(key);
    if (it == m_tiles.end())
        return;
    Tile& tile = it->second;
    tile.queued = false;
    if (generation < tile.drawn)
        return;
    tile.drawn = generation;
    tile.image = std::move(image);
    tile.shownAt = tileNow();
    LayerDisplayMarks::note(this);
    // Tiles come in between frames too: the budget holds at all times.
    trimAllCaches();
}

bool TiledLayer::isFadingAt(double time) const
{
    double fade = fadeDuration();
    return fade > 0 && std::any_of(m_tiles.begin(), m_tiles.end(), [&](const auto& item) {
        return item.second.image && time < item.second.shownAt + fade;
    });
}

double TiledLayer::screenBudget()
{
    gfx::Rect screen = Screen::main()->bounds();
    float screenScale = Screen::main()->scale();
    return 4.0 * double(screen.width()) * screen.height() * screenScale * screenScale;
}

double TiledLayer::tilePixels(const Key& key) const
{
    if (auto it = m_tiles.find(key); it != m_tiles.end() && it->second.image)
        return double(it->second.image->pixelWidth()) * it->second.image->pixelHeight();
    gfx::Size size = rectOfTile(key).size;
    float scale = scaleOfLevel(std::get<0>(key));
    return std::ceil(double(size.width) * scale) * std::ceil(double(size.height) * scale);
}

void TiledLayer::trimAllCaches()
{
    double budget = screenBudget();
    double visiblePixels = 0, cached = 0;
    struct Candidate {
        bool ahead;
        uint64_t lastUse;
        std::shared_ptr<TiledLayer> layer;
        Key key;
        double pixels;
    };
    std::vector<Candidate> candidates;
    for (auto& weak : allTiledLayers()) {
        auto layer = weak.lock();
        if (!layer)
            continue;
        bool shown = inWindow(*layer);
        for (auto it = layer->m_tiles.begin(); it != layer->m_tiles.end();) {
            Tile& tile = it->second;
            // A layer out of every window keeps nothing but its jobs.
            if (!shown && !tile.queued) {
                it = layer->m_tiles.erase(it);
                continue;
            }
            double pixels = tile.image ? double(tile.image->pixelWidth()) * tile.image->pixelHeight() : 0;
            cached += pixels;
            bool visible = std::find(layer->m_visible.begin(), layer->m_visible.end(), it->first) != layer->m_visible.end();
            if (visible)
                visiblePixels += pixels;
            else if (!tile.queued)
                candidates.push_back({ std::find(layer->m_ahead.begin(), layer->m_ahead.end(), it->first) != layer->m_ahead.end(),
                    tile.lastUse, layer, it->first, pixels });
            ++it;
        }
    }
    double limit = std::max(budget, visiblePixels);
    if (cached <= limit)
        return;
    std::sort(candidates.begin(), candidates.end(),
        [](const Candidate& a, const Candidate& b) { return std::tie(a.ahead, a.lastUse) < std::tie(b.ahead, b.lastUse); });
    for (auto& candidate : candidates) {
        if (cached <= limit)
            break;
        candidate.layer->m_tiles.erase(candidate.key);
        cached -= candidate.pixels;
    }
}

size_t TiledLayer::cachedPixelsForTesting() const
{
    size_t pixels = 0;
    for (auto& [key, tile] : m_tiles)
        if (tile.image)
            pixels += size_t(tile.image->pixelWidth()) * size_t(tile.image->pixelHeight());
    return pixels;
}

void TiledLayer::drawTiles(gfx::Context& context, double time)
{
    requireMainThread("TiledLayer::drawTiles");
    auto visible = queueVisibleTiles();
    double fade = fadeDuration();
    for (auto& key : visible) {
        Tile& tile = m_tiles[key];
        if (!tile.image)
            continue;
        float alpha = fade > 0 ? float(std::clamp((time - tile.shownAt) / fade, 0.0, 1.0)) : 1.0f;
        if (alpha <= 0)
            continue;
        context.saveGState();
        context.setAlpha(context.alpha() * alpha);
        // Tiles meet on edges that a zoom puts between device pixels: drawn
        // with soft edges, each would let the background through the pixels
        // they share (a seam); drawn hard, they share them out exactly.
        context.setShouldAntialias(false);
        context.drawImage(rectOfTile(key), *tile.image);
        context.restoreGState();
    }
    trimAllCaches();
}

std::vector<TiledLayer::Key> TiledLayer::queueVisibleTiles()
{
    enroll();
    anchorLevels(scaleOnScreen());
    auto visible = visibleTiles();
    setWanted(visible);
    m_visible = visible;
    uint64_t use = nextUse();
    for (auto& key : visible) {
        Tile& tile = m_tiles[key];
        tile.lastUse = use;
        queue(key, tile);
    }
    return visible;
}

std::vector<TiledLayer::Key> TiledLayer::tilesNear(const std::vector<Key>& visible) const
{
    // The area ahead is a few views: a few hundred tiles at most are worth
    // listing, however small the tiles.
    auto keys = tilesMeeting(nearRect(), levelForScale(scaleOnScreen()), 256);
    std::erase_if(keys, [&](const Key& key) { return std::find(visible.begin(), visible.end(), key) != visible.end(); });
    return keys;
}

void TiledLayer::queueTilesAheadOfAll()
{
    requireMainThread("TiledLayer::queueTilesAheadOfAll");
    struct Candidate {
        float distance;
        std::shared_ptr<TiledLayer> layer;
        Key key;
        double pixels;
    };
    std::vector<std::shared_ptr<TiledLayer>> ahead;
    std::vector<std::vector<Key>> aheadVisible;
    std::vector<Candidate> candidates;
    double room = screenBudget();
    gfx::Point moved { 0, 0 };
    for (auto& weak : std::vector<std::weak_ptr<TiledLayer>>(allTiledLayers())) {
        auto layer = weak.lock();
        if (!layer || !inWindow(*layer))
            continue;
        if (!layer->m_drawsAhead) {
            for (auto& key : layer->m_visible)
                room -= layer->tilePixels(key);
            continue;
        }
        // Culled layers were not drawn: what they show is asked again.
        auto visible = layer->queueVisibleTiles();
        for (auto& key : visible)
            room -= layer->tilePixels(key);
        gfx::Point origin = layer->convertRect(layer->bounds(), nullptr).origin;
        if (layer->m_lastOrigin)
            moved = { moved.x + origin.x - layer->m_lastOrigin->x, moved.y + origin.y - layer->m_lastOrigin->y };
        layer->m_lastOrigin = origin;
        ahead.push_back(layer);
        aheadVisible.push_back(std::move(visible));
    }
    // The way the reader travels is the way the layers last moved, backwards
    // (content moving up is reading down): what lies behind comes after what
    // lies ahead, a screen further off.
    static gfx::Point travel { 0, 1 };
    if (std::fabs(moved.x) + std::fabs(moved.y) >= 1)
        travel = std::fabs(moved.y) >= std::fabs(moved.x) ? gfx::Point(0, moved.y < 0 ? 1.0f : -1.0f)
                                                          : gfx::Point(moved.x < 0 ? 1.0f : -1.0f, 0);
    for (size_t i = 0; i < ahead.size(); ++i) {
        auto& layer = ahead[i];
        const Layer* root = layer.get();
        while (root->superlayer())
            root = root->superlayer();
        gfx::Rect shown = root->bounds();
        for (auto& key : layer->tilesNear(aheadVisible[i])) {
            gfx::Rect r = layer->convertRect(layer->rectOfTile(key), root);
            float dx = std::max({ r.minX() - shown.maxX(), shown.minX() - r.maxX(), 0.0f });
            float dy = std::max({ r.minY() - shown.maxY(), shown.minY() - r.maxY(), 0.0f });
            bool behind = (travel.y > 0 && r.maxY() <= shown.minY()) || (travel.y < 0 && r.minY() >= shown.maxY())
                || (travel.x > 0 && r.maxX() <= shown.minX()) || (travel.x < 0 && r.minX() >= shown.maxX());
            float distance = dx + dy + (behind ? shown.width() + shown.height() : 0);
            candidates.push_back({ distance, layer, key, layer->tilePixels(key) });
        }
    }
    // Nearest to the window ahead first, and only what fits beside what shows
    // everywhere: a tile drawn ahead and then trimmed for want of room would
    // be drawn again at every frame.
    std::stable_sort(candidates.begin(), candidates.end(),
        [](const Candidate& a, const Candidate& b) { return a.distance < b.distance; });
    for (auto& layer : ahead)
        layer->m_ahead.clear();
    for (auto& candidate : candidates) {
        if (candidate.pixels > room)
            break;
        room -= candidate.pixels;
        candidate.layer->m_ahead.push_back(candidate.key);
    }
    uint64_t use = nextUse();
    for (auto& layer : ahead) {
        {
            std::lock_guard lock(layer->m_wantedMutex);
            layer->m_wantedAhead = layer->m_ahead;
        }
        for (auto& key : layer->m_ahead) {
            Tile& tile = layer->m_tiles[key];
            tile.lastUse = use;
            layer->queue(key, tile);
        }
    }
    trimAllCaches();
}

void TiledLayer::renderSynchronously(const std::vector<std::shared_ptr<TiledLayer>>& layers)
{
    // Every layer's tiles are queued before any is waited for, so the
    // workers draw them side by side.
    std::vector<std::vector<Key>> visible;
    for (auto& layer : layers)
        visible.push_back(layer->queueVisibleTiles());
    // Only the visible tiles are waited for: a tile still being drawn off
    // screen (a page that takes seconds) holds nobody up. One handed back
    // undrawn is asked for again.
    core::RunLoop::main().runUntil([&] {
        bool drawn = true;
        for (size_t i = 0; i < layers.size(); ++i) {
            TiledLayer& layer = *layers[i];
            for (auto& key : visible[i]) {
                auto it = layer.m_tiles.find(key);
                if (it == layer.m_tiles.end() || it->second.drawn >= it->second.wanted || layer.rectOfTile(key).isEmpty())
                    continue;
                drawn = false;
                layer.queue(key, it->second);
            }
        }
        return drawn;
    }, 60);
    // Shown at once: no fade for a picture asked for now.
    for (size_t i = 0; i < layers.size(); ++i)
        for (auto& key : visible[i])
            if (auto it = layers[i]->m_tiles.find(key); it != layers[i]->m_tiles.end())
                it->second.shownAt = -1e9;
    trimAllCaches();
}

void TiledLayer::renderVisibleTilesSynchronouslyForTesting()
{
    requireMainThread("TiledLayer::renderVisibleTilesSynchronouslyForTesting");
    renderSynchronously({ std::static_pointer_cast<TiledLayer>(shared_from_this()) });
}

namespace {

void collectTiledLayers(Layer& layer, std::vector<std::shared_ptr<TiledLayer>>& found)
{
    for (auto& sublayer : layer.sublayers()) {
        if (auto tiled = std::dynamic_pointer_cast<TiledLayer>(sublayer))
            found.push_back(tiled);
        collectTiledLayers(*sublayer, found);
    }
}

} // namespace

void TiledLayer::renderAllVisibleTilesSynchronously()
{
    requireMainThread("TiledLayer::renderAllVisibleTilesSynchronously");
    // Layers never drawn yet are found in the windows' trees.
    std::vector<std::shared_ptr<TiledLayer>> shown;
    for (auto& window : Window::allWindows())
        collectTiledLayers(window->layer(), shown);
    for (auto& weak : allTiledLayers()) {
        auto layer = weak.lock();
        if (layer && inWindow(*layer) && std::find(shown.begin(), shown.end(), layer) == shown.end())
            shown.push_back(layer);
    }
    renderSynchronously(shown);
}

uint64_t TiledLayer::tilesDrawnForTesting()
{
    return pool().drawn;
}

uint64_t TiledLayer::tilesDroppedForTesting()
{
    return pool().dropped;
}

void TiledLayer::setWorkerCountForTesting(int count)
{
    std::lock_guard lock(pool().mutex);
    pool().limit = std::max(1, count);
}

void TiledLayer::endIdleWorkers()
{
    std::lock_guard lock(pool().mutex);
    pool().retiring = true;
    pool().wake.notify_all();
}

void TiledLayer::resetForTesting()
{
    {
        std::lock_guard lock(pool().mutex);
        pool().jobs.clear();
        pool().aheadJobs.clear();
        pool().limit = 2;
        ++pool().epoch;
    }
    endIdleWorkers();
    allTiledLayers().clear();
}

} // namespace ui
