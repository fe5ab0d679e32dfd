#pragma once

// What the web scrolling bench measures of a WebKitWebView shown in a GTK
// window, alike in our window and in the bare peer: from the load call,
// when WebKit commits and finishes the load and when the view first draws
// after the commit (the first paint of the page); then, for a given time, a
// wheel notch down over the middle of the view every 16 ms (GDK events put
// on GDK's own queue, as the X server's would be) and the view's draws
// meanwhile (its frames). The main loop is the program's own: `spin` runs
// it until the predicate holds or the seconds pass.

#include <webkit2/webkit2.h>

#include <chrono>
#include <cstdio>
#include <functional>

namespace bench {

class WebScrollProbe {
public:
    using Clock = std::chrono::steady_clock;
    using Spin = std::function<bool(const std::function<bool()>& until, double seconds)>;

    WebScrollProbe(GtkWidget* view, Spin spin)
        : m_view(view)
        , m_spin(std::move(spin))
    {
        g_signal_connect(view, "load-changed", G_CALLBACK(loadChanged), this);
        g_signal_connect_after(view, "draw", G_CALLBACK(drawn), this);
    }

    // Call right before the load call.
    void loadStarts() { m_start = Clock::now(); }

    // Waits for the first paint, then scrolls for `seconds`; false when the
    // page never painted.
    bool run(double seconds)
    {
        if (!m_spin([this] { return m_firstPaint >= 0 && m_finished >= 0; }, 60))
            return false;
        // The page settles before the wheel turns.
        m_spin([] { return false; }, 0.5);
        m_draws = 0;
        m_scrolling = true;
        guint timer = g_timeout_add(16, notch, this);
        auto began = Clock::now();
        m_spin([] { return false; }, seconds);
        m_scrolling = false;
        m_seconds = std::chrono::duration<double>(Clock::now() - began).count();
        g_source_remove(timer);
        return true;
    }

    // "first_paint_ms finish_ms frames_per_second frames notches".
    void print() const
    {
        std::printf("%.1f %.1f %.2f %d %d\n", m_firstPaint, m_finished, m_seconds > 0 ? m_draws / m_seconds : 0, m_draws,
            m_notches);
        std::fflush(stdout);
    }

private:
    double since() const { return std::chrono::duration<double, std::milli>(Clock::now() - m_start).count(); }

    static void loadChanged(WebKitWebView*, WebKitLoadEvent event, gpointer data)
    {
        auto* self = static_cast<WebScrollProbe*>(data);
        if (event == WEBKIT_LOAD_COMMITTED && self->m_committed < 0)
            self->m_committed = self->since();
        if (event == WEBKIT_LOAD_FINISHED && self->m_finished < 0)
            self->m_finished = self->since();
    }

    static gboolean drawn(GtkWidget*, cairo_t*, gpointer data)
    {
        auto* self = static_cast<WebScrollProbe*>(data);
        if (self->m_committed >= 0 && self->m_firstPaint < 0)
            self->m_firstPaint = self->since();
        if (self->m_scrolling)
            ++self->m_draws;
        return FALSE;
    }

    static gboolean notch(gpointer data)
    {
        auto* self = static_cast<WebScrollProbe*>(data);
        GdkWindow* window = gtk_widget_get_window(self->m_view);
        if (!window)
            return G_SOURCE_CONTINUE;
        GdkEvent* event = gdk_event_new(GDK_SCROLL);
        event->scroll.window = GDK_WINDOW(g_object_ref(window));
        event->scroll.direction = GDK_SCROLL_DOWN;
        event->scroll.x = gtk_widget_get_allocated_width(self->m_view) / 2.0;
        event->scroll.y = gtk_widget_get_allocated_height(self->m_view) / 2.0;
        event->scroll.time = GDK_CURRENT_TIME;
        gdk_event_set_device(event, gdk_seat_get_pointer(gdk_display_get_default_seat(gdk_display_get_default())));
        gdk_event_put(event);
        gdk_event_free(event);
        ++self->m_notches;
        return G_SOURCE_CONTINUE;
    }

    GtkWidget* m_view;
    Spin m_spin;
    Clock::time_point m_start;
    double m_committed = -1;
    double m_finished = -1;
    double m_firstPaint = -1;
    bool m_scrolling = false;
    int m_draws = 0;
    int m_notches = 0;
    double m_seconds = 0;
};

} // namespace bench
