#include "Platform/Web/GtkPagePictures.h"

#include "Platform/Core/RunLoop.h"
#include "Platform/Web/WebPageClient.h"
#include "Platform/Web/WebSnapshot.h"

#include <algorithm>
#include <utility>
#include <webkit2/webkit2.h>

namespace web {

namespace {

// The display's frame: the page's pictures, and the places they show, come
// no oftener.
constexpr int64_t FrameMicroseconds = 1'000'000 / 60;

} // namespace

GtkPagePictures::GtkPagePictures(WebKitWebView* view, DeliverReport deliver)
    : m_view(view)
    , m_deliver(std::move(deliver))
{
}

void GtkPagePictures::setZoom(double pageZoom, float scale)
{
    m_zoom = pageZoom;
    m_scale = scale;
}

void GtkPagePictures::update(std::function<void()> done)
{
    // A picture being taken may show the page before the change that asks
    // for this one: the asker waits for the next.
    if (m_snapshotRunning) {
        m_snapshotWanted = true;
        if (done)
            m_nextSnapshotWaiters.push_back(std::move(done));
        return;
    }
    if (done)
        m_snapshotWaiters.push_back(std::move(done));
    takeSnapshot();
}

void GtkPagePictures::schedule(unsigned delayMilliseconds, bool paced)
{
    // None starts sooner than a frame after the last began. Asks due within
    // a frame of the one already due are that one; a sooner one goes first
    // and a later one is kept for after it (a script's changes are pictured
    // once they are drawn, however often the page scrolls meanwhile). A
    // paced ask is answered by any picture due after it is made, so it is
    // never kept for later.
    int64_t now = g_get_monotonic_time();
    int64_t due = std::max(now + int64_t(delayMilliseconds) * 1000, m_snapshotStarted + FrameMicroseconds);
    if (m_snapshotTimer.isRunning()) {
        if (due >= m_snapshotDue) {
            if (!paced && due > m_snapshotDue + FrameMicroseconds)
                m_snapshotLater = std::max(m_snapshotLater, due);
            return;
        }
        if (!m_snapshotPaced)
            m_snapshotLater = std::max(m_snapshotLater, m_snapshotDue);
        m_snapshotTimer.cancel();
    }
    m_snapshotDue = due;
    m_snapshotPaced = paced;
    m_snapshotTimer.start(unsigned((due - now + 999) / 1000), [this] { snapshotDue(); });
}

void GtkPagePictures::snapshotDue()
{
    m_snapshotPaced = false;
    int64_t later = std::exchange(m_snapshotLater, 0);
    update(nullptr);
    if (later > 0)
        schedule(unsigned(std::max<int64_t>(0, later - g_get_monotonic_time()) / 1000));
}

void GtkPagePictures::placeReported(const PageMetrics& place, bool live, bool loading)
{
    m_reportedMetrics = place;
    if (live) {
        scheduleMetrics();
        scheduleRestingSnapshot();
    } else if (loading) {
        schedule(LoadingSnapshotDelay, true);
    } else {
        schedule(0);
    }
}

void GtkPagePictures::documentCommitted()
{
    m_reportedMetrics.reset();
    m_deliveredMetrics.reset();
}

void GtkPagePictures::scheduleMetrics()
{
    if (m_metricsTimer.isRunning())
        return;
    int64_t now = g_get_monotonic_time();
    int64_t due = std::max(now, m_metricsTold + FrameMicroseconds);
    m_metricsTimer.start(unsigned((due - now + 999) / 1000), [this] { metricsDue(); });
}

void GtkPagePictures::metricsDue()
{
    if (!m_reportedMetrics || m_reportedMetrics == m_deliveredMetrics)
        return;
    PageMetrics place = *m_reportedMetrics;
    m_deliveredMetrics = place;
    m_metricsTold = g_get_monotonic_time();
    m_deliver([place](WebPageClient& client) { client.pageMetrics(place); });
}

void GtkPagePictures::scheduleRestingSnapshot()
{
    m_snapshotTimer.cancel();
    schedule(RestingSnapshotDelay);
}

void GtkPagePictures::takeSnapshot()
{
    m_snapshotRunning = true;
    m_snapshotWanted = false;
    m_snapshotStarted = g_get_monotonic_time();
    // Where the page is scrolled now, then the picture of that place.
    std::weak_ptr<GtkPagePictures> weak = weak_from_this();
    evaluateInOwnWorld(m_view, "__tandry.place()", weak, [this, weak](JSCValue* value) {
        std::optional<PageMetrics> place;
        if (auto metrics = PageMessage::parse(valueFrom(value)))
            if (auto* found = std::get_if<PageMetrics>(&*metrics))
                place = *found;
        if (!place)
            place = m_reportedMetrics; // a page without the script yet, or one that failed to answer
        struct SnapshotCall {
            std::weak_ptr<GtkPagePictures> pictures;
            std::optional<PageMetrics> place;
        };
        webkit_web_view_get_snapshot(
            m_view, WEBKIT_SNAPSHOT_REGION_VISIBLE, WEBKIT_SNAPSHOT_OPTIONS_NONE, nullptr,
            [](GObject* source, GAsyncResult* result, gpointer data) {
                std::unique_ptr<SnapshotCall> call(static_cast<SnapshotCall*>(data));
                cairo_surface_t* surface = webkit_web_view_get_snapshot_finish(WEBKIT_WEB_VIEW(source), result, nullptr);
                if (auto pictures = call->pictures.lock())
                    pictures->snapshotDone(surface, call->place);
                if (surface)
                    cairo_surface_destroy(surface);
            },
            new SnapshotCall { weak, place });
    });
}

void GtkPagePictures::snapshotDone(void* surface, std::optional<PageMetrics> place)
{
    if (place == m_deliveredMetrics) {
        place.reset(); // the view knows it
    } else {
        m_deliveredMetrics = place;
        m_metricsTold = g_get_monotonic_time();
    }
    std::shared_ptr<const WebSnapshot> snapshot;
    if (surface) {
        PageMetrics at = m_deliveredMetrics.value_or(PageMetrics {});
        snapshot = std::make_shared<const WebSnapshot>(
            surface, gfx::Point { float(at.scrollX * m_zoom), float(at.scrollY * m_zoom) }, m_scale);
    }
    if (place || snapshot)
        // In one pass, the picture first: the scroll view never moves to a
        // place its picture does not show.
        m_deliver([place, snapshot](WebPageClient& client) {
            if (snapshot)
                client.pageSnapshot(snapshot);
            if (place)
                client.pageMetrics(*place);
        });
    for (auto& waiter : std::exchange(m_snapshotWaiters, {}))
        core::RunLoop::main().post(std::move(waiter));
    m_snapshotRunning = false;
    if (m_snapshotWanted) {
        m_snapshotWaiters = std::exchange(m_nextSnapshotWaiters, {});
        takeSnapshot();
    }
}

} // namespace web
