// The host's input beyond taps: the input method's candidates beside the
// caret, the host's own keys, a broken grab, the wheel's step, the
// clipboard's bounds and the keyboard handed between a live page and the
// toolkit.

#include "HostTestCase.h"

#include "Support/TestEnvironment.h"

#include "Platform/Core/NotificationCenter.h"
#include "Platform/UI/AlertView.h"
#include "Platform/UI/Application.h"
#include "Platform/UI/Event.h"
#include "Platform/Host/HostKeys.h"
#include "Platform/UI/Layer.h"
#include "Platform/UI/Pasteboard.h"
#include "Platform/UI/TextField.h"
#include "Platform/UI/TextView.h"
#include "Platform/UI/Window.h"
#include "Platform/Web/GtkWebEngine.h"
#include "Platform/Web/WebEngine.h"
#include "Platform/Web/WebView.h"

#include <gdk/gdkx.h>

using namespace ui;

namespace {

class HostInputTest : public test::HostTestCase {
protected:
    // Where the input method should have been told the caret is.
    gfx::Rect caretOf(View& view, TextInput& input) const
    {
        return host->fit().areaRect(view.layer().transformToRoot().apply(*input.caretBounds()));
    }
    gfx::Rect inArea(View& view) const
    {
        return host->fit().areaRect(view.layer().transformToRoot().apply(view.bounds()));
    }
};

// A view that takes what a remote control sends and records touches.
struct Receiver : View {
    bool canBecomeFirstResponder() const override { return true; }
    void remoteControlReceived(const Event& event) override { log.push_back(std::to_string(event.subtype())); }
    void touchesBegan(const TouchSet&, const Event&) override { log.push_back("began"); }
    void touchesEnded(const TouchSet&, const Event&) override { log.push_back("ended"); }
    void touchesCancelled(const TouchSet&, const Event&) override { log.push_back("cancelled"); }
    std::vector<std::string> log;
};

TEST_F(HostInputTest, TheInputMethodsCandidatesStandByTheCaretUprightAndTurned)
{
    auto field = TextField::create({ 10, 40, 300, 31 });
    window().addSubview(field);
    field->becomeFirstResponder();
    host->flush();
    gfx::Rect empty = host->inputMethodCaretForTesting();
    ASSERT_FALSE(empty.isEmpty()) << "told on focus";
    EXPECT_TRUE(inArea(*field).contains(empty));
    for (guint keyval : { GDK_KEY_a, GDK_KEY_b, GDK_KEY_c })
        key(keyval);
    host->flush();
    gfx::Rect typed = host->inputMethodCaretForTesting();
    EXPECT_EQ(typed, caretOf(*field, *field));
    EXPECT_GT(typed.x(), empty.x() + 10) << "after three letters";
    EXPECT_EQ(typed.y(), empty.y());

    // While composing, the caret stands at the end of what is marked.
    key(GDK_KEY_U, GDK_CONTROL_MASK | GDK_SHIFT_MASK);
    key(GDK_KEY_Shift_L, GDK_CONTROL_MASK | GDK_SHIFT_MASK, { GDK_KEY_RELEASE });
    key(GDK_KEY_Control_L, GDK_CONTROL_MASK, { GDK_KEY_RELEASE });
    key(GDK_KEY_6);
    ASSERT_TRUE(field->hasMarkedText());
    host->flush();
    gfx::Rect composing = host->inputMethodCaretForTesting();
    EXPECT_GT(composing.x(), typed.x());
    EXPECT_EQ(composing, caretOf(*field, *field));
    key(GDK_KEY_Escape);
    host->flush();

    // Turned: the same place on the field, wherever the field now shows.
    resize(480, 320);
    ASSERT_TRUE(isLandscape(application().deviceOrientation()));
    host->flush();
    gfx::Rect turned = host->inputMethodCaretForTesting();
    EXPECT_EQ(turned, caretOf(*field, *field));
    EXPECT_TRUE(inArea(*field).contains(turned)) << "within the field as it shows turned";
    resize(320, 480);
    ASSERT_EQ(application().deviceOrientation(), Orientation::Portrait);
    host->flush();
    EXPECT_EQ(host->inputMethodCaretForTesting(), caretOf(*field, *field));
    field->removeFromSuperview();
}

TEST_F(HostInputTest, TheCandidatesFollowATextViewsCaretAsItTypesAndScrolls)
{
    auto text = TextView::create({ 10, 100, 300, 120 });
    std::string body;
    for (int i = 0; i < 40; ++i)
        body += "Paragraph " + std::to_string(i) + " of the text\n";
    text->setText(body);
    window().addSubview(text);
    text->becomeFirstResponder();
    key(GDK_KEY_x);
    host->flush();
    gfx::Rect caret = host->inputMethodCaretForTesting();
    EXPECT_EQ(caret, caretOf(*text, *text));
    EXPECT_TRUE(inArea(*text).contains(caret)) << "typing scrolled it into view";
    EXPECT_GT(caret.x(), inArea(*text).x() + TextView::Inset) << "after the x on the last line";

    // Scrolled, the caret moves with the text.
    gfx::Point offset = text->contentOffset();
    text->setContentOffset({ offset.x, offset.y - 30 });
    host->flush();
    gfx::Rect scrolled = host->inputMethodCaretForTesting();
    EXPECT_EQ(scrolled, caretOf(*text, *text));
    EXPECT_NEAR(scrolled.y(), caret.y() + 30 * host->fit().fit(), 1);

    // Typing on a line further up: the same line, further along.
    text->setSelectedRange({ body.find("Paragraph 39") + 9, 0 });
    key(GDK_KEY_y);
    host->flush();
    EXPECT_EQ(host->inputMethodCaretForTesting(), caretOf(*text, *text));
    EXPECT_LT(host->inputMethodCaretForTesting().y(), scrolled.y());
    text->removeFromSuperview();
}

TEST_F(HostInputTest, CtrlQEndsTheApplicationAndMediaKeysAreTheRemoteControls)
{
    auto receiver = View::make<Receiver>({ 0, 0, 10, 10 });
    window().addSubview(receiver);
    ASSERT_TRUE(receiver->becomeFirstResponder());
    application().beginReceivingRemoteControlEvents();
    for (guint keyval : { GDK_KEY_AudioPlay, GDK_KEY_AudioPause, GDK_KEY_AudioNext, GDK_KEY_AudioPrev, GDK_KEY_AudioStop })
        key(keyval);
    EXPECT_EQ(receiver->log, (std::vector<std::string> { "103", "103", "104", "105", "102" }));

    bool ended = false;
    auto observation = core::NotificationCenter::defaultCenter().observe(Application::willTerminateNotification,
        nullptr, [&](const core::Notification&) { ended = true; });
    key(GDK_KEY_q);
    EXPECT_FALSE(ended);
    key(GDK_KEY_q, GDK_CONTROL_MASK);
    EXPECT_TRUE(ended);
    receiver->removeFromSuperview();
}

TEST_F(HostInputTest, ABrokenGrabCancelsTheFingerAndTheWheelStepsFortyPoints)
{
    auto receiver = View::make<Receiver>({ 0, 0, 320, 200 });
    window().addSubview(receiver);
    button(GDK_BUTTON_PRESS, { 100, 100 });
    send(gdk_event_new(GDK_GRAB_BROKEN));
    button(GDK_BUTTON_RELEASE, { 100, 100 });
    EXPECT_EQ(receiver->log, (std::vector<std::string> { "began", "cancelled" })) << "the release after it is dropped";
    // So are the events of a touch sequence never begun.
    touch(GDK_TOUCH_UPDATE, 99, { 100, 100 });
    touch(GDK_TOUCH_END, 99, { 100, 100 });
    EXPECT_EQ(receiver->log.size(), 2u);
    receiver->removeFromSuperview();

    auto rows = std::make_shared<test::NumberedRows>(1000);
    auto table = TableView::create({ 0, 0, 320, 480 });
    table->setDataSource(rows);
    window().addSubview(table);
    wheel({ 160, 240 }, GDK_SCROLL_DOWN);
    EXPECT_FLOAT_EQ(table->contentOffset().y, 40);
    wheel({ 160, 240 }, GDK_SCROLL_DOWN);
    wheel({ 160, 240 }, GDK_SCROLL_UP);
    EXPECT_FLOAT_EQ(table->contentOffset().y, 40);
    wheel({ 160, 240 }, GDK_SCROLL_SMOOTH, 0.25);
    EXPECT_FLOAT_EQ(table->contentOffset().y, 50);
    table->removeFromSuperview();
}

TEST_F(HostInputTest, ClipboardTextOverAMebibyteIsRefusedAndBrokenTextRepaired)
{
    // Each byte that begins no whole sequence.
    EXPECT_EQ(HostKeys::validText("a\xff" "b\xe6\xbc", 5), "a\xef\xbf\xbd" "b\xef\xbf\xbd\xef\xbf\xbd");
    EXPECT_EQ(HostKeys::validText("\xe6\xbc\xa2", 3), "漢");

    auto field = TextField::create({ 10, 40, 300, 31 });
    window().addSubview(field);
    field->becomeFirstResponder();
    host->flush();
    Pasteboard::general()->setString("from before");
    host->flush();
    GtkClipboard* clipboard = gtk_clipboard_get(GDK_SELECTION_CLIPBOARD);
    std::string huge(HostKeys::MaximumClipboardText + 1, 'x');
    gtk_clipboard_set_text(clipboard, huge.data(), int(huge.size()));
    key(GDK_KEY_v, GDK_CONTROL_MASK);
    EXPECT_TRUE(pump([&] { return logContains("too long to take"); }));
    pump([] { return false; }, 0.1);
    EXPECT_EQ(field->text(), "") << "neither the refused text nor what the pasteboard had before";

    std::string most(HostKeys::MaximumClipboardText, 'y');
    gtk_clipboard_set_text(clipboard, most.data(), int(most.size()));
    key(GDK_KEY_v, GDK_CONTROL_MASK);
    EXPECT_TRUE(pump([&] { return field->text().size() == most.size(); })) << "a mebibyte is taken";

    // Tab goes on as Return does in a field whose Return goes to the next.
    int returns = 0;
    field->addTarget(nullptr, "return", [&](Control&, const Event*) { ++returns; }, Control::EditingDidEndOnExit);
    key(GDK_KEY_Tab);
    EXPECT_EQ(returns, 0);
    field->setReturnKeyType(TextInput::ReturnKeyType::Next);
    key(GDK_KEY_Tab);
    EXPECT_EQ(returns, 1);
    field->removeFromSuperview();
}

// A field that refuses what is typed or pasted into it by throwing.
struct RefusingField : TextField {
    void insertText(std::string_view) override { throw std::runtime_error("refused"); }
    void paste(std::string_view) override { throw std::runtime_error("refused"); }
};

TEST_F(HostInputTest, WhatTextInputThrowsFromTheClipboardIsReportedAndTheWindowGoesOn)
{
    auto field = View::make<RefusingField>(gfx::Rect { 10, 40, 300, 31 });
    window().addSubview(field);
    field->becomeFirstResponder();
    host->flush();
    GtkClipboard* clipboard = gtk_clipboard_get(GDK_SELECTION_CLIPBOARD);
    gtk_clipboard_set_text(clipboard, "pasted", -1);
    key(GDK_KEY_v, GDK_CONTROL_MASK);
    EXPECT_TRUE(pump([&] { return logContains("exception escaped a window event: runtime_error: refused"); }));
    EXPECT_EQ(test::TestEnvironment::takeEscapedExceptions(), std::vector<std::string> { "runtime_error: refused" });
    // Keys still reach the toolkit afterwards.
    field->removeFromSuperview();
    auto plain = TextField::create({ 10, 40, 300, 31 });
    window().addSubview(plain);
    plain->becomeFirstResponder();
    host->flush();
    key(GDK_KEY_v, GDK_CONTROL_MASK);
    EXPECT_TRUE(pump([&] { return plain->text() == "pasted"; }));
    plain->removeFromSuperview();
}

TEST_F(HostInputTest, ALivePageTakesTheKeyboardFromTheToolkitAndGivesItBack)
{
    auto engine = web::GtkWebEngine::shared();
    ASSERT_TRUE(engine);
    web::WebEngine::setCurrent(engine);
    auto field = TextField::create({ 10, 10, 300, 31 });
    window().addSubview(field);
    auto page = web::WebView::create({ 10, 60, 300, 200 });
    page->loadHTMLString("<body style='margin:0'><input id=i style='width:280px;height:40px' "
                         "oninput='document.title = this.value'></body>");
    window().addSubview(page);
    ASSERT_TRUE(pump([&] { return !page->isLoading() && page->url(); }));
    pump([] { return false; }, 0.3);

    field->becomeFirstResponder();
    host->flush();
    EXPECT_EQ(gtk_window_get_focus(GTK_WINDOW(toplevel())), area);
    key(GDK_KEY_a);
    EXPECT_EQ(field->text(), "a");

    // A click into the page's field gives the page the keyboard.
    std::string xid = std::to_string(gdk_x11_window_get_xid(gtk_widget_get_window(toplevel())));
    // No window manager gives the window the X focus: the test does.
    ASSERT_EQ(test::XvfbDisplay::xdotool({ "windowfocus", "--sync", xid }).status, 0);
    auto clicked = test::XvfbDisplay::xdotool({ "mousemove", "--window", xid, "100", "80", "click", "1" });
    ASSERT_EQ(clicked.status, 0) << clicked.output;
    ASSERT_TRUE(pump([&] { return gtk_window_get_focus(GTK_WINDOW(toplevel())) != area; }));
    EXPECT_FALSE(field->isFirstResponder()) << "the toolkit's field resigned";
    // The click reaches the page's own field in the web process.
    auto activeElement = [&] {
        std::optional<std::string> id;
        page->evaluateJavaScript("document.activeElement.id", [&](const std::string& result, const core::Error*) { id = result; });
        pump([&] { return id.has_value(); });
        return id.value_or("");
    };
    ASSERT_TRUE(pump([&] { return activeElement() == "i"; }));
    auto typed = test::XvfbDisplay::xdotool({ "type", "--delay", "30", "pq" });
    ASSERT_EQ(typed.status, 0) << typed.output;
    EXPECT_TRUE(pump([&] { return page->title() == "pq"; })) << page->title();
    EXPECT_EQ(field->text(), "a");

    // Its zoom is the view's, the page's field holding the keys or not.
    key(GDK_KEY_plus, GDK_CONTROL_MASK | GDK_SHIFT_MASK);
    EXPECT_EQ(page->zoomLevel(), web::WebView::KeyZoomStep);
    key(GDK_KEY_0, GDK_CONTROL_MASK);
    EXPECT_EQ(page->zoomLevel(), 1.0);
    EXPECT_EQ(page->title(), "pq");

    // An alert over the page has the keys while it shows.
    struct Answer : AlertViewDelegate {
        int clicked = -2;
        void clickedButton(AlertView&, int index) override { clicked = index; }
    };
    auto answer = std::make_shared<Answer>();
    AlertView::create("Over the page", "", answer, "Cancel", { "Go" })->show();
    key(GDK_KEY_Return);
    EXPECT_EQ(answer->clicked, 1);
    pump([] { return false; }, 0.4);
    ASSERT_NE(gtk_window_get_focus(GTK_WINDOW(toplevel())), area) << "the page keeps GTK's focus";

    // A tap on the toolkit's field takes the keyboard back from the page.
    tap({ 100, 25 });
    ASSERT_TRUE(field->isFirstResponder());
    host->flush();
    EXPECT_EQ(gtk_window_get_focus(GTK_WINDOW(toplevel())), area);
    typed = test::XvfbDisplay::xdotool({ "type", "--delay", "30", "z" });
    ASSERT_EQ(typed.status, 0) << typed.output;
    EXPECT_TRUE(pump([&] { return field->text() == "az"; })) << field->text();
    pump([] { return false; }, 0.2);
    EXPECT_EQ(page->title(), "pq");

    field->removeFromSuperview();
    page->removeFromSuperview();
    runLoop();
    page.reset();
    web::WebEngine::setCurrent(nullptr);
}

// Ctrl and the wheel over a live page zoom the view, as over its picture,
// and never reach WebKit, which would scroll the page instead.
TEST_F(HostInputTest, CtrlAndTheWheelOverALivePageZoomTheView)
{
    auto engine = web::GtkWebEngine::shared();
    ASSERT_TRUE(engine);
    web::WebEngine::setCurrent(engine);
    auto page = web::WebView::create({ 10, 60, 300, 200 });
    page->loadHTMLString("<body style='margin:0;height:3000px'>tall</body>");
    window().addSubview(page);
    ASSERT_TRUE(pump([&] { return !page->isLoading() && page->url(); }));
    pump([] { return false; }, 0.3);

    std::string xid = std::to_string(gdk_x11_window_get_xid(gtk_widget_get_window(toplevel())));
    auto wheeled = test::XvfbDisplay::xdotool(
        { "mousemove", "--window", xid, "100", "120", "keydown", "ctrl", "click", "4", "keyup", "ctrl" });
    ASSERT_EQ(wheeled.status, 0) << wheeled.output;
    EXPECT_TRUE(pump([&] { return page->zoomLevel() > 1.05; })) << page->zoomLevel();

    page->removeFromSuperview();
    runLoop();
    page.reset();
    web::WebEngine::setCurrent(nullptr);
}

} // namespace
