#pragma once

// A GTK page's pictures (`WebSnapshot`, the visible region at the view's
// scale) and the places they show. One is taken at a time; one asked for
// meanwhile follows it and its asker waits for that one. Those the page's
// changes ask for start at most once a frame (a scheduled one is due then;
// one asked for well after it follows it). Each carries the place it shows
// to the view in the same report, so the scroll view moves at most once a
// frame and never ahead of its picture. The page's latest report stands in
// for a place the page could not tell; what the view was last told is not
// told again. While the page shows live, its place goes to the view by
// itself and a picture is taken once scrolling rests. Owned by the page;
// WebKit's types are only declared here.

#include "Platform/Web/GtkTimeout.h"
#include "Platform/Web/GtkWebPageSupport.h"
#include "Platform/Web/PageMessage.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

typedef struct _WebKitWebView WebKitWebView;

namespace web {

class GtkPagePictures : public std::enable_shared_from_this<GtkPagePictures> {
public:
    GtkPagePictures(WebKitWebView* view, DeliverReport deliver);

    // The page's zoom and the view's scale, which place a picture in the
    // scroll view.
    void setZoom(double pageZoom, float scale);
    // A picture now (after the one being taken, if any); `done` runs on a
    // later pass once it is handed over.
    void update(std::function<void()> done);
    // A picture delayMilliseconds from now. A paced one asks only for some
    // picture taken after the call, not sooner than the delay: one taken
    // before its time answers it too.
    void schedule(unsigned delayMilliseconds, bool paced = false);
    // The page's script reported its place: shown live (`live`), it goes to
    // the view by itself, at most once a frame, and a picture follows once
    // the scrolling rests; otherwise the next picture, paced while the page
    // loads (its load's end asks for one at once), is taken of it.
    void placeReported(const PageMetrics& place, bool live, bool loading);
    // A new document: its first place is told whatever it is.
    void documentCommitted();

private:
    static constexpr unsigned RestingSnapshotDelay = 250;
    // A page that grows while it loads is pictured at most this often: each
    // picture lays the page out and paints it in the middle of its load.
    static constexpr unsigned LoadingSnapshotDelay = 100;

    void snapshotDue();
    void metricsDue();
    // A picture RestingSnapshotDelay ms after the last of a run of calls.
    void scheduleRestingSnapshot();
    // The page's latest reported place to the view without a picture, at
    // most once a frame.
    void scheduleMetrics();
    void takeSnapshot();
    void snapshotDone(void* surface, std::optional<PageMetrics> place);

    WebKitWebView* m_view;
    DeliverReport m_deliver;
    double m_zoom = 1;
    float m_scale = 1;

    // In monotonic microseconds: when the scheduled picture is due, the one
    // kept for after it, and when the last began.
    bool m_snapshotRunning = false;
    bool m_snapshotWanted = false;
    GtkTimeout m_snapshotTimer;
    int64_t m_snapshotDue = 0;
    int64_t m_snapshotLater = 0;
    bool m_snapshotPaced = false; // the timer's picture was asked for paced
    int64_t m_snapshotStarted = 0;
    std::optional<PageMetrics> m_reportedMetrics;
    std::optional<PageMetrics> m_deliveredMetrics;
    int64_t m_metricsTold = 0;
    GtkTimeout m_metricsTimer;
    std::vector<std::function<void()>> m_snapshotWaiters;
    std::vector<std::function<void()>> m_nextSnapshotWaiters;
};

} // namespace web
