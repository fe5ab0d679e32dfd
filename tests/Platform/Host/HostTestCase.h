#pragma once

// A desktop window under the tests' own Xvfb, one point to one pixel: GDK
// events made here are given to the drawing area (or the window, for keys)
// and go through the host into the toolkit. The main loop runs in real
// time while the test clock stays put.

#include "Platform/Core/RunLoop.h"
#include "Platform/Graphics/Screen.h"
#include "Platform/Host/WindowHost.h"
#include "Platform/UI/Label.h"
#include "Platform/UI/TableView.h"
#include "Platform/UI/TableViewCell.h"
#include "Platform/UI/TableViewDataSource.h"
#include "Support/Command.h"
#include "Support/UITestCase.h"
#include "Support/XvfbDisplay.h"

#include <algorithm>
#include <cstdlib>
#include <functional>
#include <gtk/gtk.h>
#include <memory>
#include <string>
#include <vector>

namespace test {

// `count` rows titled by their numbers.
struct NumberedRows : ui::TableViewDataSource {
    explicit NumberedRows(int count) : count(count) { }
    int numberOfRows(ui::TableView&, int) override { return count; }
    std::shared_ptr<ui::TableViewCell> cellForRow(ui::TableView& table, ui::IndexPath path) override
    {
        auto cell = std::static_pointer_cast<ui::TableViewCell>(table.dequeueReusableCell("row"));
        if (!cell)
            cell = ui::TableViewCell::create(ui::TableViewCell::Style::Default, "row");
        cell->textLabel().setText(std::to_string(path.row));
        return cell;
    }
    int count;
};

// The page count pdfinfo reports for a PDF, -1 when it cannot tell.
inline int pdfPageCount(const std::string& pdf)
{
    auto info = runCommand({ "pdfinfo", pdf });
    size_t at = info.output.find("Pages:");
    return at == std::string::npos ? -1 : std::atoi(info.output.c_str() + at + 6);
}

class HostTestCase : public UITestCase {
protected:
    void SetUp() override
    {
        UITestCase::SetUp();
        TANDRY_REQUIRE_DISPLAY();
        gfx::Screen::main().setScale(1);
        host = ui::WindowHost::open({ "Tandry test", {}, {} });
        ASSERT_TRUE(host) << "no window on " << XvfbDisplay::display();
        area = static_cast<GtkWidget*>(host->drawingAreaForTesting());
        ASSERT_TRUE(pump([&] { return host->drawCountForTesting() > 0; })) << "the window never drew";
        settle();
    }
    void TearDown() override
    {
        host.reset();
        core::RunLoop::main().runUntil([] { return false; }, 0.05);
        UITestCase::TearDown();
    }

    static bool pump(const std::function<bool()>& until, double seconds = 30)
    {
        return core::RunLoop::main().runUntil(until, seconds);
    }
    // Until GTK has drawn what was queued and nothing more comes.
    void settle()
    {
        uint64_t draws = host->drawCountForTesting();
        for (int i = 0; i < 20; ++i) {
            pump([] { return false; }, 0.05);
            if (host->drawCountForTesting() == draws)
                return;
            draws = host->drawCountForTesting();
        }
    }

    GtkWidget* toplevel() const { return static_cast<GtkWidget*>(host->window()); }
    // Resizes the window and waits for the screen to follow. The smallest
    // window is the phone's screen turned as the window stands, so a turn
    // goes through a square-ish size that either way allows.
    void resize(int width, int height)
    {
        auto follows = [&](int w, int h) {
            gtk_window_resize(GTK_WINDOW(toplevel()), w, h);
            return pump([&] { return host->fit().picture().size == gfx::Size { float(w), float(h) }; });
        };
        int side = std::max({ width, height, 480 });
        bool turning = (width > height) != (gtk_widget_get_allocated_width(area) > gtk_widget_get_allocated_height(area));
        if (turning) {
            ASSERT_TRUE(width > height ? follows(side + 1, side) : follows(side, side + 1));
        }
        ASSERT_TRUE(follows(width, height)) << "the screen follows the window";
        settle();
    }
    static GdkDevice* pointer()
    {
        return gdk_seat_get_pointer(gdk_display_get_default_seat(gdk_display_get_default()));
    }
    // Gives `event` to `widget` (the drawing area by default) and frees it.
    void send(GdkEvent* event, GtkWidget* widget = nullptr)
    {
        if (!widget)
            widget = area;
        reinterpret_cast<GdkEventAny*>(event)->window = GDK_WINDOW(g_object_ref(gtk_widget_get_window(widget)));
        gdk_event_set_device(event, pointer());
        gtk_widget_event(widget, event);
        gdk_event_free(event);
    }
    // Area pixels of a screen point.
    gfx::Point at(gfx::Point screen) const { return host->fit().screenToArea().apply(screen); }
    void button(GdkEventType type, gfx::Point screen, guint state = 0)
    {
        GdkEvent* event = gdk_event_new(type);
        gfx::Point p = at(screen);
        event->button.x = p.x;
        event->button.y = p.y;
        event->button.button = 1;
        event->button.state = state;
        send(event);
    }
    void motion(gfx::Point screen, guint state = GDK_BUTTON1_MASK)
    {
        GdkEvent* event = gdk_event_new(GDK_MOTION_NOTIFY);
        gfx::Point p = at(screen);
        event->motion.x = p.x;
        event->motion.y = p.y;
        event->motion.state = state;
        send(event);
    }
    void touch(GdkEventType type, uintptr_t sequence, gfx::Point screen)
    {
        GdkEvent* event = gdk_event_new(type);
        gfx::Point p = at(screen);
        event->touch.x = p.x;
        event->touch.y = p.y;
        event->touch.sequence = reinterpret_cast<GdkEventSequence*>(sequence);
        send(event);
    }
    // A wheel notch (or, smooth, `dy` of a touchpad's units) at a screen point.
    void wheel(gfx::Point screen, GdkScrollDirection direction, double dy = 0)
    {
        GdkEvent* event = gdk_event_new(GDK_SCROLL);
        gfx::Point p = at(screen);
        event->scroll.x = p.x;
        event->scroll.y = p.y;
        event->scroll.direction = direction;
        event->scroll.delta_y = dy;
        send(event);
    }
    void tap(gfx::Point screen)
    {
        button(GDK_BUTTON_PRESS, screen);
        button(GDK_BUTTON_RELEASE, screen);
    }
    // A key pressed and let go (or only `types`), given to `widget` (the
    // window by default).
    void key(guint keyval, guint state = 0, std::vector<GdkEventType> types = { GDK_KEY_PRESS, GDK_KEY_RELEASE },
        GtkWidget* widget = nullptr)
    {
        for (GdkEventType type : types) {
            GdkEvent* event = gdk_event_new(type);
            event->key.keyval = keyval;
            event->key.state = state;
            GdkKeymapKey* keys = nullptr;
            gint count = 0;
            if (gdk_keymap_get_entries_for_keyval(gdk_keymap_get_for_display(gdk_display_get_default()), keyval, &keys,
                    &count)
                && count > 0)
                event->key.hardware_keycode = guint16(keys[0].keycode);
            g_free(keys);
            send(event, widget ? widget : toplevel());
        }
    }

    // The containers of the pages live in the window, bottom first.
    std::vector<GtkWidget*> livePages() const
    {
        GList* children = gtk_container_get_children(GTK_CONTAINER(gtk_bin_get_child(GTK_BIN(toplevel()))));
        std::vector<GtkWidget*> found;
        for (GList* item = children; item; item = item->next)
            if (GTK_IS_LAYOUT(item->data))
                found.push_back(GTK_WIDGET(item->data));
        g_list_free(children);
        return found;
    }

    std::unique_ptr<ui::WindowHost> host;
    GtkWidget* area = nullptr;
};

} // namespace test
