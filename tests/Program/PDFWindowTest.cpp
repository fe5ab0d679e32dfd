// The PDF viewer in the program's window under the tests' own Xvfb, opened
// from the folder list by a click as a person would, on a phone-sized
// window: paging by the bottom region, zooming onto a column and back, the
// single and double layouts from the layout sheet, turning and dragging
// back, Back to the list and the window's close; a word searched and an
// outline entry followed. What the display showed is
// kept in build/screens/pdf_window/ beside the program's own pictures.

#include "ProgramWindowTestCase.h"

#include "Support/Command.h"
#include "Support/PdfBuilder.h"
#include "Support/XvfbDisplay.h"

#include <fmt/format.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <sstream>

namespace {

// What the dump tells of the document view: its class, the pages it
// shows, its zoom and normalised offset.
struct Layout {
    std::string kind;
    int first = 0, last = 0;
    double zoom = 0, offset = 0;
    bool found() const { return first > 0; }
};

Layout layoutIn(const std::string& dump)
{
    std::istringstream lines(dump);
    for (std::string line; std::getline(lines, line);) {
        auto at = line.find("VKDocumentView");
        auto pages = line.find("\"pages ");
        if (at == std::string::npos || pages == std::string::npos)
            continue;
        Layout layout;
        layout.kind = line.substr(at, line.find(' ', at) - at);
        std::sscanf(line.c_str() + pages, "\"pages %d-%d zoom %lf offset %lf", &layout.first, &layout.last, &layout.zoom,
            &layout.offset);
        return layout;
    }
    return {};
}

class PDFWindowTest : public test::ProgramWindowTestCase {
protected:
    // A 40-page report in two columns of text with an outline; "zebra"
    // stands on page 7 only.
    void writeReport()
    {
        std::string folder = pathInHome("home/Library/Documents");
        std::filesystem::create_directories(folder);
        test::PdfBuilder builder;
        int font = builder.addStandardFont("Helvetica");
        std::vector<int> pages;
        for (int page = 1; page <= 40; ++page) {
            std::string content = "0.2 0.2 0.2 rg 60 700 300 18 re f 0 0 0 rg ";
            for (int column : { 60, 320 }) {
                content += fmt::format("BT /F1 9 Tf {} 660 Td ", column);
                for (int line = 1; line <= 30; ++line)
                    content += fmt::format("(Page {} line {} of the {} report.) Tj 0 -18 Td ", page, line,
                        page == 7 && line == 3 && column == 60 ? "zebra" : "annual");
                content += "ET ";
            }
            pages.push_back(builder.addPage(content,
                "/MediaBox [0 0 612 792] /Resources << /Font << /F1 " + std::to_string(font) + " 0 R >> >>"));
        }
        auto to = [&](int page) { return fmt::format("[{} 0 R /Fit]", pages[size_t(page - 1)]); };
        builder.setOutline({
            { "Part I", to(1), "", { { "Chapter 1", to(2), "", {} } } },
            { "Part II", to(20), "", { { "Chapter 4", to(21), "", {} } } },
        });
        builder.write(folder + "/report.pdf");
    }

    // Opens the report from the documents list: the vertical layout on its
    // first page.
    void openReport()
    {
        writeReport();
        openDocuments(") \"report\"", { "-VKPagingGestureInfoShown", "YES" });
        if (HasFatalFailure())
            return;
        auto row = waitForView(") \"report\"");
        ASSERT_TRUE(row) << lastDump();
        click(*row);
        ASSERT_TRUE(waitForDump([](const std::string& dump) { return layoutIn(dump).kind == "VKDocumentViewVertical"; }))
            << lastDump();
    }

    static bool barsShown(const std::string& dump)
    {
        return dump.find("Toolbar (0, 436, 320, 44)") != std::string::npos;
    }
    static bool barsHidden(const std::string& dump)
    {
        return dump.find("Toolbar (0, 480, 320, 44) hidden") != std::string::npos;
    }
    // A click in the middle brings the bars back when they went.
    void showBars()
    {
        if (barsShown(snapshot()))
            return;
        click(160, 240);
        ASSERT_TRUE(waitForDump(barsShown)) << lastDump();
    }
    // Clicks the bar item whose dump line holds `item` and waits for a view
    // whose line holds `expected`. The bars hide by themselves a while
    // after they show, so a click that came too late is tried again.
    std::optional<std::pair<int, int>> clickBarItem(const std::string& item, const std::string& expected)
    {
        std::optional<std::pair<int, int>> found;
        for (int attempt = 0; attempt < 3 && !found; ++attempt) {
            showBars();
            auto button = centreOf(snapshot(), item);
            if (!button)
                break;
            click(*button);
            found = waitForView(expected, 3);
        }
        return found;
    }
    // The layout button, then the sheet's button titled `choice`.
    void chooseLayout(const std::string& choice)
    {
        auto entry = clickBarItem("VKTintButton (270, 0, 44, 44)", "\"" + choice + "\"");
        ASSERT_TRUE(entry) << lastDump();
        click(*entry);
        ASSERT_TRUE(waitForDump([](const std::string& dump) { return dump.find("VKActionSheet") == std::string::npos; }))
            << lastDump();
    }
    Layout layout() { return layoutIn(snapshot()); }
    // The width of the first view whose dump line contains `text`.
    static float widthOf(const std::string& dump, const std::string& text)
    {
        std::istringstream lines(dump);
        for (std::string line; std::getline(lines, line);) {
            float x = 0, y = 0, width = 0, height = 0;
            auto open = line.find('(');
            if (line.find(text) != std::string::npos && open != std::string::npos
                && std::sscanf(line.c_str() + open, "(%f, %f, %f, %f)", &x, &y, &width, &height) == 4)
                return width;
        }
        return 0;
    }
    // The mean brightness (0 to 1) of a region ("WxH+X+Y") of a picture.
    static double meanOf(const std::string& picture, const std::string& region)
    {
        auto measured = test::runCommand({ "convert", picture, "-crop", region, "-colorspace", "Gray", "-format",
            "%[fx:mean]", "info:" });
        return measured.status == 0 ? std::atof(measured.output.c_str()) : -1;
    }
    void keep(const std::string& name) { ProgramWindowTestCase::keep("pdf_window", name, true); }
};

TEST_F(PDFWindowTest, APDFPagesZoomsChangesLayoutsTurnsAndGoesBack)
{
    openReport();
    ASSERT_EQ(layout().first, 1) << lastDump();
    keep("desktop-bars");

    // The bars leave after a while; a click in the bottom region then
    // pages down by about a screen.
    ASSERT_TRUE(waitForDump(barsHidden)) << lastDump();
    Layout top = layout();
    keep("desktop-hidden");
    click(160, 470);
    ASSERT_TRUE(waitForDump([&](const std::string& dump) { return layoutIn(dump).offset > top.offset + 0.005; }))
        << lastDump();
    keep("desktop-paged");

    // A double click on a column zooms onto it; another fits the page again.
    double fitted = layout().zoom;
    doubleClick(90, 240);
    ASSERT_TRUE(waitForDump([&](const std::string& dump) { return layoutIn(dump).zoom > fitted * 1.3; })) << lastDump();
    keep("desktop-column");
    doubleClick(90, 240);
    ASSERT_TRUE(waitForDump([&](const std::string& dump) { return std::abs(layoutIn(dump).zoom - fitted) < 0.02; }))
        << lastDump();

    // Single pages: the right edge turns to the next page, a drag to the
    // right brings the page before.
    chooseLayout("Single Pages");
    ASSERT_TRUE(waitForDump([](const std::string& dump) { return layoutIn(dump).kind == "VKDocumentViewHorizontal"; }))
        << lastDump();
    keep("desktop-single");
    int page = layout().first;
    click(314, 300);
    ASSERT_TRUE(waitForDump([&](const std::string& dump) { return layoutIn(dump).first == page + 1; })) << lastDump();
    drag(40, 300, 300, 300);
    ASSERT_TRUE(waitForDump([&](const std::string& dump) { return layoutIn(dump).first == page; })) << lastDump();

    // Double pages: spreads of two, the right edge turns by two.
    chooseLayout("Double Pages");
    ASSERT_TRUE(
        waitForDump([](const std::string& dump) { return layoutIn(dump).kind == "VKDocumentViewHorizontalDouble"; }))
        << lastDump();
    Layout spread = layout();
    EXPECT_EQ(spread.last, spread.first + 1) << lastDump();
    EXPECT_NEAR(spread.zoom, 0.5, 0.01) << "the spread fits the screen";
    keep("desktop-double");
    click(314, 300);
    ASSERT_TRUE(waitForDump([&](const std::string& dump) { return layoutIn(dump).first == spread.first + 2; }))
        << lastDump();
    ASSERT_TRUE(waitForDump(barsHidden)) << lastDump();
    keep("desktop-double-turned");

    // Back: the list again; the window's close ends the program.
    goBackAndClose([&] { showBars(); }, [](const std::string& dump) {
        return dump.find("VKDocumentView") == std::string::npos && dump.find("\"report\"") != std::string::npos;
    });
}

// The search bar: the search item, a word typed, Return brings its page
// with the hit highlighted; Cancel closes the bar. The bookmarks item: the
// "Document" tab lists the outline, and an entry brings its page.
TEST_F(PDFWindowTest, SearchesAWordAndFollowsTheOutlineInTheWindow)
{
    openReport();
    showBars();
    auto search = centreOf(snapshot(), "BarItemButton (275, 7, 40, 30)");
    ASSERT_TRUE(search) << lastDump();
    click(*search);
    ASSERT_TRUE(waitForView("VKSearchField (5, 6, 245, 31) first-responder")) << lastDump();
    type("zebra");
    // A loaded machine may still be indexing the document, which began
    // when it opened: a search before the index is whole finds nothing yet
    // and says so.
    ASSERT_TRUE(waitForDump([](const std::string& dump) {
        return dump.find("\"Indexing") == std::string::npos || dump.find("\"Indexing, 100% Complete\"") != std::string::npos;
    })) << lastDump();
    key("Return");
    ASSERT_TRUE(waitForDump([](const std::string& dump) {
        return dump.find("\"Page 7 of 40\"") != std::string::npos && layoutIn(dump).first == 7;
    })) << lastDump();
    keep("desktop-search-hit");
    auto cancel = centreOf(snapshot(), "\"Cancel\"");
    ASSERT_TRUE(cancel) << lastDump();
    click(*cancel);
    ASSERT_TRUE(waitForDump([](const std::string& dump) { return dump.find("VKSearchField") == std::string::npos; }))
        << lastDump();

    // The bookmarks item (the third of the toolbar) with its two tabs.
    auto tab = clickBarItem("BarItemButton (182, 7, 40, 30)", "SegmentedControl");
    ASSERT_TRUE(tab) << lastDump();
    // The control's right half: "Document".
    click(tab->first + int(widthOf(lastDump(), "SegmentedControl") / 4), tab->second);
    auto entry = waitForView(") \"Part II\"");
    ASSERT_TRUE(entry) << lastDump();
    keep("desktop-outline");
    click(*entry);
    ASSERT_TRUE(waitForDump([](const std::string& dump) {
        return dump.find("\"Part II\"") == std::string::npos && layoutIn(dump).first == 20;
    })) << lastDump();
    keep("desktop-outline-page");
    std::string said;
    ASSERT_TRUE(test::XvfbDisplay::requestClose(window, &said)) << said;
    EXPECT_EQ(exitStatus(), 0) << readUntil("\n\n");
    // The search's worker ends with the program instead of holding its end.
    std::string output = readUntil("no such line");
    EXPECT_EQ(output.find("threads still running"), std::string::npos) << output;
}

} // namespace
