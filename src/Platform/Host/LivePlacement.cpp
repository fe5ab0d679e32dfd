#include "Platform/Host/LivePlacement.h"

#include "Platform/Host/ScreenFit.h"

#include <algorithm>
#include <cmath>
#include <gtk/gtk.h>

namespace ui {

LivePlacement::LivePlacement(void* overlay, std::function<ScreenFit()> fit, ZoomHandler zoom)
    : m_overlay(overlay)
    , m_fit(std::move(fit))
    , m_zoom(std::move(zoom))
{
}

LivePlacement::~LivePlacement()
{
    if (m_widget)
        detach(m_widget);
}

void LivePlacement::attach(void* widget)
{
    if (m_widget)
        detach(m_widget);
    if (!m_overlay)
        return;
    // A layout has a window of its own, so the page is cut at its edges.
    GtkWidget* layout = gtk_layout_new(nullptr, nullptr);
    gtk_widget_set_halign(layout, GTK_ALIGN_START);
    gtk_widget_set_valign(layout, GTK_ALIGN_START);
    gtk_overlay_add_overlay(GTK_OVERLAY(m_overlay), layout);
    gtk_layout_put(GTK_LAYOUT(layout), GTK_WIDGET(widget), 0, 0);
    gtk_widget_show(GTK_WIDGET(widget));
    // Clicks on the page stay WebKit's; the view's tap recognizers hear of
    // them too, in the capture phase, so a viewer can toggle its bars.
    GtkGesture* press = gtk_gesture_multi_press_new(layout);
    gtk_gesture_single_set_button(GTK_GESTURE_SINGLE(press), GDK_BUTTON_PRIMARY);
    gtk_event_controller_set_propagation_phase(GTK_EVENT_CONTROLLER(press), GTK_PHASE_CAPTURE);
    g_signal_connect(press, "released",
        G_CALLBACK(+[](GtkGestureMultiPress*, gint clicks, gdouble x, gdouble y, gpointer self) {
            static_cast<LivePlacement*>(self)->clicked(clicks, x, y);
        }),
        this);
    m_clickGesture = press;
    m_eventHandler = g_signal_connect(widget, "event",
        G_CALLBACK(+[](GtkWidget*, GdkEvent* event, gpointer self) -> gboolean {
            return static_cast<LivePlacement*>(self)->pageEvent(event);
        }),
        this);
    m_container = layout;
    m_widget = widget;
    m_placed = {};
}

void LivePlacement::clicked(int clicks, double x, double y)
{
    if (!m_clicked || !m_fit)
        return;
    gfx::Point area { m_containerOrigin.x + float(x), m_containerOrigin.y + float(y) };
    // The handler may take the page out of the window.
    auto handler = m_clicked;
    handler(m_fit().screenPoint(area), clicks);
}

bool LivePlacement::pageEvent(void* raw)
{
    auto* event = static_cast<GdkEvent*>(raw);
    bool zoom = event->type == GDK_TOUCHPAD_PINCH
        || (event->type == GDK_SCROLL && (event->scroll.state & GDK_CONTROL_MASK));
    GtkWidget* area = m_overlay ? gtk_bin_get_child(GTK_BIN(m_overlay)) : nullptr;
    if (!zoom || !m_zoom || !area || !gtk_widget_get_window(area))
        return false;
    gint x = 0, y = 0;
    gdk_window_get_origin(gtk_widget_get_window(area), &x, &y);
    GdkEvent* copy = gdk_event_copy(event);
    if (copy->type == GDK_SCROLL) {
        copy->scroll.x = copy->scroll.x_root - x;
        copy->scroll.y = copy->scroll.y_root - y;
    } else {
        copy->touchpad_pinch.x = copy->touchpad_pinch.x_root - x;
        copy->touchpad_pinch.y = copy->touchpad_pinch.y_root - y;
    }
    // The handler may take the page out of the window.
    auto handler = m_zoom;
    handler(copy);
    gdk_event_free(copy);
    return true;
}

void LivePlacement::place(const gfx::Rect& frame, const gfx::Rect& clip, bool hidden, int order)
{
    if (!m_container)
        return;
    GtkWidget* layout = GTK_WIDGET(m_container);
    ScreenFit fit = m_fit();
    gfx::Rect shown = fit.areaRect(clip);
    gfx::Rect whole = fit.areaRect(frame);
    if (hidden || shown.isEmpty() || whole.isEmpty()) {
        m_shownClip.reset();
        if (gtk_widget_get_visible(layout))
            gtk_widget_hide(layout);
        return;
    }
    m_shownClip = clip;
    // Whole pixels; each frame of an animation moves the page, and only what
    // changed goes to GTK (each change lays the overlay out again).
    Placed now { int(std::lround(shown.x())), int(std::lround(shown.y())), int(std::lround(shown.width())),
        int(std::lround(shown.height())), int(std::lround(whole.x() - shown.x())), int(std::lround(whole.y() - shown.y())),
        int(std::lround(whole.width())), int(std::lround(whole.height())), order };
    m_containerOrigin = { float(now.x), float(now.y) };
    if (now.x != m_placed.x || now.y != m_placed.y) {
        gtk_widget_set_margin_start(layout, now.x);
        gtk_widget_set_margin_top(layout, now.y);
    }
    if (now.width != m_placed.width || now.height != m_placed.height)
        gtk_widget_set_size_request(layout, now.width, now.height);
    if (now.pageX != m_placed.pageX || now.pageY != m_placed.pageY)
        gtk_layout_move(GTK_LAYOUT(layout), GTK_WIDGET(m_widget), now.pageX, now.pageY);
    if (now.pageWidth != m_placed.pageWidth || now.pageHeight != m_placed.pageHeight)
        gtk_widget_set_size_request(GTK_WIDGET(m_widget), now.pageWidth, now.pageHeight);
    if (now.order != m_placed.order) {
        // Pages stack in tree order above the drawing area.
        GList* children = gtk_container_get_children(GTK_CONTAINER(m_overlay));
        int overlays = std::max(0, int(g_list_length(children)) - 1);
        g_list_free(children);
        gtk_overlay_reorder_overlay(GTK_OVERLAY(m_overlay), layout, std::min(order, std::max(0, overlays - 1)));
    }
    m_placed = now;
    if (!gtk_widget_get_visible(layout))
        gtk_widget_show(layout);
}

void LivePlacement::release()
{
    if (m_widget)
        detach(m_widget);
    m_overlay = nullptr;
    m_fit = {};
    m_zoom = {};
}

void LivePlacement::detach(void* widget)
{
    if (!m_container || widget != m_widget)
        return;
    GtkWidget* layout = GTK_WIDGET(m_container);
    if (m_clickGesture)
        g_object_unref(m_clickGesture);
    m_clickGesture = nullptr;
    if (m_eventHandler)
        g_signal_handler_disconnect(widget, m_eventHandler);
    m_eventHandler = 0;
    gtk_container_remove(GTK_CONTAINER(layout), GTK_WIDGET(widget));
    gtk_widget_destroy(layout);
    m_container = nullptr;
    m_widget = nullptr;
    m_shownClip.reset();
}

} // namespace ui
