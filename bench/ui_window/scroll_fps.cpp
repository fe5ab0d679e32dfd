// tool: tandry_app tandry_platform_host tandry_platform_web
// The folder screen of a 10,000-file folder in the desktop window (768 ×
// 1024 points at the scale GDK_SCALE gives), scrolled down for a while at
// a steady speed, for bench/ui_window/scroll_fps.sh (which starts Xvfb).
//
//   scroll_fps wheel|smooth SECONDS POINTS_PER_SECOND
//     wheel: xdotool turns the wheel (button 5, 40 points a notch) through
//       XTest at the notches a second the speed needs;
//     smooth: a touchpad's smooth scroll events (0.625 units, 25 points,
//       each) are put into GDK's queue at the rate the speed needs.
//   Prints "scrolled FRAMES SECONDS P50 P95 RENDER_MEAN RENDER_P95 PIXELS
//   SCROLLED CPU": the frames painted while scrolling, over how many
//   seconds, the 50th and 95th percentile of the time between painted
//   frames (ms), the mean and 95th percentile of a frame's paint (from the
//   draw handler's start to the frame clock's after-paint, ms), the mean
//   device pixels drawn a frame, the points the list moved, and the
//   process's CPU seconds over the scrolling. Then "fed P95 MAX": how late
//   the smooth events went into GDK's queue (ms; 0 0 for the wheel), and
//   "rendered MEAN P95": the Renderer alone drawing the whole screen into
//   a picture at the scale as the list moves on (ms), without the copy
//   onto the display; and
//   "copied MEAN P95": that picture painted onto a surface of the
//   display's and the X server waited for (ms). Last "drawn MEAN P95":
//   the host's draw handler alone while scrolling, the rest of a frame's
//   paint being GTK's end of the frame (ms).

#include "App/FolderBrowser/VKFolderController.h"
#include "Shell/VKApplication.h"
#include "Shell/VKNavigationController.h"
#include "FileModel/VKFileResource.h"
#include "Platform/Core/Paths.h"
#include "Platform/Core/RunLoop.h"
#include "Platform/Graphics/BitmapContext.h"
#include "Platform/Graphics/ContextInternal.h"
#include "Platform/Graphics/Screen.h"
#include "Platform/Graphics/TextEngine.h"
#include "Platform/Host/WindowHost.h"
#include "Platform/UI/Renderer.h"
#include "Platform/UI/ScrollView.h"
#include "Platform/UI/Screen.h"
#include "Platform/UI/Window.h"
#include "Platform/Web/GtkStartup.h"

#include <gdk/gdkx.h>
#include <gtk/gtk.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fmt/format.h>
#include <fstream>
#include <functional>
#include <spawn.h>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <vector>

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;

double cpuSeconds()
{
    rusage usage {};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec)
        + double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

double milliseconds(Clock::duration d)
{
    return std::chrono::duration<double, std::milli>(d).count();
}

double percentile(std::vector<double> values, double p)
{
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    return values[std::min(values.size() - 1, size_t(p * double(values.size() - 1) + 0.5))];
}

// Names as people keep them: digits, mixed case, accents, several kinds.
void fillFolder(const std::string& folder, int count)
{
    static const char* stems[] = { "Invoice", "photo", "Été", "notes", "Übersicht", "draft", "Zeta", "année", "IMG" };
    static const char* extensions[] = { "pdf", "txt", "JPG", "docx", "mp3", "zip" };
    std::filesystem::create_directories(folder);
    for (int i = 0; i < count; ++i) {
        std::ofstream out(fmt::format("{}/{} {}.{}", folder, stems[i % 9], i * 7919 % 100'003, extensions[i % 6]),
            std::ios::binary);
        out << std::string(size_t(i % 300), 'x');
    }
}

// What the frames cost: the draw handler's start (an emission hook, before
// the host's handler) and the clip it draws, then the frame clock's end of
// the paint.
struct Frames {
    bool counting = false;
    int scale = 1;
    GtkWidget* area = nullptr;
    Clock::time_point drawStart;
    bool drawing = false;
    std::vector<Clock::time_point> painted;
    std::vector<double> paints;
    std::vector<double> draws;
    double pixels = 0;
};
Frames frames;

gboolean onDrawEmission(GSignalInvocationHint*, guint count, const GValue* values, gpointer)
{
    if (!frames.counting || count < 2 || g_value_get_object(&values[0]) != frames.area)
        return TRUE;
    auto* cr = static_cast<cairo_t*>(g_value_get_boxed(&values[1]));
    frames.drawStart = Clock::now();
    frames.drawing = true;
    cairo_rectangle_list_t* list = cairo_copy_clip_rectangle_list(cr);
    if (list->status == CAIRO_STATUS_SUCCESS)
        for (int i = 0; i < list->num_rectangles; ++i)
            frames.pixels += list->rectangles[i].width * list->rectangles[i].height * frames.scale * frames.scale;
    cairo_rectangle_list_destroy(list);
    return TRUE;
}

// After the overlay drew its children: the host's draw handler is done.
gboolean onOverlayDrawn(GtkWidget*, cairo_t*, gpointer)
{
    if (frames.counting && frames.drawing)
        frames.draws.push_back(milliseconds(Clock::now() - frames.drawStart));
    return FALSE;
}

void onAfterPaint(GdkFrameClock*, gpointer)
{
    if (!frames.counting || !frames.drawing)
        return;
    frames.drawing = false;
    auto now = Clock::now();
    frames.paints.push_back(milliseconds(now - frames.drawStart));
    frames.painted.push_back(now);
}

ui::ScrollView* deepestScrollView(ui::View& view)
{
    for (auto& subview : view.subviews())
        if (auto* found = deepestScrollView(*subview))
            return found;
    return dynamic_cast<ui::ScrollView*>(&view);
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 4 || (std::strcmp(argv[1], "wheel") != 0 && std::strcmp(argv[1], "smooth") != 0)) {
        std::fprintf(stderr, "usage: %s wheel|smooth SECONDS POINTS_PER_SECOND\n", argv[0]);
        return 2;
    }
    bool wheel = std::strcmp(argv[1], "wheel") == 0;
    double seconds = std::atof(argv[2]), speed = std::atof(argv[3]);
    std::string home = (std::filesystem::temp_directory_path() / "tandry-scroll-fps-XXXXXX").string();
    if (!mkdtemp(home.data()))
        return 3;
    core::paths::setHome(home);
    core::RunLoop::setMainThread();
    auto& loop = core::RunLoop::main();
    if (!web::GtkStartup::start())
        return 3;
    auto application = VKApplication::create();
    ui::Application::setShared(application);
    frames.scale = web::GtkStartup::scaleFactor();
    gfx::Screen::main().setScale(float(frames.scale));
    ui::Screen::main()->setBounds({ 0, 0, 768, 1024 });
    gfx::setTextEngine(gfx::makePangoTextEngine());

    std::string folder = application->documentsDirectory() + "/Many";
    fillFolder(folder, 10'000);
    auto window = ui::Window::create(ui::Screen::main()->bounds());
    window->makeKeyAndVisible();
    auto list = VKFolderController::folderControllerWithResource(VKFileResource::resourceWithPath(folder), {});
    auto navigation = VKNavigationController::create(list);
    window->setRootViewController(navigation);
    auto host = ui::WindowHost::open({ "Scroll", {}, {} });
    if (!host)
        return 4;
    loop.runUntil([&] { return host->drawCountForTesting() > 0; }, 10);
    loop.runUntil([] { return false; }, 1.0);
    ui::ScrollView* table = deepestScrollView(*window);
    if (!table)
        return 5;

    auto* area = static_cast<GtkWidget*>(host->drawingAreaForTesting());
    frames.area = area;
    g_signal_add_emission_hook(g_signal_lookup("draw", GTK_TYPE_WIDGET), 0, onDrawEmission, nullptr, nullptr);
    g_signal_connect(gtk_widget_get_frame_clock(area), "after-paint", G_CALLBACK(onAfterPaint), nullptr);
    g_signal_connect_after(gtk_widget_get_parent(area), "draw", G_CALLBACK(onOverlayDrawn), nullptr);

    // The pointer over the list's middle; the wheel turns from there.
    GdkWindow* gdkWindow = gtk_widget_get_window(area);
    std::string xid = std::to_string(gdk_x11_window_get_xid(gtk_widget_get_window(GTK_WIDGET(host->window()))));
    float before = table->contentOffset().y;
    pid_t turning = -1;
    std::vector<double> feedLate;
    double cpuAtStart = cpuSeconds();
    auto start = Clock::now();
    frames.counting = true;
    if (wheel) {
        int notches = int(speed * seconds / 40 + 0.5);
        std::vector<std::string> arguments { "xdotool", "mousemove", "--window", xid, "384", "512", "click", "--repeat",
            std::to_string(notches), "--delay", std::to_string(int(1000 * 40 / speed)), "5" };
        std::vector<char*> argv2;
        for (auto& a : arguments)
            argv2.push_back(a.data());
        argv2.push_back(nullptr);
        if (posix_spawnp(&turning, "xdotool", nullptr, nullptr, argv2.data(), environ) != 0)
            return 6;
        int status = 0;
        loop.runUntil([&] { return waitpid(turning, &status, WNOHANG) == turning; }, seconds * 3);
    } else {
        // Smooth events, one every 25 points, at their times. The loop waits
        // no longer than until the next one is due: a pass with nothing to do
        // may otherwise sleep 50 ms before the time is looked at again.
        constexpr double Step = 25;
        double interval = Step / speed;
        int sent = 0, total = int(seconds / interval + 0.5);
        auto sinceStart = [&] { return std::chrono::duration<double>(Clock::now() - start).count(); };
        while (sent < total) {
            double due = sent * interval;
            loop.runUntil([&] { return sinceStart() >= due; }, due - sinceStart());
            feedLate.push_back(1000 * (sinceStart() - due));
            GdkEvent* event = gdk_event_new(GDK_SCROLL);
            event->scroll.window = GDK_WINDOW(g_object_ref(gdkWindow));
            event->scroll.direction = GDK_SCROLL_SMOOTH;
            event->scroll.x = 384;
            event->scroll.y = 512;
            event->scroll.delta_y = Step / 40;
            event->scroll.time = GDK_CURRENT_TIME;
            gdk_event_set_device(event, gdk_seat_get_pointer(gdk_display_get_default_seat(gdk_display_get_default())));
            gdk_event_put(event);
            gdk_event_free(event);
            ++sent;
        }
    }
    // The last frame in.
    loop.runUntil([] { return false; }, 0.1);
    frames.counting = false;
    double elapsed = std::chrono::duration<double>(Clock::now() - start).count();
    double cpu = cpuSeconds() - cpuAtStart;
    std::vector<double> gaps;
    for (size_t i = 1; i < frames.painted.size(); ++i)
        gaps.push_back(milliseconds(frames.painted[i] - frames.painted[i - 1]));
    // Over the time frames were painted: from the first to the last.
    double span = frames.painted.size() > 1
        ? std::chrono::duration<double>(frames.painted.back() - frames.painted.front()).count()
        : elapsed;
    double mean = 0;
    for (double paint : frames.paints)
        mean += paint;
    size_t count = frames.paints.size();
    std::printf("scrolled %zu %.3f %.2f %.2f %.2f %.2f %.0f %.0f %.3f\n", count, span, percentile(gaps, 0.5),
        percentile(gaps, 0.95), count ? mean / double(count) : 0, percentile(frames.paints, 0.95),
        count ? frames.pixels / double(count) : 0, table->contentOffset().y - before, cpu);
    std::printf("fed %.2f %.2f\n", percentile(feedLate, 0.95),
        feedLate.empty() ? 0 : *std::max_element(feedLate.begin(), feedLate.end()));
    // The Renderer alone, the whole screen as the host draws it into its
    // back buffer: what of the paint is drawing, the rest is the copy onto
    // the display and GTK's frame.
    {
        auto back = gfx::makeImageContext({ 768, 1024 }, float(frames.scale));
        ui::RenderOptions options;
        options.scale = float(frames.scale);
        options.clip = { gfx::Rect { 0, 0, 768, 1024 } };
        std::vector<double> renders;
        for (int i = 0; i < 30; ++i) {
            table->setContentOffset({ 0, table->contentOffset().y - 25 });
            window->layoutIfNeeded();
            auto began = Clock::now();
            ui::Renderer::renderScreen(*back, options);
            renders.push_back(milliseconds(Clock::now() - began));
        }
        double sum = 0;
        for (double r : renders)
            sum += r;
        std::printf("rendered %.2f %.2f\n", sum / double(renders.size()), percentile(renders, 0.95));

        // The finished picture onto a surface of the display's, as GTK's
        // frame takes it: the rest of a frame's paint.
        cairo_surface_t* shown = gdk_window_create_similar_surface(gdkWindow, CAIRO_CONTENT_COLOR, 768, 1024);
        cairo_surface_t* picture = cairo_get_target(gfx::ContextAccess::cairo(*back));
        std::vector<double> copies;
        for (int i = 0; i < 30; ++i) {
            auto began = Clock::now();
            cairo_t* cr = cairo_create(shown);
            cairo_scale(cr, 1.0 / frames.scale, 1.0 / frames.scale);
            cairo_set_source_surface(cr, picture, 0, 0);
            cairo_paint(cr);
            cairo_destroy(cr);
            cairo_surface_flush(shown);
            gdk_display_sync(gdk_display_get_default());
            copies.push_back(milliseconds(Clock::now() - began));
        }
        cairo_surface_destroy(shown);
        sum = 0;
        for (double c : copies)
            sum += c;
        std::printf("copied %.2f %.2f\n", sum / double(copies.size()), percentile(copies, 0.95));
    }
    double drawn = 0;
    for (double d : frames.draws)
        drawn += d;
    std::printf("drawn %.2f %.2f\n", frames.draws.empty() ? 0 : drawn / double(frames.draws.size()),
        percentile(frames.draws, 0.95));
    std::fflush(stdout);
    host.reset();
    std::filesystem::remove_all(home);
    std::_Exit(0);
}
