#include "Platform/Host/WindowHost.h"

#include "Platform/Core/Clock.h"
#include "Platform/Core/Device.h"
#include "Platform/Core/ExceptionReporter.h"
#include "Platform/Core/FileSystem.h"
#include "Platform/Core/Log.h"
#include "Platform/Core/Observation.h"
#include "Platform/Core/Path.h"
#include "Platform/Core/Paths.h"
#include "Platform/Core/RunLoop.h"
#include "Platform/Core/UserDefaults.h"
#include "Platform/Graphics/BitmapContext.h"
#include "Platform/Graphics/CairoContext.h"
#include "Platform/Graphics/ContextInternal.h"
#include "Platform/Graphics/Image.h"
#include "Platform/Graphics/Screen.h"
#include "Platform/UI/Application.h"
#include "Platform/UI/DamageTracker.h"
#include "Platform/UI/Event.h"
#include "Platform/Host/DesktopMail.h"
#include "Platform/Host/DesktopPrinting.h"
#include "Platform/Host/GuardedCallback.h"
#include "Platform/Host/HostDrops.h"
#include "Platform/Host/HostKeys.h"
#include "Platform/Host/HostTouches.h"
#include "Platform/Host/LivePlacement.h"
#include "Platform/Host/WindowPlace.h"
#include "Platform/UI/Renderer.h"
#include "Platform/UI/Screen.h"
#include "Platform/UI/View.h"
#include "Platform/UI/ViewController.h"
#include "Platform/UI/NavigationController.h"
#include "Platform/UI/NavigationItem.h"
#include "Platform/UI/ViewTreeDump.h"
#include "Platform/UI/Window.h"
#include "Platform/Web/GtkStartup.h"

#include <cairo.h>
#include <cctype>
#include <csignal>
#include <cmath>
#include <optional>
#include <type_traits>
#include <fmt/format.h>
#include <gdk/gdkx.h>
#include <gtk/gtk.h>
#include <X11/Xlib.h>

namespace ui {

namespace {

WindowHost* currentHost = nullptr;
bool displayGone = false;

// The mouse is one finger; with Ctrl held a second one mirrors it about the
// screen's centre, so a drag pinches.
constexpr HostTouches::Id MouseFinger = 1;
constexpr HostTouches::Id MirrorFinger = 2;
// Touch sequences are told apart by GDK's pointer, never 1 or 2.
HostTouches::Id fingerOf(GdkEventSequence* sequence)
{
    return HostTouches::Id(reinterpret_cast<uintptr_t>(sequence)) | (HostTouches::Id(1) << 63);
}

// A wheel notch, and a touchpad's unit of smooth delta, in points.
constexpr float ScrollStep = 40;
// With Ctrl, a notch zooms by e^0.1 (about a tenth).
constexpr double ZoomStep = 0.1;

// The smallest window is the phone's screen, in points, the window's way up.
constexpr int PhoneShortSide = 320;
constexpr int PhoneLongSide = 480;
// Below the tablet's screen (either way up) the phone's layouts are used.
constexpr float TabletShortSide = 768;
constexpr float TabletLongSide = 1024;

// Whether a screen's title already names the application as words of their
// own ("Tandry Settings"), so the window's title need not repeat it.
bool titleNamesApplication(std::string_view title, std::string_view name)
{
    if (name.empty())
        return false;
    auto inWord = [](char c) { return std::isalnum(static_cast<unsigned char>(c)) || static_cast<unsigned char>(c) >= 0x80; };
    for (size_t at = title.find(name); at != std::string_view::npos; at = title.find(name, at + 1)) {
        size_t end = at + name.size();
        if ((at == 0 || !inWord(title[at - 1])) && (end == title.size() || !inWord(title[end])))
            return true;
    }
    return false;
}

core::Device::Idiom idiomFor(gfx::Size size)
{
    float shortSide = std::min(size.width, size.height), longSide = std::max(size.width, size.height);
    return shortSide < TabletShortSide || longSide < TabletLongSide ? core::Device::Idiom::Phone
                                                                    : core::Device::Idiom::Tablet;
}

// Xlib's I/O error ends the process from inside whatever call met it
// (GDK's handler calls _exit). Both handlers here return instead: the
// display is marked gone and the application ends on the next pass, its
// state saved.
int onXIOError(Display*)
{
    return 0;
}

void onXIOErrorExit(Display*, void*)
{
    if (std::exchange(displayGone, true))
        return;
    core::log("The display went away: the application ends");
    core::RunLoop::main().post([] {
        if (auto* application = Application::shared())
            application->terminate();
        else
            core::RunLoop::main().stop();
    });
}

gfx::Rect outward(const gfx::Rect& r)
{
    float x0 = std::floor(r.minX()), y0 = std::floor(r.minY());
    return { x0, y0, std::ceil(r.maxX()) - x0, std::ceil(r.maxY()) - y0 };
}


// The window's title for a screen's: the screen's, then the application's
// name after the window's own dash, once; a screen that ends in the name
// after a plain dash ("Help - Tandry") takes the window's dash there.
std::string windowTitleFor(const std::string& screen, const std::string& name)
{
    if (screen.empty())
        return name;
    const std::string plainDash = " - " + name;
    if (!name.empty() && screen.size() > plainDash.size() && screen.ends_with(plainDash))
        return screen.substr(0, screen.size() - plainDash.size()) + " — " + name;
    return titleNamesApplication(screen, name) ? screen : screen + " — " + name;
}

} // namespace

struct WindowHost::Impl {
    GtkWidget* window = nullptr;
    GtkWidget* overlay = nullptr;
    GtkWidget* area = nullptr;
    GtkIMContext* im = nullptr;
    DamageTracker tracker;
    HostTouches touches;
    std::unique_ptr<HostKeys> keys;
    std::unique_ptr<HostDrops> drops;
    std::vector<gfx::Rect> lastDamage;
    uint64_t draws = 0;
    uint64_t ticks = 0;
    guint tick = 0;
    bool pinching = false;
    bool doubleBuffered = false;
    // The touchpad pinch's scale at its last step.
    double pinchScale = 1;
    bool iconified = false;
    bool unmapped = false;
    // The back buffer: the portrait screen at the pixels it shows with, so
    // that only damage is drawn and a transition finds the last frame.
    std::unique_ptr<gfx::BitmapContext> back;
    float backScale = 0;
    gfx::Size backSize;
    core::Observation passObserver;
    std::vector<gulong> handlers;
    Orientation shownOrientation = Orientation::Portrait;
    std::vector<std::weak_ptr<LivePlacement>> placements;
    std::string name;
    std::string title;
    // Screen rectangles whose picture in the back buffer is out of date,
    // drawn again by the next draw over them.
    std::vector<gfx::Rect> stale;

    gfx::Size screenSize() const { return Screen::main()->bounds().size; }

    // The phone's screen, turned as the window stands (a window may be made
    // wide first, then low).
    std::optional<bool> minimumWide;
    void keepMinimumSize(bool wide)
    {
        if (std::exchange(minimumWide, wide) == wide)
            return;
        GdkGeometry hints {};
        hints.min_width = wide ? PhoneLongSide : PhoneShortSide;
        hints.min_height = wide ? PhoneShortSide : PhoneLongSide;
        gtk_window_set_geometry_hints(GTK_WINDOW(window), nullptr, &hints, GDK_HINT_MIN_SIZE);
    }

    // Where pages shown live cover the screen.
    std::vector<gfx::Rect> livePages() const
    {
        std::vector<gfx::Rect> live;
        for (auto& weak : placements) {
            if (auto placement = weak.lock(); placement && placement->shownClip())
                live.push_back(*placement->shownClip());
        }
        return live;
    }
    static bool isUnder(const std::vector<gfx::Rect>& pages, const gfx::Rect& rect)
    {
        return std::any_of(pages.begin(), pages.end(), [&](const gfx::Rect& page) { return page.contains(rect); });
    }

    Orientation interfaceOrientation() const
    {
        auto* application = Application::shared();
        return application ? application->statusBarOrientation() : Orientation::Portrait;
    }

    ScreenFit fit() const
    {
        gfx::Size size { float(gtk_widget_get_allocated_width(area)), float(gtk_widget_get_allocated_height(area)) };
        return ScreenFit(screenSize(), interfaceOrientation(), size);
    }

    // The window paints straight onto its X window while only the area
    // draws in it. A live page's widget drawing there too is another
    // matter: its paints and the area's then reach the screen only through
    // GTK's double buffer (without it the window kept a stale frame, and
    // after an expose showed nothing at all). So the window is double
    // buffered exactly while a page is live in it.
    void followLivePages()
    {
        bool live = std::any_of(placements.begin(), placements.end(), [](const auto& weak) {
            auto placement = weak.lock();
            return placement && placement->container();
        });
        if (live == doubleBuffered)
            return;
        doubleBuffered = live;
        G_GNUC_BEGIN_IGNORE_DEPRECATIONS
        gtk_widget_set_double_buffered(window, live);
        G_GNUC_END_IGNORE_DEPRECATIONS
    }

    bool flush()
    {
        if (displayGone || !gtk_widget_get_realized(area))
            return false;
        followLivePages();
        if (auto* application = Application::shared()) {
            // A screen that kept the interface from turning with the window
            // may have gone.
            if (!tracker.isAnimating())
                application->attemptRotationToDeviceOrientation();
            application->layoutPendingViews();
        }
        keys->follow();
        followTitle();
        // A turned interface turns the whole picture.
        if (Orientation now = interfaceOrientation(); now != shownOrientation) {
            shownOrientation = now;
            tracker.invalidateAll();
        }
        // The pass after an animation ends may change nothing on the screen,
        // yet a live page must take its final place.
        bool animated = tracker.isAnimating();
        auto rects = tracker.collect();
        bool queued = false;
        if (!rects.empty() || animated) {
            // Pages live in the window follow what changed around them.
            for (auto& weak : placements) {
                if (auto placement = weak.lock())
                    placement->refresh();
            }
        }
        if (!rects.empty()) {
            // Under a page shown live nothing of the picture is seen: it is
            // drawn once the page uncovers it.
            auto live = livePages();
            ScreenFit f = fit();
            for (auto& rect : rects) {
                stale.push_back(rect);
                if (isUnder(live, rect))
                    continue;
                gfx::Rect r = f.areaRect(rect);
                if (r.isEmpty())
                    continue;
                gtk_widget_queue_draw_area(area, int(r.x()), int(r.y()), int(r.width()), int(r.height()));
                queued = true;
            }
            if (stale.size() > DamageTracker::MaximumRects)
                stale = DamageTracker::merge(std::move(stale), { { 0, 0 }, screenSize() });
            lastDamage = std::move(rects);
        }
        if (tracker.isAnimating() && !tick)
            tick = gtk_widget_add_tick_callback(area, GuardedCallback<onTick>::call, this, nullptr);
        return queued;
    }

    // The title names the screen shown: its navigation title, then the
    // application's name unless the screen's title names it already.
    void followTitle()
    {
        std::string screen;
        for (auto& shown : Window::allWindows()) {
            if (shown->isHidden() || shown->windowLevel() != Window::LevelNormal)
                continue;
            if (ViewController* controller = shown->visibleViewController()) {
                screen = controller->navigationItem().title();
                if (screen.empty())
                    screen = controller->title();
            }
            // A presented stack that names itself (a picker's "Move 2 Items")
            // is named so whichever of its screens shows.
            ViewController* presented = shown->rootViewController();
            while (presented && presented->modalViewController())
                presented = presented->modalViewController();
            if (presented && presented != shown->rootViewController() && !presented->title().empty()
                && dynamic_cast<NavigationController*>(presented))
                screen = presented->title();
        }
        std::string now = windowTitleFor(screen, name);
        if (now != title) {
            title = now;
            gtk_window_set_title(GTK_WINDOW(window), title.c_str());
        }
    }

    static gboolean onTick(GtkWidget*, GdkFrameClock*, gpointer data)
    {
        auto* self = static_cast<Impl*>(data);
        ++self->ticks;
        self->flush();
        if (self->tracker.isAnimating())
            return G_SOURCE_CONTINUE;
        self->tick = 0;
        return G_SOURCE_REMOVE;
    }

    // Drawing: damage into the back buffer, the back buffer onto the area.
    static gboolean onDraw(GtkWidget* widget, cairo_t* cr, gpointer data)
    {
        auto* self = static_cast<Impl*>(data);
        ++self->draws;
        ScreenFit f = self->fit();
        int deviceScale = gtk_widget_get_scale_factor(widget);
        float scale = f.fit() * float(deviceScale);
        gfx::Size screen = self->screenSize();
        if (scale <= 0 || screen.width <= 0 || screen.height <= 0)
            return TRUE;
        bool whole = false;
        if (!self->back || self->backScale != scale || self->backSize != screen) {
            self->back = gfx::makeImageContext(screen, scale);
            self->backScale = scale;
            self->backSize = screen;
            whole = true;
            if (!self->back)
                return TRUE;
        }
        std::vector<gfx::Rect> clip;
        if (!whole) {
            gfx::AffineTransform toScreen = f.screenToArea().inverted();
            cairo_rectangle_list_t* list = cairo_copy_clip_rectangle_list(cr);
            if (list->status == CAIRO_STATUS_SUCCESS) {
                for (int i = 0; i < list->num_rectangles; ++i) {
                    auto& r = list->rectangles[i];
                    clip.push_back(outward(toScreen.apply(gfx::Rect(float(r.x), float(r.y), float(r.width), float(r.height)))));
                }
            } else {
                double x1, y1, x2, y2;
                cairo_clip_extents(cr, &x1, &y1, &x2, &y2);
                clip.push_back(outward(toScreen.apply(gfx::Rect(float(x1), float(y1), float(x2 - x1), float(y2 - y1)))));
            }
            cairo_rectangle_list_destroy(list);
            if (clip.empty())
                return TRUE;
        }
        // Only what changed since it was drawn is drawn again (a live page
        // drawing over the area asks for its part of the window too); the
        // rest is copied from the back buffer.
        // A page shown live draws over all of it.
        auto live = self->livePages();
        if (!whole && std::all_of(clip.begin(), clip.end(), [&](const gfx::Rect& part) { return isUnder(live, part); }))
            return TRUE;
        std::vector<gfx::Rect> redraw;
        if (whole) {
            self->stale.clear();
        } else {
            for (const auto& part : clip)
                for (const auto& old : self->stale)
                    if (auto common = part.intersection(old); !common.isEmpty())
                        redraw.push_back(outward(common));
            std::erase_if(self->stale, [&](const gfx::Rect& old) {
                return std::any_of(clip.begin(), clip.end(), [&](const gfx::Rect& part) { return part.contains(old); });
            });
        }
        if (whole || !redraw.empty())
            self->render(redraw, whole);
        self->present(widget, cr, f, scale);
        return TRUE;
    }

    // Draws `clip` (everything when `whole`) of the screen into the back buffer.
    void render(const std::vector<gfx::Rect>& clip, bool whole)
    {
        gfx::Size screen = screenSize();
        if (tracker.needsPreviousFrame())
            Renderer::setPreviousScreenFrame(back->makeImage(), backScale);
        gfx::BitmapContext& context = *back;
        context.saveGState();
        context.beginPath();
        if (whole)
            context.addRect({ 0, 0, screen.width, screen.height });
        for (auto& rect : clip)
            context.addRect(rect);
        context.clip();
        context.setFillColor(gfx::Color::white(0));
        context.fillRect({ 0, 0, screen.width, screen.height });
        context.restoreGState();
        RenderOptions options;
        options.scale = backScale;
        options.clip = whole ? std::vector<gfx::Rect>() : clip;
        Renderer::renderScreen(context, options);
    }

    // The back buffer onto the area, turned, fitted and letterboxed.
    void present(GtkWidget* widget, cairo_t* cr, const ScreenFit& f, float scale)
    {
        cairo_save(cr);
        // Letterbox bars: the area less the picture.
        gfx::Rect picture = f.picture();
        cairo_set_fill_rule(cr, CAIRO_FILL_RULE_EVEN_ODD);
        cairo_rectangle(cr, 0, 0, gtk_widget_get_allocated_width(widget), gtk_widget_get_allocated_height(widget));
        cairo_rectangle(cr, picture.x(), picture.y(), picture.width(), picture.height());
        cairo_set_source_rgb(cr, 0, 0, 0);
        cairo_fill(cr);
        const gfx::AffineTransform& t = f.screenToArea();
        cairo_matrix_t matrix;
        cairo_matrix_init(&matrix, t.a, t.b, t.c, t.d, t.tx, t.ty);
        cairo_transform(cr, &matrix);
        cairo_scale(cr, 1.0 / scale, 1.0 / scale);
        cairo_set_source_surface(cr, cairo_get_target(gfx::ContextAccess::cairo(*back)), 0, 0);
        cairo_pattern_set_filter(cairo_get_source(cr), CAIRO_FILTER_FAST);
        cairo_paint(cr);
        cairo_restore(cr);
    }

    // The screen is laid out at the area's size, in points; wider than tall
    // turns the device to landscape, taller to portrait.
    static void onSizeAllocate(GtkWidget*, GdkRectangle* allocation, gpointer data)
    {
        auto* self = static_cast<Impl*>(data);
        self->tracker.invalidateAll();
        auto* application = Application::shared();
        if (!application || allocation->width <= 0 || allocation->height <= 0)
            return;
        gfx::Size size { float(allocation->width), float(allocation->height) };
        self->keepMinimumSize(size.width > size.height);
        Screen::setUserInterfaceIdiom(idiomFor(size));
        application->setInterfaceSize(size);
        bool wide = size.width > size.height;
        Orientation device = application->deviceOrientation();
        if (wide && !isLandscape(device))
            application->setDeviceOrientation(Orientation::LandscapeRight);
        else if (!wide && size.width < size.height && isLandscape(device))
            application->setDeviceOrientation(Orientation::Portrait);
    }

    static void onScaleChanged(GObject*, GParamSpec*, gpointer data)
    {
        auto* self = static_cast<Impl*>(data);
        int factor = gtk_widget_get_scale_factor(self->area);
        if (factor > 0)
            gfx::Screen::main().setScale(float(factor));
        self->tracker.invalidateAll();
        self->flush();
    }

    gfx::Point screenPoint(double x, double y) const { return fit().screenPoint({ float(x), float(y) }); }

    gfx::Point mirror(gfx::Point p) const
    {
        gfx::Size s = screenSize();
        return { std::clamp(s.width - p.x, 0.0f, s.width - 0.01f), std::clamp(s.height - p.y, 0.0f, s.height - 0.01f) };
    }

    static gboolean onButtonPress(GtkWidget*, GdkEventButton* event, gpointer data)
    {
        auto* self = static_cast<Impl*>(data);
        if (event->button != 1 || event->type != GDK_BUTTON_PRESS
            || gdk_event_get_pointer_emulated(reinterpret_cast<GdkEvent*>(event)))
            return TRUE;
        gfx::Point p = self->screenPoint(event->x, event->y);
        self->pinching = (event->state & GDK_CONTROL_MASK) != 0;
        if (self->pinching)
            self->touches.down({ { MouseFinger, p }, { MirrorFinger, self->mirror(p) } });
        else
            self->touches.down({ { MouseFinger, p } });
        return TRUE;
    }

    // The pointer hovers (bars under it stay) until it leaves the area.
    static gboolean onMotion(GtkWidget*, GdkEventMotion* event, gpointer data)
    {
        auto* self = static_cast<Impl*>(data);
        if (gdk_event_get_pointer_emulated(reinterpret_cast<GdkEvent*>(event)))
            return TRUE;
        if (auto* application = Application::shared())
            application->pointer().setHoverLocation(self->screenPoint(event->x, event->y));
        if (self->touches.isDown(MouseFinger))
            self->moveMouse(event->x, event->y);
        return TRUE;
    }

    // A bar's symbol says its name while the pointer rests on it.
    static gboolean onQueryTooltip(GtkWidget*, gint x, gint y, gboolean keyboard, GtkTooltip* tooltip, gpointer data)
    {
        auto* self = static_cast<Impl*>(data);
        auto* application = Application::shared();
        if (keyboard || !application)
            return FALSE;
        application->pointer().setHoverLocation(self->screenPoint(x, y));
        std::string text = application->pointer().hoveredToolTip();
        if (text.empty())
            return FALSE;
        gtk_tooltip_set_text(tooltip, text.c_str());
        return TRUE;
    }

    static gboolean onLeave(GtkWidget*, GdkEventCrossing*, gpointer)
    {
        if (auto* application = Application::shared())
            application->pointer().setHoverLocation(std::nullopt);
        return FALSE;
    }

    // The mouse's finger (and its mirror while pinching) to an area point.
    void moveMouse(double x, double y)
    {
        gfx::Point p = screenPoint(x, y);
        if (pinching)
            touches.move({ { MouseFinger, p }, { MirrorFinger, mirror(p) } });
        else
            touches.move({ { MouseFinger, p } });
    }

    static gboolean onButtonRelease(GtkWidget*, GdkEventButton* event, gpointer data)
    {
        auto* self = static_cast<Impl*>(data);
        if (event->button != 1 || gdk_event_get_pointer_emulated(reinterpret_cast<GdkEvent*>(event)))
            return TRUE;
        if (self->touches.isDown(MouseFinger))
            self->moveMouse(event->x, event->y);
        self->touches.up({ MouseFinger, MirrorFinger });
        self->pinching = false;
        return TRUE;
    }

    static gboolean onGrabBroken(GtkWidget*, GdkEventGrabBroken*, gpointer data)
    {
        auto* self = static_cast<Impl*>(data);
        self->touches.cancel({ MouseFinger, MirrorFinger });
        self->pinching = false;
        return FALSE;
    }

    static gboolean onTouch(GtkWidget*, GdkEventTouch* event, gpointer data)
    {
        auto* self = static_cast<Impl*>(data);
        HostTouches::Id id = fingerOf(event->sequence);
        gfx::Point p = self->screenPoint(event->x, event->y);
        switch (event->type) {
        case GDK_TOUCH_BEGIN:
            self->touches.down({ { id, p } });
            break;
        case GDK_TOUCH_UPDATE:
            self->touches.move({ { id, p } });
            break;
        case GDK_TOUCH_END:
            self->touches.move({ { id, p } });
            self->touches.up({ id });
            break;
        case GDK_TOUCH_CANCEL:
            self->touches.cancel({ id });
            break;
        default:
            break;
        }
        return TRUE;
    }

    static gboolean onScroll(GtkWidget*, GdkEventScroll* event, gpointer data)
    {
        auto* self = static_cast<Impl*>(data);
        auto* raw = reinterpret_cast<GdkEvent*>(event);
        double dx = 0, dy = 0;
        if (event->direction == GDK_SCROLL_SMOOTH) {
            gdk_event_get_scroll_deltas(raw, &dx, &dy);
        } else if (gdk_event_get_pointer_emulated(raw)) {
            return TRUE; // the smooth event beside it carries the motion
        } else {
            dx = event->direction == GDK_SCROLL_LEFT ? -1 : event->direction == GDK_SCROLL_RIGHT ? 1 : 0;
            dy = event->direction == GDK_SCROLL_UP ? -1 : event->direction == GDK_SCROLL_DOWN ? 1 : 0;
        }
        if (!std::isfinite(dx) || !std::isfinite(dy) || (dx == 0 && dy == 0))
            return TRUE;
        auto* application = Application::shared();
        // Ctrl and the wheel zoom: a notch up is a tenth closer.
        if (event->state & GDK_CONTROL_MASK) {
            if (application && dy != 0)
                application->sendEvent(Event::zoom(self->screenPoint(event->x, event->y), float(std::exp(-dy * ZoomStep))));
            return TRUE;
        }
        ScreenFit f = self->fit();
        // Points on the screen, turned like the picture but not scaled.
        gfx::Point delta = f.screenDelta({ float(dx * ScrollStep * f.fit()), float(dy * ScrollStep * f.fit()) });
        if (application)
            application->sendEvent(Event::scroll(self->screenPoint(event->x, event->y), delta));
        return TRUE;
    }

    // A touchpad's pinch zooms by how much it changed since its last step.
    static gboolean onTouchpadPinch(GtkWidget*, GdkEventTouchpadPinch* event, gpointer data)
    {
        auto* self = static_cast<Impl*>(data);
        if (event->phase == GDK_TOUCHPAD_GESTURE_PHASE_BEGIN)
            self->pinchScale = 1;
        if (event->phase != GDK_TOUCHPAD_GESTURE_PHASE_UPDATE || !(event->scale > 0) || !(self->pinchScale > 0))
            return TRUE;
        double step = event->scale / self->pinchScale;
        self->pinchScale = event->scale;
        if (auto* application = Application::shared(); application && std::isfinite(step))
            application->sendEvent(Event::zoom(self->screenPoint(event->x, event->y), float(step)));
        return TRUE;
    }

    // GTK 3 has no signal of its own for touchpad gestures.
    static gboolean onEvent(GtkWidget* widget, GdkEvent* event, gpointer data)
    {
        if (event->type == GDK_TOUCHPAD_PINCH)
            return onTouchpadPinch(widget, &event->touchpad_pinch, data);
        return FALSE;
    }

    static gboolean onKeyPress(GtkWidget*, GdkEventKey* event, gpointer data)
    {
        return static_cast<Impl*>(data)->keys->keyPress(event);
    }

    static gboolean onKeyRelease(GtkWidget*, GdkEventKey* event, gpointer data)
    {
        return static_cast<Impl*>(data)->keys->keyRelease(event);
    }

    static gboolean onFocusIn(GtkWidget*, GdkEventFocus*, gpointer data)
    {
        static_cast<Impl*>(data)->keys->focusIn();
        return FALSE;
    }

    // Minimised or unmapped is the home button; shown again, the return.
    void followVisibility()
    {
        auto* application = Application::shared();
        if (!application)
            return;
        bool hidden = iconified || unmapped;
        if (hidden && application->applicationState() != Application::State::Background) {
            touches.cancelAll();
            if (application->applicationState() == Application::State::Active)
                application->resignActive();
            application->enterBackground();
        } else if (!hidden && application->applicationState() == Application::State::Background) {
            application->enterForeground();
            application->becomeActive();
        }
    }

    static gboolean onWindowState(GtkWidget*, GdkEventWindowState* event, gpointer data)
    {
        auto* self = static_cast<Impl*>(data);
        if (event->changed_mask & GDK_WINDOW_STATE_ICONIFIED) {
            self->iconified = (event->new_window_state & GDK_WINDOW_STATE_ICONIFIED) != 0;
            self->followVisibility();
        }
        return FALSE;
    }

    static gboolean onMap(GtkWidget*, GdkEvent*, gpointer data)
    {
        auto* self = static_cast<Impl*>(data);
        self->unmapped = false;
        self->followVisibility();
        return FALSE;
    }

    static gboolean onUnmap(GtkWidget*, GdkEvent*, gpointer data)
    {
        auto* self = static_cast<Impl*>(data);
        self->unmapped = true;
        self->followVisibility();
        return FALSE;
    }

    // The frame a plain window has now goes to the settings, for the next
    // run to open at (a maximised, full-screen or minimised one keeps the
    // frame it had before).
    static gboolean onConfigure(GtkWidget*, GdkEventConfigure* event, gpointer data)
    {
        auto* self = static_cast<Impl*>(data);
        GdkWindow* window = gtk_widget_get_window(self->window);
        if (!window || (gdk_window_get_state(window)
                & (GDK_WINDOW_STATE_MAXIMIZED | GDK_WINDOW_STATE_FULLSCREEN | GDK_WINDOW_STATE_ICONIFIED)))
            return FALSE;
        // The size the event brings (GTK takes it in only after this
        // handler); the place as the window manager's frame stands, which
        // is what gtk_window_move places at the next opening.
        int x = 0, y = 0;
        const int w = event->width, h = event->height;
        gtk_window_get_position(GTK_WINDOW(self->window), &x, &y);
        const std::string frame = WindowPlace::format({ float(x), float(y), float(w), float(h) });
        auto defaults = core::UserDefaults::standard();
        if (w > 0 && h > 0 && defaults->stringForKey(WindowPlace::FrameKey) != frame)
            defaults->set(WindowPlace::FrameKey, core::Value(frame));
        return FALSE;
    }

    // The close button ends the application (its state saved); the window
    // stays until the program lets it go.
    static gboolean onDelete(GtkWidget*, GdkEvent*, gpointer)
    {
        if (auto* application = Application::shared())
            application->terminate();
        else
            core::RunLoop::main().stop();
        return TRUE;
    }
};

std::unique_ptr<WindowHost> WindowHost::open(const Options& options)
{
    if (!web::GtkStartup::start())
        return nullptr;
    auto impl = std::make_unique<Impl>();
    Impl* m = impl.get();
    displayGone = false;
    GdkDisplay* display = gdk_display_get_default();
    if (GDK_IS_X11_DISPLAY(display)) {
        XSetIOErrorHandler(onXIOError);
        XSetIOErrorExitHandler(GDK_DISPLAY_XDISPLAY(display), onXIOErrorExit, nullptr);
    }

    m->window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    g_object_ref_sink(m->window);
    m->name = options.title;
    m->title = options.title;
    gtk_window_set_title(GTK_WINDOW(m->window), options.title.c_str());
    GList* icons = nullptr;
    for (const auto& path : options.icons) {
        GError* error = nullptr;
        if (GdkPixbuf* icon = gdk_pixbuf_new_from_file(path.c_str(), &error))
            icons = g_list_append(icons, icon);
        else {
            core::log("Warning, the icon {} cannot be read: {}", path, error->message);
            g_error_free(error);
        }
    }
    gtk_window_set_icon_list(GTK_WINDOW(m->window), icons);
    g_list_free_full(icons, g_object_unref);
    m->overlay = gtk_overlay_new();
    m->area = gtk_drawing_area_new();
    gtk_widget_set_can_focus(m->area, TRUE);
    gtk_widget_add_events(m->area, GDK_BUTTON_PRESS_MASK | GDK_BUTTON_RELEASE_MASK | GDK_POINTER_MOTION_MASK
            | GDK_BUTTON1_MOTION_MASK | GDK_TOUCH_MASK | GDK_SCROLL_MASK | GDK_SMOOTH_SCROLL_MASK | GDK_KEY_PRESS_MASK
            | GDK_KEY_RELEASE_MASK | GDK_FOCUS_CHANGE_MASK | GDK_TOUCHPAD_GESTURE_MASK | GDK_LEAVE_NOTIFY_MASK);
    gtk_container_add(GTK_CONTAINER(m->overlay), m->area);
    gtk_container_add(GTK_CONTAINER(m->window), m->overlay);

    // The screen's size in points to begin with, within the monitor's work
    // area; never smaller than the phone's.
    gfx::Size screen = m->screenSize();
    if (auto* application = Application::shared(); application && isLandscape(application->statusBarOrientation()))
        std::swap(screen.width, screen.height);
    double width = screen.width, height = screen.height;
    // The monitors' work areas, the primary first.
    std::vector<gfx::Rect> workAreas;
    GdkMonitor* primary = gdk_display_get_primary_monitor(display);
    for (int i = -1; i < gdk_display_get_n_monitors(display); ++i) {
        GdkMonitor* monitor = i < 0 ? primary : gdk_display_get_monitor(display, i);
        if (!monitor || (i >= 0 && monitor == primary))
            continue;
        GdkRectangle work;
        gdk_monitor_get_workarea(monitor, &work);
        workAreas.emplace_back(float(work.x), float(work.y), float(work.width), float(work.height));
    }
    if (!workAreas.empty() && workAreas[0].width() > 0 && workAreas[0].height() > 0) {
        width = std::min(width, double(workAreas[0].width()));
        height = std::min(height, double(workAreas[0].height()));
    }
    // Where the last run's window stood, on a monitor there is now.
    std::optional<gfx::Rect> place;
    if (auto saved = WindowPlace::parse(core::UserDefaults::standard()->stringForKey(WindowPlace::FrameKey))) {
        const bool savedWide = saved->width() > saved->height();
        place = WindowPlace::restore(*saved, workAreas,
            savedWide ? gfx::Size { float(PhoneLongSide), float(PhoneShortSide) }
                      : gfx::Size { float(PhoneShortSide), float(PhoneLongSide) });
        if (place) {
            width = place->width();
            height = place->height();
        }
    }
    bool wide = width > height;
    m->keepMinimumSize(wide);
    gtk_window_set_default_size(GTK_WINDOW(m->window), std::max(wide ? PhoneLongSide : PhoneShortSide, int(width)),
        std::max(wide ? PhoneShortSide : PhoneLongSide, int(height)));
    if (place)
        gtk_window_move(GTK_WINDOW(m->window), int(place->x()), int(place->y()));
    // The desktop has no status bar of the device's.
    if (auto* application = Application::shared())
        application->setHasStatusBar(false);

    m->keys = std::make_unique<HostKeys>(m->window, m->area, [m] { return m->fit(); }, [m](Orientation orientation) {
        // Ctrl+arrows turn the device and the window with it.
        if (isLandscape(orientation) == isLandscape(Application::shared()->deviceOrientation()))
            return;
        int w = 0, h = 0;
        gtk_window_get_size(GTK_WINDOW(m->window), &w, &h);
        m->keepMinimumSize(h > w);
        gtk_window_resize(GTK_WINDOW(m->window), h, w);
    });

    auto connect = [m](gpointer instance, const char* signal, GCallback callback) {
        m->handlers.push_back(g_signal_connect(instance, signal, callback, m));
    };
    connect(m->area, "draw", G_CALLBACK(GuardedCallback<Impl::onDraw>::call));
    connect(m->area, "size-allocate", G_CALLBACK(GuardedCallback<Impl::onSizeAllocate>::call));
    connect(m->area, "notify::scale-factor", G_CALLBACK(GuardedCallback<Impl::onScaleChanged>::call));
    connect(m->area, "button-press-event", G_CALLBACK(GuardedCallback<Impl::onButtonPress>::call));
    connect(m->area, "button-release-event", G_CALLBACK(GuardedCallback<Impl::onButtonRelease>::call));
    connect(m->area, "motion-notify-event", G_CALLBACK(GuardedCallback<Impl::onMotion>::call));
    connect(m->area, "leave-notify-event", G_CALLBACK(GuardedCallback<Impl::onLeave>::call));
    gtk_widget_set_has_tooltip(m->area, TRUE);
    connect(m->area, "query-tooltip", G_CALLBACK(GuardedCallback<Impl::onQueryTooltip>::call));
    connect(m->area, "grab-broken-event", G_CALLBACK(GuardedCallback<Impl::onGrabBroken>::call));
    connect(m->area, "touch-event", G_CALLBACK(GuardedCallback<Impl::onTouch>::call));
    connect(m->area, "scroll-event", G_CALLBACK(GuardedCallback<Impl::onScroll>::call));
    connect(m->area, "event", G_CALLBACK(GuardedCallback<Impl::onEvent>::call));
    connect(m->window, "key-press-event", G_CALLBACK(GuardedCallback<Impl::onKeyPress>::call));
    connect(m->window, "key-release-event", G_CALLBACK(GuardedCallback<Impl::onKeyRelease>::call));
    connect(m->window, "focus-in-event", G_CALLBACK(GuardedCallback<Impl::onFocusIn>::call));
    connect(m->window, "window-state-event", G_CALLBACK(GuardedCallback<Impl::onWindowState>::call));
    connect(m->window, "map-event", G_CALLBACK(GuardedCallback<Impl::onMap>::call));
    connect(m->window, "unmap-event", G_CALLBACK(GuardedCallback<Impl::onUnmap>::call));
    connect(m->window, "delete-event", G_CALLBACK(GuardedCallback<Impl::onDelete>::call));
    connect(m->window, "configure-event", G_CALLBACK(GuardedCallback<Impl::onConfigure>::call));
    m->drops = std::make_unique<HostDrops>(m->area, options.filesDropped);

    // The area paints all of the window, opaque, bars included, from a back
    // buffer of its own: GTK's double buffer would only add a second copy of
    // every frame (a fresh pixmap of the whole damage, filled, then copied to
    // the window), which at scale 2 cost more than the drawing. Nothing
    // paints the window's background under the area.
    G_GNUC_BEGIN_IGNORE_DEPRECATIONS
    gtk_widget_set_double_buffered(m->window, FALSE);
    G_GNUC_END_IGNORE_DEPRECATIONS
    gtk_widget_set_app_paintable(m->window, TRUE);
    gtk_widget_show_all(m->window);
    gtk_widget_grab_focus(m->area);
    int factor = gtk_widget_get_scale_factor(m->area);
    if (factor > 0)
        gfx::Screen::main().setScale(float(factor));

    // Damage goes out at the end of every pass, after layout, before GLib's
    // context prepares its wait (and so hears of the frame GTK wants).
    core::RunLoop::PassObserver observer;
    observer.beforeWaiting = [m](double wait) {
        m->flush();
        return wait;
    };
    m->passObserver = core::RunLoop::main().addPassObserver(std::move(observer));

    // Web views in the window show their pages live.
    web::WebViewPlacement::setProvider([m](Window&) {
        auto placement = std::make_shared<LivePlacement>(m->overlay, [m] { return m->fit(); }, [m](void* raw) {
            auto* event = static_cast<GdkEvent*>(raw);
            if (event->type == GDK_SCROLL)
                GuardedCallback<Impl::onScroll>::call(m->area, &event->scroll, m);
            else
                GuardedCallback<Impl::onEvent>::call(m->area, event, m);
        });
        std::erase_if(m->placements, [](auto& weak) { return weak.expired(); });
        m->placements.push_back(placement);
        return placement;
    });

    // The desktop's services while the window shows.
    DesktopPrinting::install(m->window);
    DesktopMail::install();

    std::unique_ptr<WindowHost> host(new WindowHost(std::move(impl)));
    currentHost = host.get();
    // SIGUSR1 (blocked by the program before any thread starts) asks for a
    // picture of the screen and the view tree in the home's tmp.
    if (!core::paths::home().empty()) {
        core::RunLoop::main().setSignalHandler(SIGUSR1, [] {
            if (currentHost)
                currentHost->writeSnapshot(core::paths::temporaryDirectory());
        });
    }
    return host;
}

WindowHost::WindowHost(std::unique_ptr<Impl> impl)
    : m(std::move(impl))
{
}

WindowHost::~WindowHost()
{
    if (currentHost == this) {
        currentHost = nullptr;
        if (!core::paths::home().empty())
            core::RunLoop::main().setSignalHandler(SIGUSR1, {});
    }
    m->passObserver = {};
    m->touches = HostTouches();
    DesktopPrinting::uninstall();
    DesktopMail::uninstall();
    web::WebViewPlacement::setProvider(nullptr);
    if (!displayGone) {
        for (auto& weak : m->placements)
            if (auto placement = weak.lock())
                placement->release();
    }
    if (displayGone) {
        // The connection is dead: GTK is not called again, the widgets leak.
        m->keys.release();
        m->drops.release();
        return;
    }
    m->drops.reset();
    if (m->tick)
        gtk_widget_remove_tick_callback(m->area, m->tick);
    m->keys.reset();
    for (gulong handler : m->handlers) {
        if (g_signal_handler_is_connected(m->area, handler))
            g_signal_handler_disconnect(m->area, handler);
        else if (g_signal_handler_is_connected(m->window, handler))
            g_signal_handler_disconnect(m->window, handler);
    }
    gtk_widget_destroy(m->window);
    g_object_unref(m->window);
}

WindowHost* WindowHost::current()
{
    return currentHost;
}

void* WindowHost::window() const
{
    return m->window;
}

void* WindowHost::drawingAreaForTesting() const
{
    return m->area;
}

bool WindowHost::flush()
{
    return m->flush();
}

const std::vector<gfx::Rect>& WindowHost::lastDamage() const
{
    return m->lastDamage;
}

uint64_t WindowHost::drawCountForTesting() const
{
    return m->draws;
}

uint64_t WindowHost::tickCountForTesting() const
{
    return m->ticks;
}

bool WindowHost::isTickingForTesting() const
{
    return m->tick != 0;
}

ScreenFit WindowHost::fit() const
{
    return m->fit();
}

gfx::Rect WindowHost::inputMethodCaretForTesting() const
{
    return m->keys ? m->keys->caretLocation() : gfx::Rect();
}

std::string WindowHost::title() const
{
    return m->title;
}

HostDrops& WindowHost::drops()
{
    return *m->drops;
}

void WindowHost::present()
{
    if (!displayGone)
        gtk_window_present(GTK_WINDOW(m->window));
}

std::string WindowHost::writeSnapshot(const std::string& directory)
{
    core::Error error;
    core::fs::createDirectory(directory, true, &error);
    std::string png = core::path::appendingPathComponent(directory, "screen.png");
    std::string dump = core::path::appendingPathComponent(directory, "screen-dump.txt");
    RenderOptions options;
    options.scale = gfx::Screen::main().scale();
    options.realText = true;
    if (!Renderer::renderScreenToPNG(png, options, &error)) {
        core::log("Cannot write the screen's picture to {}: {}", png, error.localizedDescription());
        return {};
    }
    if (!core::fs::writeFileAtomically(dump, ViewTreeDump::dump(), &error)) {
        core::log("Cannot write the view tree to {}: {}", dump, error.localizedDescription());
        return {};
    }
    core::log("The screen is in {} and its views in {}", png, dump);
    return png;
}

} // namespace ui
