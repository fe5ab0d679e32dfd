// The window under the tests' own Xvfb: GDK events made here and given to
// the drawing area (or the window, for keys) go through the host into the
// toolkit; draws and frame-clock ticks are counted.

#include "HostTestCase.h"

#include "Platform/Core/NotificationCenter.h"
#include "Platform/Core/Paths.h"
#include "Platform/Core/RunLoop.h"
#include "Platform/Graphics/Screen.h"
#include "Platform/UI/Button.h"
#include "Platform/Host/WindowHost.h"
#include "Platform/UI/Label.h"
#include "Platform/UI/Label.h"
#include "Platform/UI/NavigationController.h"
#include "Platform/UI/Pasteboard.h"
#include "Platform/UI/PrintFormatter.h"
#include "Platform/UI/PrintInteractionController.h"
#include "Platform/Host/DesktopPrinting.h"
#include "Platform/UI/PinchGestureRecognizer.h"
#include "Platform/UI/TapGestureRecognizer.h"
#include "Platform/UI/Screen.h"
#include "Platform/UI/TableView.h"
#include "Platform/UI/TableViewCell.h"
#include "Platform/UI/TableViewDataSource.h"
#include "Platform/UI/TextField.h"
#include "Platform/UI/ViewAnimation.h"
#include "Platform/UI/ViewController.h"
#include "Platform/UI/Window.h"
#include "Platform/Web/GtkWebEngine.h"
#include "Platform/Web/WebEngine.h"
#include "Platform/Web/WebView.h"
#include "Support/Command.h"
#include "Support/UITestCase.h"
#include "Support/XvfbDisplay.h"

#include <cairo-pdf.h>
#include <gdk/gdkx.h>
#include <gtk/gtk.h>

using namespace ui;

namespace {

class WindowHostTest : public test::HostTestCase { };

TEST_F(WindowHostTest, DrawsOnlyWhatChangedAndNothingWhileIdle)
{
    uint64_t draws = host->drawCountForTesting();
    pump([] { return false; }, 0.3);
    EXPECT_EQ(host->drawCountForTesting(), draws) << "idle: no draws";
    EXPECT_FALSE(host->isTickingForTesting()) << "idle: no frame clock";

    auto view = View::create({ 10, 10, 40, 40 });
    view->setBackgroundColor(gfx::Color::rgb255(200, 0, 0));
    window().addSubview(view);
    ASSERT_TRUE(pump([&] { return host->drawCountForTesting() > draws; }));
    EXPECT_EQ(host->lastDamage(), std::vector<gfx::Rect> { gfx::Rect(10, 10, 40, 40) });
    settle();

    view->setFrame({ 100, 100, 40, 40 });
    draws = host->drawCountForTesting();
    ASSERT_TRUE(pump([&] { return host->drawCountForTesting() > draws; }));
    EXPECT_EQ(host->lastDamage().size(), 2u);
    settle();
    view->setAlpha(0.5f);
    draws = host->drawCountForTesting();
    ASSERT_TRUE(pump([&] { return host->drawCountForTesting() > draws; }));
    EXPECT_EQ(host->lastDamage(), std::vector<gfx::Rect> { gfx::Rect(100, 100, 40, 40) });
    settle();

    // An animation ticks the frame clock until it ends.
    ViewAnimation::animate(0.5, [&] { view->setFrame({ 200, 100, 40, 40 }); });
    ASSERT_TRUE(pump([&] { return host->isTickingForTesting(); }));
    advance(1);
    EXPECT_TRUE(pump([&] { return !host->isTickingForTesting(); })) << "ticks end with the animation";
    settle();
    draws = host->drawCountForTesting();
    uint64_t ticks = host->tickCountForTesting();
    pump([] { return false; }, 0.3);
    EXPECT_EQ(host->drawCountForTesting(), draws);
    EXPECT_EQ(host->tickCountForTesting(), ticks);
}

TEST_F(WindowHostTest, TheMouseIsOneFingerAndCtrlDragPinches)
{
    auto ok = Button::create(Button::Type::RoundedRect, { 100, 100, 80, 44 });
    ok->setTitle("OK", Control::Normal);
    int taps = 0;
    ok->addTarget(nullptr, "ok", [&](Control&, const Event*) { ++taps; }, Control::TouchUpInside);
    window().addSubview(ok);
    settle();
    button(GDK_BUTTON_PRESS, { 140, 122 });
    button(GDK_BUTTON_RELEASE, { 140, 122 });
    pump([&] { return taps > 0; }, 1);
    EXPECT_EQ(taps, 1);
    // Events of a press never begun are dropped.
    motion({ 10, 10 });
    button(GDK_BUTTON_RELEASE, { 10, 10 });
    EXPECT_EQ(taps, 1);
    ok->removeFromSuperview();

    auto surface = View::create({ 0, 0, 320, 480 });
    window().addSubview(surface);
    auto pinch = PinchGestureRecognizer::create();
    surface->addGestureRecognizer(pinch);
    float scale = 0;
    pinch->addTarget(nullptr, "zoom", [&](GestureRecognizer& r) { scale = static_cast<PinchGestureRecognizer&>(r).scale(); });
    // The pointer and its mirror about the centre (160, 240).
    button(GDK_BUTTON_PRESS, { 200, 240 }, GDK_CONTROL_MASK);
    for (float x = 210; x <= 280; x += 10)
        motion({ x, 240 }, GDK_BUTTON1_MASK | GDK_CONTROL_MASK);
    button(GDK_BUTTON_RELEASE, { 280, 240 }, GDK_CONTROL_MASK);
    EXPECT_NEAR(scale, 3.0f, 0.03f) << "from 80 apart to 240 apart";
    surface->removeFromSuperview();
}

TEST_F(WindowHostTest, TouchSequencesAreFingersOfTheirOwn)
{
    auto surface = View::create({ 0, 0, 320, 480 });
    window().addSubview(surface);
    auto pinch = PinchGestureRecognizer::create();
    surface->addGestureRecognizer(pinch);
    float scale = 0;
    pinch->addTarget(nullptr, "zoom", [&](GestureRecognizer& r) { scale = static_cast<PinchGestureRecognizer&>(r).scale(); });
    touch(GDK_TOUCH_BEGIN, 7, { 100, 200 });
    touch(GDK_TOUCH_BEGIN, 8, { 200, 200 });
    for (int i = 1; i <= 5; ++i) {
        touch(GDK_TOUCH_UPDATE, 7, { 100.0f - float(i) * 10, 200 });
        touch(GDK_TOUCH_UPDATE, 8, { 200.0f + float(i) * 10, 200 });
    }
    touch(GDK_TOUCH_END, 7, { 50, 200 });
    touch(GDK_TOUCH_END, 8, { 250, 200 });
    EXPECT_NEAR(scale, 2.0f, 0.02f);
    // A sequence never begun is dropped.
    touch(GDK_TOUCH_UPDATE, 99, { 10, 10 });
    touch(GDK_TOUCH_END, 99, { 10, 10 });
    surface->removeFromSuperview();
}

TEST_F(WindowHostTest, TheWheelScrollsALongTableWithinItsBounds)
{
    auto rows = std::make_shared<test::NumberedRows>(10000);
    auto table = TableView::create({ 0, 0, 320, 480 });
    table->setDataSource(rows);
    window().addSubview(table);
    settle();
    auto scroll = [&](double dy) { wheel({ 160, 240 }, GDK_SCROLL_SMOOTH, dy); };
    for (int i = 0; i < 10; ++i)
        scroll(1.5);
    EXPECT_FLOAT_EQ(table->contentOffset().y, 600);
    EXPECT_FALSE(table->isDragging());
    uint64_t draws = host->drawCountForTesting();
    EXPECT_TRUE(pump([&] { return host->drawCountForTesting() > draws; }));
    scroll(-100);
    EXPECT_FLOAT_EQ(table->contentOffset().y, 0) << "no bounce past the top";
    scroll(1e6);
    EXPECT_FLOAT_EQ(table->contentOffset().y, table->maximumContentOffset().y);
    table->removeFromSuperview();
}

TEST_F(WindowHostTest, KeysAndTheInputMethodTypeIntoTheFirstResponder)
{
    auto field = TextField::create({ 10, 40, 300, 31 });
    window().addSubview(field);
    field->becomeFirstResponder();
    host->flush();
    for (guint keyval : { guint(GDK_KEY_a), guint(GDK_KEY_eacute), gdk_unicode_to_keyval(0x6f22) })
        key(keyval);
    EXPECT_EQ(field->text(), "aé漢");
    key(GDK_KEY_BackSpace);
    EXPECT_EQ(field->text(), "aé");
    key(GDK_KEY_Left);
    key(GDK_KEY_b);
    EXPECT_EQ(field->text(), "abé") << "the caret moves a whole code point";

    // Ctrl+Shift+U and a code: marked while composed, the character after.
    key(GDK_KEY_U, GDK_CONTROL_MASK | GDK_SHIFT_MASK);
    // As a person lets go: the modifiers after the letter.
    key(GDK_KEY_Shift_L, GDK_CONTROL_MASK | GDK_SHIFT_MASK, { GDK_KEY_RELEASE });
    key(GDK_KEY_Control_L, GDK_CONTROL_MASK, { GDK_KEY_RELEASE });
    for (guint keyval : { guint(GDK_KEY_6), guint(GDK_KEY_f), guint(GDK_KEY_2), guint(GDK_KEY_2) })
        key(keyval);
    EXPECT_TRUE(field->hasMarkedText());
    EXPECT_EQ(field->text(), "abu6f22é");
    key(GDK_KEY_space);
    EXPECT_FALSE(field->hasMarkedText());
    EXPECT_EQ(field->text(), "ab漢é");

    // The desktop's clipboard comes in with Ctrl+V; what the input copies
    // goes out.
    gtk_clipboard_set_text(gtk_clipboard_get(GDK_SELECTION_CLIPBOARD), "from the desktop", -1);
    key(GDK_KEY_a, GDK_CONTROL_MASK);
    key(GDK_KEY_v, GDK_CONTROL_MASK);
    EXPECT_TRUE(pump([&] { return field->text() == "from the desktop"; })) << field->text();
    key(GDK_KEY_a, GDK_CONTROL_MASK);
    key(GDK_KEY_BackSpace);
    key(GDK_KEY_z);
    key(GDK_KEY_a, GDK_CONTROL_MASK);
    key(GDK_KEY_c, GDK_CONTROL_MASK);
    EXPECT_EQ(Pasteboard::general()->string(), "z");
    field->resignFirstResponder();
    // Text while nothing takes text is dropped.
    key(GDK_KEY_q);
    EXPECT_EQ(field->text(), "z");
    field->removeFromSuperview();
}

// The screen is laid out at the window's size, unscaled and without a
// status bar: wider than tall is landscape, below the tablet's size the
// phone's idiom. The window's title follows the screen's.
TEST_F(WindowHostTest, TheScreenTakesTheWindowsSizeAndClosingEndsTheApplication)
{
    struct AnyWayUp : ViewController {
        bool shouldAutorotate(Orientation) override { return true; }
    };
    auto screen = std::make_shared<AnyWayUp>();
    this->window().setRootViewController(screen);
    GtkWindow* window = GTK_WINDOW(host->window());
    // The window's title names the screen and the application, once.
    for (auto [shown, expected] : { std::pair { "Notes", "Notes — Tandry test" }, { "Help - Tandry test", "Help — Tandry test" },
             { "Tandry tests", "Tandry tests — Tandry test" }, { "", "Tandry test" } }) {
        screen->setTitle(shown);
        host->flush();
        EXPECT_EQ(host->title(), expected);
        EXPECT_EQ(gtk_window_get_title(window), std::string(expected));
    }
    // A presented stack that names itself is named so over its screens.
    auto folder = ViewController::create();
    folder->setTitle("Projects");
    auto picker = NavigationController::create(folder);
    picker->setTitle("Move 2 Items");
    screen->presentModalViewController(picker, false);
    host->flush();
    EXPECT_EQ(host->title(), "Move 2 Items — Tandry test");
    screen->dismissModalViewController(false);
    EXPECT_EQ(application().applicationFrame(), ui::Screen::main()->bounds());
    resize(1400, 900);
    EXPECT_EQ(application().statusBarOrientation(), Orientation::LandscapeRight);
    EXPECT_EQ(ui::Screen::main()->bounds(), (gfx::Rect { 0, 0, 900, 1400 }));
    EXPECT_EQ(host->fit().fit(), 1) << "points are pixels at scale 1";
    EXPECT_EQ(ui::Screen::userInterfaceIdiom(), core::Device::Idiom::Tablet);
    resize(700, 1000);
    EXPECT_EQ(application().statusBarOrientation(), Orientation::Portrait);
    EXPECT_EQ(ui::Screen::main()->bounds(), (gfx::Rect { 0, 0, 700, 1000 }));
    EXPECT_EQ(ui::Screen::userInterfaceIdiom(), core::Device::Idiom::Phone);
    resize(480, 320);
    EXPECT_EQ(application().statusBarOrientation(), Orientation::LandscapeRight);
    gtk_window_resize(window, 300, 200);
    pump([] { return false; }, 0.3);
    EXPECT_EQ(ui::Screen::main()->bounds(), (gfx::Rect { 0, 0, 320, 480 })) << "no smaller than the phone";
    this->window().setRootViewController(nullptr);

    bool ended = false;
    auto observation = core::NotificationCenter::defaultCenter().observe(Application::willTerminateNotification,
        nullptr, [&](const core::Notification&) { ended = true; });
    GdkEvent* event = gdk_event_new(GDK_DELETE);
    send(event, GTK_WIDGET(window));
    EXPECT_TRUE(ended);
    EXPECT_TRUE(gtk_widget_get_visible(GTK_WIDGET(window))) << "the program lets the window go";
}

// Export mode: what the dialog would print, into a PDF, checked by poppler's
// own tools.
TEST_F(WindowHostTest, PrintsPdfPagesAndAViewPageByPage)
{
    if (!test::hasProgram("pdfinfo") || !test::hasProgram("pdftotext"))
        GTEST_SKIP() << "poppler-utils are missing";
    std::string source = pathInHome("three.pdf");
    cairo_surface_t* surface = cairo_pdf_surface_create(source.c_str(), 300, 400);
    cairo_t* cr = cairo_create(surface);
    for (int page = 1; page <= 3; ++page) {
        cairo_move_to(cr, 40, 60);
        cairo_set_font_size(cr, 24);
        cairo_show_text(cr, ("Sheet number " + std::to_string(page)).c_str());
        cairo_show_page(cr);
    }
    cairo_destroy(cr);
    cairo_surface_destroy(surface);

    auto& printer = PrintInteractionController::shared();
    std::string tmp = core::paths::temporaryDirectory();
    std::string out = tmp + "printed.pdf";
    DesktopPrinting::setExportPathForTesting(out);
    std::optional<bool> completed;
    printer.setPrintingItem(core::Value(core::URL::fileURL(source).absoluteString()));
    ASSERT_TRUE(printer.present(false, [&](PrintInteractionController&, bool done, const core::Error*) { completed = done; }));
    ASSERT_TRUE(pump([&] { return completed.has_value(); }));
    EXPECT_TRUE(*completed);
    EXPECT_EQ(test::pdfPageCount(out), 3);
    auto text = test::runCommand({ "pdftotext", out, "-" });
    EXPECT_NE(text.output.find("Sheet number 2"), std::string::npos) << text.output;

    // A view 1400 points long at a sheet's width (320 points) prints on four
    // sheets of either usual paper.
    auto view = View::create({ 0, 0, 320, 1400 });
    view->setBackgroundColor(gfx::Color::white(1));
    auto label = Label::create({ 10, 1300, 300, 30 });
    label->setText("Bottom of the view");
    view->addSubview(label);
    printer.reset();
    PrintInteractionController::setPrintingAvailable(true);
    printer.setPrintFormatter(PrintFormatter::create(view));
    completed.reset();
    std::string second = tmp + "view.pdf";
    DesktopPrinting::setExportPathForTesting(second);
    ASSERT_TRUE(printer.present(false, [&](PrintInteractionController&, bool done, const core::Error*) { completed = done; }));
    ASSERT_TRUE(pump([&] { return completed.has_value(); }));
    EXPECT_TRUE(*completed);
    EXPECT_EQ(test::pdfPageCount(second), 4);
    DesktopPrinting::setExportPathForTesting({});
    printer.reset();
}

TEST_F(WindowHostTest, AWebViewsPageShowsLiveOverItsPlace)
{
    auto engine = web::GtkWebEngine::shared();
    ASSERT_TRUE(engine);
    web::WebEngine::setCurrent(engine);
    GtkWidget* overlay = gtk_bin_get_child(GTK_BIN(host->window()));
    auto pages = [&] { return livePages(); };
    auto page = web::WebView::create({ 20, 40, 200, 100 });
    page->loadHTMLString("<p>live</p>");
    window().addSubview(page);
    runLoop();
    ASSERT_EQ(pages().size(), 1u);
    GtkWidget* layout = pages()[0];
    // Where a page's container stands in the overlay.
    auto placed = [&](GtkWidget* widget) {
        int x = -1, y = -1;
        gtk_widget_translate_coordinates(widget, overlay, 0, 0, &x, &y);
        return gfx::Rect(float(x), float(y), float(gtk_widget_get_allocated_width(widget)),
            float(gtk_widget_get_allocated_height(widget)));
    };
    EXPECT_TRUE(pump([&] { return placed(layout) == gfx::Rect(20, 40, 200, 100); }))
        << "the page stands where its view is: " << placed(layout).y();

    // A click on the live page is the page's, and the tap recognizers
    // around the view hear of it too, at its place in the window.
    auto around = TapGestureRecognizer::create();
    auto twice = TapGestureRecognizer::create();
    twice->setNumberOfTapsRequired(2);
    std::vector<gfx::Point> taps;
    int doubles = 0;
    around->addTarget(nullptr, "tap", [&](GestureRecognizer& r) { taps.push_back(r.locationInView(nullptr)); });
    twice->addTarget(nullptr, "twice", [&](GestureRecognizer&) { ++doubles; });
    window().addGestureRecognizer(around);
    window().addGestureRecognizer(twice);
    page->loadHTMLString("<body style='margin:0;height:100vh' onclick='document.title = \"clicked \" + event.detail'>x</body>");
    ASSERT_TRUE(pump([&] { return !page->isLoading() && page->url(); }));
    pump([] { return false; }, 0.3);
    std::string xid = std::to_string(gdk_x11_window_get_xid(gtk_widget_get_window(GTK_WIDGET(host->window()))));
    auto clicked = test::XvfbDisplay::xdotool({ "mousemove", "--window", xid, "120", "90", "click", "1" });
    ASSERT_EQ(clicked.status, 0) << clicked.output;
    EXPECT_TRUE(pump([&] { return page->title() == "clicked 1" && !taps.empty(); })) << page->title();
    ASSERT_EQ(taps.size(), 1u);
    EXPECT_NEAR(taps[0].x, 120, 1);
    EXPECT_NEAR(taps[0].y, 90, 1);
    EXPECT_EQ(doubles, 0);
    pump([] { return false; }, 0.5);
    clicked = test::XvfbDisplay::xdotool({ "mousemove", "--window", xid, "60", "60", "click", "--repeat", "2", "--delay", "80", "1" });
    ASSERT_EQ(clicked.status, 0) << clicked.output;
    EXPECT_TRUE(pump([&] { return doubles == 1; })) << "a double click is the double tap's";
    window().removeGestureRecognizer(around.get());
    window().removeGestureRecognizer(twice.get());

    // Cut by a clipping ancestor.
    auto clipper = View::create({ 0, 0, 320, 90 });
    clipper->setClipsToBounds(true);
    window().addSubview(clipper);
    clipper->addSubview(page);
    runLoop();
    EXPECT_TRUE(pump([&] { return !pages().empty() && placed(pages()[0]) == gfx::Rect(20, 40, 200, 50); }))
        << "cut by the clipping view";
    page->setHidden(true);
    page->setNeedsLayout();
    runLoop();
    ASSERT_FALSE(pages().empty());
    EXPECT_FALSE(gtk_widget_get_visible(pages()[0]));

    clipper->removeFromSuperview();
    page->removeFromSuperview();
    runLoop();
    EXPECT_TRUE(pages().empty()) << "the page left the window";
    page.reset();
    clipper.reset();
    web::WebEngine::setCurrent(nullptr);
}

} // namespace
