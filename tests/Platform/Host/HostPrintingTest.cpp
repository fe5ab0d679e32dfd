// Printing from the window: a web page through the engine's own print
// operation (into a PDF, checked by poppler's tools), and GTK's print
// dialog shown without a loop of its own, cancelled by Escape.

#include "HostTestCase.h"

#include "Platform/Core/Paths.h"
#include "Platform/Host/DesktopPrinting.h"
#include "Platform/UI/PrintInteractionController.h"
#include "Platform/UI/Window.h"
#include "Platform/Web/GtkWebEngine.h"
#include "Platform/Web/GtkWebPage.h"
#include "Platform/Web/WebEngine.h"
#include "Platform/Web/WebPrintFormatter.h"
#include "Platform/Web/WebView.h"

#include <cairo-pdf.h>
#include <filesystem>
#include <gtk/gtkunixprint.h>
#include <optional>

using namespace ui;

namespace {

class HostPrintingTest : public test::HostTestCase {
protected:
    void SetUp() override
    {
        HostTestCase::SetUp();
        if (HasFatalFailure() || IsSkipped())
            return;
        printer().reset();
        PrintInteractionController::setPrintingAvailable(true);
    }
    void TearDown() override
    {
        DesktopPrinting::setExportPathForTesting({});
        printer().reset();
        if (page) {
            page->removeFromSuperview();
            runLoop();
            page.reset();
            web::WebEngine::setCurrent(nullptr);
        }
        HostTestCase::TearDown();
    }

    static PrintInteractionController& printer() { return PrintInteractionController::shared(); }

    // A live page showing `html`, loaded.
    void showPage(const std::string& html)
    {
        auto engine = web::GtkWebEngine::shared();
        ASSERT_TRUE(engine);
        web::WebEngine::setCurrent(engine);
        page = web::WebView::create({ 0, 20, 320, 400 });
        page->loadHTMLString(html);
        window().addSubview(page);
        ASSERT_TRUE(pump([&] { return !page->isLoading() && page->url(); }));
    }

    // Presents the panel; the outcome lands in `completed` / `failure`.
    void present()
    {
        completed.reset();
        failure.reset();
        ASSERT_TRUE(printer().present(false, [this](PrintInteractionController&, bool done, const core::Error* error) {
            completed = done;
            if (error)
                failure = error->localizedDescription();
        }));
    }

    // The panel set anew to print a PDF file of one blank page.
    void printOnePagePDF()
    {
        std::string source = pathInHome("one.pdf");
        cairo_surface_t* surface = cairo_pdf_surface_create(source.c_str(), 300, 400);
        cairo_t* cr = cairo_create(surface);
        cairo_show_page(cr);
        cairo_destroy(cr);
        cairo_surface_destroy(surface);
        printer().reset();
        PrintInteractionController::setPrintingAvailable(true);
        printer().setPrintingItem(core::Value(core::URL::fileURL(source).absoluteString()));
    }

    // GTK's print dialog, once it shows.
    static GtkWidget* printDialog()
    {
        GtkWidget* found = nullptr;
        GList* windows = gtk_window_list_toplevels();
        for (GList* item = windows; item; item = item->next)
            if (GTK_IS_PRINT_UNIX_DIALOG(item->data) && gtk_widget_get_visible(GTK_WIDGET(item->data)))
                found = GTK_WIDGET(item->data);
        g_list_free(windows);
        return found;
    }

    // The dialog shows while the main loop goes on, and Escape leaves the
    // job unfinished.
    void escapeTheDialog()
    {
        present();
        bool ran = false;
        core::RunLoop::main().post([&] { ran = true; });
        ASSERT_TRUE(pump([&] { return printDialog() != nullptr; })) << "GTK's dialog shows";
        pump([] { return false; }, 0.2);
        EXPECT_TRUE(ran) << "the main loop runs on under the dialog";
        EXPECT_FALSE(completed.has_value());
        key(GDK_KEY_Escape, 0, { GDK_KEY_PRESS, GDK_KEY_RELEASE }, printDialog());
        ASSERT_TRUE(pump([&] { return completed.has_value(); }));
        EXPECT_FALSE(*completed);
        EXPECT_FALSE(failure.has_value());
        EXPECT_TRUE(pump([] { return printDialog() == nullptr; })) << "the dialog went";
    }

    // The panel dismissed by the program while GTK's dialog shows, set to
    // print into a file: the dialog goes, the panel completes unfinished
    // once, and nothing is printed, then or later.
    void dismissUnderTheDialog(const std::string& out)
    {
        int completions = 0;
        ASSERT_TRUE(printer().present(false, [&](PrintInteractionController&, bool done, const core::Error*) {
            ++completions;
            completed = done;
        }));
        ASSERT_TRUE(pump([&] { return printDialog() != nullptr; }));
        GtkPrintSettings* settings = web::GtkWebPage::pdfFileSettings(out);
        gtk_print_unix_dialog_set_settings(GTK_PRINT_UNIX_DIALOG(printDialog()), settings);
        g_object_unref(settings);
        printer().dismiss(false);
        EXPECT_EQ(completions, 1);
        EXPECT_FALSE(completed.value_or(true));
        EXPECT_TRUE(pump([] { return printDialog() == nullptr; })) << "the dialog went with the panel";
        pump([] { return false; }, 0.5);
        EXPECT_EQ(completions, 1);
        EXPECT_FALSE(std::filesystem::exists(out)) << "a dismissed job printed";

        // The next presentation is its own: Escape completes it once.
        escapeTheDialog();
        EXPECT_EQ(completions, 1);
        EXPECT_FALSE(std::filesystem::exists(out));
    }

    std::shared_ptr<web::WebView> page;
    std::optional<bool> completed;
    std::optional<std::string> failure;
};

TEST_F(HostPrintingTest, AWebPagePrintsThroughTheEngineAsText)
{
    if (!test::hasProgram("pdfinfo") || !test::hasProgram("pdftotext"))
        GTEST_SKIP() << "poppler-utils are missing";
    std::string body = "<h1>Printed by the engine</h1>";
    for (int i = 0; i < 120; ++i)
        body += "<p>Line " + std::to_string(i) + "</p>";
    showPage(body);
    std::string out = core::paths::temporaryDirectory() + "web.pdf";
    DesktopPrinting::setExportPathForTesting(out);
    printer().setPrintFormatter(page->printFormatter());
    present();
    ASSERT_TRUE(pump([&] { return completed.has_value(); }, 20));
    EXPECT_TRUE(*completed) << failure.value_or("");
    // The page laid out for paper, as text: the view's picture printed in
    // bands would hold none, and would end after what shows.
    EXPECT_GT(test::pdfPageCount(out), 1);
    auto text = test::runCommand({ "pdftotext", out, "-" });
    EXPECT_NE(text.output.find("Printed by the engine"), std::string::npos) << text.output;
    EXPECT_NE(text.output.find("Line 119"), std::string::npos);
}

// The printer and file chosen in GTK's dialog go to the engine.
TEST_F(HostPrintingTest, AWebPagePrintsWhereTheDialogSays)
{
    if (!test::hasProgram("pdftotext"))
        GTEST_SKIP() << "poppler-utils are missing";
    showPage("<h1>Chosen in the dialog</h1>");
    printer().setPrintFormatter(page->printFormatter());
    present();
    ASSERT_TRUE(pump([&] { return printDialog() != nullptr; }));
    auto* dialog = GTK_PRINT_UNIX_DIALOG(printDialog());
    std::string out = core::paths::temporaryDirectory() + "chosen.pdf";
    GtkPrintSettings* settings = web::GtkWebPage::pdfFileSettings(out);
    gtk_print_unix_dialog_set_settings(dialog, settings);
    g_object_unref(settings);
    ASSERT_TRUE(pump([&] {
        GtkPrinter* chosen = gtk_print_unix_dialog_get_selected_printer(dialog);
        return chosen && std::string(gtk_printer_get_name(chosen)) == "Print to File";
    })) << "the file printer is listed";
    gtk_dialog_response(GTK_DIALOG(dialog), GTK_RESPONSE_OK);
    ASSERT_TRUE(pump([&] { return completed.has_value(); }, 20));
    EXPECT_TRUE(*completed) << failure.value_or("");
    auto text = test::runCommand({ "pdftotext", out, "-" });
    EXPECT_NE(text.output.find("Chosen in the dialog"), std::string::npos) << text.output;
    EXPECT_TRUE(pump([] { return printDialog() == nullptr; }));
}

TEST_F(HostPrintingTest, EscapeCancelsTheDialogOfAPageAndOfAFile)
{
    showPage("<p>Never printed</p>");
    printer().setPrintFormatter(page->printFormatter());
    escapeTheDialog();

    printOnePagePDF();
    escapeTheDialog();
}

TEST_F(HostPrintingTest, DismissingThePanelClosesTheDialogOfAPageAndOfAFileAndPrintsNothing)
{
    showPage("<p>Never printed</p>");
    printer().setPrintFormatter(page->printFormatter());
    dismissUnderTheDialog(core::paths::temporaryDirectory() + "page.pdf");

    printOnePagePDF();
    dismissUnderTheDialog(core::paths::temporaryDirectory() + "file.pdf");
}

} // namespace
