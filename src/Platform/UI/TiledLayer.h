#pragma once

// A layer for huge content: its drawing is cut into tiles of a fixed pixel
// size at a level of detail chosen from the layer's scale on screen, and
// only the tiles that meet the visible area (the window's bounds clipped by
// every ancestor that clips) are drawn, on a shared pool of worker threads,
// each into its own picture with the clip bounding box set to the tile's
// rectangle in layer coordinates. drawInContext of a subclass therefore
// runs off the main thread and must not touch the view tree. A tile job
// holds the layer weakly: a layer being destroyed gets no more draw calls,
// and a worker's last reference goes back to the main thread with the
// tile. Finished tiles fade in over fadeDuration().
//
// Workers take the newest job first, and a job whose tile is no longer
// visible (nor one tile beyond) when it is taken is dropped undrawn, so a
// fling queues many tiles but draws only where it settles. One budget
// covers the tiles of all tiled layers: at most four screens of pixels (or
// the visible tiles, when they are more), the least recently shown dropped
// first; a layer out of every window keeps none.
//
// A layer may draw tiles ahead: it also asks for the tiles within one view
// beyond what shows of each clipping ancestor (the next screen of a
// scrolled page, the page beside a turned one), after every visible tile and
// only while the budget has room for them, nearest to the window first and
// those the reader travels towards before those left behind, so a jump of a
// screen finds its tiles drawn. The renderer asks for them after
// each frame, for layers it drew and those it culled.

#include "Platform/UI/Layer.h"

#include <cstdint>
#include <map>
#include <mutex>
#include <optional>
#include <vector>
#include <tuple>

namespace ui {

class TiledLayer : public Layer {
public:
    static constexpr double DefaultFadeDuration = 0.25;

    static std::shared_ptr<TiledLayer> create();
    TiledLayer();
    ~TiledLayer() override;

    // In pixels, 16 to 4096 a side (256 × 256 by default).
    gfx::Size tileSize() const { return m_tileSize; }
    void setTileSize(gfx::Size size);
    // At least 1 (1 by default); the bias is the most detailed level (0).
    int levelsOfDetail() const { return m_levels; }
    void setLevelsOfDetail(int levels);
    int levelsOfDetailBias() const { return m_bias; }
    void setLevelsOfDetailBias(int bias) { m_bias = bias; }
    // How long a finished tile takes to fade in; a subclass may override.
    virtual double fadeDuration() const { return DefaultFadeDuration; }
    // What a tile's picture holds before drawInContext: transparent, or
    // the colour a subclass whose drawing starts by covering its tiles
    // with one gives here (written once with the picture's memory, instead
    // of clearing it and painting over that). Asked on the main thread.
    virtual gfx::Color tileBackgroundColor() const { return gfx::Color(); }

    // Level l draws at anchor × 2^l pixels per point. The anchor is 1
    // unless the layer anchors its levels at the scale it is shown at: then
    // the first scale s it is shown at (again whenever it holds no tiles)
    // sets it to s / 2^⌈log2 s⌉, so a picture fitted to a screen of any
    // size draws at exactly the screen's pixels, not up to twice as many a
    // side, and zooming in doubles from there.
    void setAnchorsLevelsAtShownScale(bool anchors) { m_anchorsLevels = anchors; }
    float levelAnchor() const { return m_levelAnchor; }
    // The level for an on-screen scale s: ⌈log2 (s / anchor)⌉ within
    // [bias − levels + 1, bias], and the points a tile covers at a level.
    int levelForScale(float scale) const;
    float scaleOfLevel(int level) const;
    gfx::Size tilePointSize(int level) const;
    // The layer's scale on screen (transforms × screen scale) and what of
    // it shows, in layer coordinates.
    float scaleOnScreen() const;
    gfx::Rect visibleRect() const;
    // Off by default (see above).
    bool drawsTilesAhead() const { return m_drawsAhead; }
    void setDrawsTilesAhead(bool ahead) { m_drawsAhead = ahead; }
    // What lies within one view of every clipping ancestor, in layer
    // coordinates, and the tiles asked for ahead at the last frame.
    gfx::Rect nearRect() const;
    std::vector<std::tuple<int, int, int>> tilesAhead() const { return m_ahead; }
    // After a frame: every layer's visible tiles and tiles ahead queued.
    static void queueTilesAheadOfAll();
    // Joins the layers whose tiles are asked for (a layer does when first
    // drawn; the renderer has one it culls join, so its tiles ahead are).
    void enroll();
    // The tiles of the visible area at the current level, as
    // (level, column, row), left to right, top to bottom.
    std::vector<std::tuple<int, int, int>> visibleTiles() const;

    void setNeedsDisplay() override;
    void setNeedsDisplayInRect(const gfx::Rect& rect) override;

    // Queues what the visible area lacks and waits until every visible tile
    // is drawn and shown (not for tiles drawn elsewhere).
    void renderVisibleTilesSynchronouslyForTesting();
    // Tiles queued, being drawn, or drawn and not yet handed over.
    size_t pendingTileCount() const { return m_pending; }
    size_t cachedTileCount() const { return m_tiles.size(); }
    // Pixels held by the cache.
    size_t cachedPixelsForTesting() const;
    // A drawn tile is still fading in at `time`.
    bool isFadingAt(double time) const;

    // Draws the visible tiles it has (queueing those it lacks) into a
    // context in layer space, at the clock's `time` (for the fade).
    void drawTiles(gfx::Context& context, double time);

    // Every tiled layer in a window: its visible tiles drawn (driver).
    static void renderAllVisibleTilesSynchronously();
    // Worker threads of the shared pool (half the cores, 2 to 4, by
    // default; 2 after resetForTesting). A worker stays a
    // while after its last job; endIdleWorkers lets the idle ones go at
    // once (before the program waits for its threads at exit).
    static void setWorkerCountForTesting(int count);
    static void endIdleWorkers();
    // Tiles drawn and jobs dropped as stale since the process started.
    static uint64_t tilesDrawnForTesting();
    static uint64_t tilesDroppedForTesting();
    // Cancels queued tile jobs (test environment).
    static void resetForTesting();

private:
    struct Tile {
        std::shared_ptr<gfx::Image> image;
        uint64_t wanted = 1;
        uint64_t drawn = 0;
        bool queued = false;
        double shownAt = 0;
        uint64_t lastUse = 0;
    };
    using Key = std::tuple<int, int, int>;
    gfx::Rect rectOfTile(const Key& key) const;
    void queue(const Key& key, Tile& tile);
    void install(const Key& key, uint64_t generation, std::shared_ptr<gfx::Image> image);
    static void trimAllCaches();
    bool isWanted(const Key& key) const;
    void setWanted(const std::vector<Key>& visible);
    void unqueue(const Key& key);
    void anchorLevels(float scale);
    std::vector<Key> queueVisibleTiles();
    // The tiles at a level that meet a rectangle of the layer, row by row
    // (none when they would be more than `limit`).
    std::vector<Key> tilesMeeting(const gfx::Rect& rect, int level, double limit) const;
    std::vector<Key> tilesNear(const std::vector<Key>& visible) const;
    double tilePixels(const Key& key) const;
    static double screenBudget();
    static void renderSynchronously(const std::vector<std::shared_ptr<TiledLayer>>& layers);

    gfx::Size m_tileSize { 256, 256 };
    int m_levels = 1;
    int m_bias = 0;
    bool m_anchorsLevels = false;
    float m_levelAnchor = 1;
    std::map<Key, Tile> m_tiles;
    size_t m_pending = 0;
    std::vector<Key> m_visible;
    std::vector<Key> m_ahead;
    bool m_drawsAhead = false;
    // Where it lay in the window at the last frame (the way of travel).
    std::optional<gfx::Point> m_lastOrigin;
    bool m_enrolled = false;
    // What a worker may still draw: the level and the tile ranges about the
    // visible tiles, written on the main thread.
    mutable std::mutex m_wantedMutex;
    int m_wantedLevel = INT32_MIN;
    std::pair<int, int> m_wantedColumns { 0, -1 };
    std::pair<int, int> m_wantedRows { 0, -1 };
    std::vector<Key> m_wantedAhead;
};

} // namespace ui
