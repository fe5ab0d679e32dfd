#include "Support/UITestCase.h"

#include "Platform/UI/Button.h"
#include "Platform/UI/Label.h"
#include "Platform/UI/NavigationController.h"
#include "Platform/UI/SearchDisplayController.h"
#include "Platform/UI/SegmentedControl.h"
#include "Platform/UI/TableView.h"
#include "Platform/UI/TextField.h"
#include "Platform/UI/TextView.h"
#include "Platform/UI/TextViewLinks.h"
#include "Platform/UI/Fonts.h"
#include "Platform/UI/Renderer.h"
#include "Platform/Core/RunLoop.h"
#include "Platform/Core/Thread.h"
#include "Platform/Graphics/BitmapContext.h"
#include "Platform/Graphics/TextEngine.h"

#include <fmt/format.h>

#include <gmock/gmock.h>

namespace {

using test::UITestCase;
class TextViewAndSearchTest : public UITestCase { };
using Log = std::vector<std::string>;

TEST_F(TextViewAndSearchTest, TextViewWrapsScrollsAndObservesItsFont)
{
    auto text = ui::TextView::create({ 0, 0, 320, 100 });
    window().addSubview(text);
    EXPECT_EQ(text->font(), gfx::Font::fontWithName("Helvetica", 12));
    text->setText("short");
    float oneLine = text->contentSize().height;
    std::string longText;
    for (int i = 0; i < 200; ++i)
        longText += "word ";
    text->setText(longText);
    EXPECT_GT(text->contentSize().height, oneLine * 5);
    // The text is drawn in a view covering what shows, which follows the
    // scrolling.
    EXPECT_EQ(text->documentView().frame(), text->bounds());
    text->setContentOffset({ 0, 40 });
    EXPECT_EQ(text->documentView().frame(), text->bounds());
    EXPECT_EQ(text->documentView().frame().origin.y, 40);
    text->setContentOffset({ 0, 0 });

    int fontChanges = 0;
    auto observation = text->observeFont([&](const gfx::Font&, const gfx::Font&) { ++fontChanges; });
    text->setFont(gfx::Font::systemFont(20));
    text->setFont(gfx::Font::systemFont(20));
    EXPECT_EQ(fontChanges, 1);
    EXPECT_GT(text->contentSize().height, oneLine * 5);

    // Typing at the end scrolls the caret into view unless told not to.
    driver.tap(*text);
    ASSERT_EQ(driver.firstResponder(), text.get());
    EXPECT_TRUE(driver.keyboardVisible());
    text->setSelectedRange({ longText.size(), 0 });
    text->setScrollsSelectionToVisible(false);
    driver.type("x");
    EXPECT_EQ(text->contentOffset().y, 0);
    text->setScrollsSelectionToVisible(true);
    driver.type("y");
    EXPECT_GT(text->contentOffset().y, 0);
    EXPECT_EQ(text->text(), longText + "xy");

    text->setEditable(false);
    EXPECT_NE(driver.firstResponder(), text.get());
    text->insertText("z");
    EXPECT_EQ(text->text(), longText + "xy");

    // A new size keeps the paragraph at the top of the view there.
    std::string lines;
    for (int i = 0; i < 200; ++i)
        lines += "line " + std::to_string(i) + "\n";
    text->setText(lines);
    size_t at = lines.find("line 120\n");
    text->setContentOffset({ 0, text->caretRect(at).minY() });
    for (float size : { 30.f, 9.f })
        text->setFont(gfx::Font::systemFont(size));
    EXPECT_NEAR(text->caretRect(at).minY(), text->contentOffset().y, 1);
    text->removeFromSuperview();
}

TEST_F(TextViewAndSearchTest, TheCaretStandsWhereItsTextIsDrawn)
{
    auto text = ui::TextView::create({ 0, 0, 200, 100 });
    window().addSubview(text);
    auto engine = gfx::textEngine();
    gfx::Font font = text->font();
    float line = ui::Fonts::lineHeight(font);
    constexpr float inset = ui::TextView::Inset;
    text->setText("abc\ndef");
    EXPECT_EQ(text->caretRect(0), gfx::Rect(inset, inset, 2, line));
    EXPECT_EQ(text->caretRect(2), gfx::Rect(inset + engine->widthOfString("ab", font), inset, 2, line));
    EXPECT_EQ(text->caretRect(4), gfx::Rect(inset, inset + line, 2, line)) << "the next paragraph's start";
    EXPECT_EQ(text->caretRect(99), gfx::Rect(inset + engine->widthOfString("def", font), inset + line, 2, line));
    EXPECT_EQ(text->caretBounds(), text->caretRect(7)) << "the selection's end";

    // A wrapped paragraph: the caret on the line holding it, as drawn.
    std::string words;
    for (int i = 0; i < 40; ++i)
        words += "word ";
    text->setText("first\n" + words + "end");
    size_t end = text->textLength();
    gfx::Rect last = text->caretRect(end);
    EXPECT_FLOAT_EQ(last.maxY(), text->contentSize().height - inset) << "on the last line";
    EXPECT_GT(last.minY(), inset + 2 * line);
    size_t wrapped = 6 + words.size() / 2;
    gfx::Rect middle = text->caretRect(wrapped);
    EXPECT_GT(middle.minY(), inset);
    EXPECT_LT(middle.minY(), last.minY());

    // Kept until the text changes, then found again.
    text->setSelectedRange({ 1, 0 });
    text->insertText("WWW");
    EXPECT_EQ(text->caretRect(4), gfx::Rect(inset + engine->widthOfString("fWWW", font), inset, 2, line));
    EXPECT_FLOAT_EQ(text->caretRect(end + 3).minY(), last.minY()) << "the wrapped paragraph stays";
    text->setFont(gfx::Font::systemFont(24));
    EXPECT_EQ(text->caretRect(0).height(), ui::Fonts::lineHeight(text->font()));
    text->removeFromSuperview();
}

struct SearchLog : ui::SearchDisplayDelegate, ui::TableViewDataSource {
    Log log;
    std::vector<std::string> results;
    bool shouldReloadForSearchString(ui::SearchDisplayController&, const std::string& text) override
    {
        log.push_back("reload " + text);
        results = { text + "1", text + "2" };
        return true;
    }
    bool shouldReloadForSearchScope(ui::SearchDisplayController&, int scope) override
    {
        log.push_back("scope " + std::to_string(scope));
        return true;
    }
    void didBeginSearch(ui::SearchDisplayController&) override { log.push_back("begin"); }
    void didEndSearch(ui::SearchDisplayController&) override { log.push_back("end"); }
    int numberOfRows(ui::TableView&, int) override { return int(results.size()); }
    std::shared_ptr<ui::TableViewCell> cellForRow(ui::TableView&, ui::IndexPath path) override
    {
        auto cell = ui::TableViewCell::create(ui::TableViewCell::Style::Default, "");
        cell->textLabel().setText(results[size_t(path.row)]);
        return cell;
    }
};

TEST_F(TextViewAndSearchTest, SearchShowsResultsWhileThereIsText)
{
    auto contents = ui::ViewController::create();
    auto navigation = ui::NavigationController::create(contents);
    window().setRootViewController(navigation);
    auto bar = ui::SearchBar::create({ 0, 0, 320, 44 });
    bar->setScopeButtonTitles({ "All", "Names" });
    bar->setShowsScopeBar(true);
    EXPECT_EQ(bar->frame().height(), 88);
    contents->view()->addSubview(bar);
    auto search = ui::SearchDisplayController::create(bar, contents);
    auto log = std::make_shared<SearchLog>();
    search->setDelegate(log);
    search->setSearchResultsDataSource(log);
    runLoop();

    driver.tap(bar->textField());
    EXPECT_TRUE(search->isActive());
    EXPECT_TRUE(navigation->isNavigationBarHidden());
    EXPECT_FALSE(bar->cancelButton().isHidden());
    driver.type("ab");
    EXPECT_EQ(log->log, (Log { "begin", "reload a", "reload ab" }));
    EXPECT_TRUE(search->isShowingResults());
    EXPECT_EQ(driver.cellTexts(search->searchResultsTableView()), (std::vector<std::string> { "ab1", "ab2" }));

    driver.deleteBackward();
    driver.deleteBackward();
    EXPECT_FALSE(search->isShowingResults());

    driver.type("c");
    log->log.clear();
    driver.tapSegment(*bar->scopeBar(), 1);
    EXPECT_EQ(log->log, (Log { "scope 1" }));

    driver.tap(bar->cancelButton());
    EXPECT_FALSE(search->isActive());
    EXPECT_EQ(bar->text(), "");
    EXPECT_FALSE(search->isShowingResults());
    EXPECT_FALSE(navigation->isNavigationBarHidden());
    EXPECT_TRUE(bar->cancelButton().isHidden());
    EXPECT_EQ(log->log.back(), "end");
    window().setRootViewController(nullptr);
}


TEST_F(TextViewAndSearchTest, LargeTextIsMeasuredOnAWorkerAndTheTopLineStaysPut)
{
    // 20,000 numbered one-line paragraphs, about 460 KB.
    std::string large;
    for (int i = 0; i < 20000; ++i)
        large += fmt::format("line {:05} of the log\n", i);
    ASSERT_GE(large.size(), ui::TextView::BackgroundLayoutBytes);
    auto view = ui::TextView::create({ 0, 0, 320, 480 });
    view->setEditable(false);
    window().addSubview(view);
    view->setText(large);
    // Set at once: the first screen draws from what was laid out here,
    // the height is an estimate until the worker's count comes in.
    EXPECT_FALSE(view->isLayoutComplete());
    auto first = ui::Renderer::renderImage(*view);
    bool ink = false;
    for (int y = 0; y < 40 && !ink; ++y)
        for (int x = 0; x < 160 && !ink; ++x)
            ink = first->pixelAtForTesting(x, y).red < 128;
    EXPECT_TRUE(ink);
    int completions = 0;
    view->whenLayoutComplete([&] { ++completions; });
    ASSERT_TRUE(core::RunLoop::main().runUntil([&] { return view->isLayoutComplete(); }, 30));
    EXPECT_EQ(completions, 1);
    float line = ui::Fonts::lineHeight(view->font());
    // 20,001 paragraphs (the last one empty), a line each, in the insets.
    EXPECT_NEAR(view->contentSize().height, 2 * ui::TextView::Inset + 20001 * double(line), 1);

    // A new font is counted on the worker too; paragraph 10,000 stays at
    // the top of the view meanwhile and afterwards.
    view->setContentOffset({ 0, ui::TextView::Inset + 10000 * line });
    view->setFont(gfx::Font::fontWithName("Helvetica", 20));
    EXPECT_FALSE(view->isLayoutComplete());
    EXPECT_FLOAT_EQ(view->contentOffset().y, ui::TextView::Inset + 10000 * line);
    ui::Renderer::renderImage(*view);
    ASSERT_TRUE(core::RunLoop::main().runUntil([&] { return view->isLayoutComplete(); }, 30));
    float larger = ui::Fonts::lineHeight(view->font());
    EXPECT_NEAR(view->contentOffset().y, ui::TextView::Inset + 10000 * double(larger), 1);
    EXPECT_NEAR(view->contentSize().height, 2 * ui::TextView::Inset + 20001 * double(larger), 1);

    // Editable text is measured here, as before.
    view->setEditable(true);
    EXPECT_TRUE(view->isLayoutComplete());
    view->setEditable(false);

    // A view gone while its worker counts: the count goes nowhere.
    std::weak_ptr<ui::TextView> gone = view;
    view->setText(large + "more\n");
    view->removeFromSuperview();
    view.reset();
    EXPECT_TRUE(gone.expired());
    ASSERT_TRUE(core::Thread::waitForAll(30));
    runLoop();
}


TEST_F(TextViewAndSearchTest, LinksInReadOnlyTextAreFoundDrawnAndOpenedByATap)
{
    auto runs = [](std::string_view text) {
        std::vector<std::string> found;
        for (auto range : ui::TextViewLinks::ranges(text))
            found.push_back(std::string(text.substr(range.location, range.length)));
        return found;
    };
    EXPECT_EQ(runs("see http://example.com/a?b=1, then (www.test.org). mailto:me@x.org"),
        (std::vector<std::string> { "http://example.com/a?b=1", "www.test.org", "mailto:me@x.org" }));
    EXPECT_EQ(runs("HTTPS://A.B/c\tftp://files.example/x.txt"),
        (std::vector<std::string> { "HTTPS://A.B/c", "ftp://files.example/x.txt" }));
    // Inside a word, bare prefixes and punctuation alone: no link.
    EXPECT_TRUE(runs("xhttp://a.b www. http:// mailto:.").empty());
    EXPECT_EQ(ui::TextViewLinks::address("www.test.org"), "http://www.test.org");

    auto view = ui::TextView::create({ 0, 0, 320, 200 });
    view->setEditable(false);
    view->setDataDetectorTypes(ui::TextView::Link);
    view->setText("Read https://example.com/docs today\nnothing here");
    window().addSubview(view);
    auto picture = ui::Renderer::renderImage(*view);
    // The link is drawn in the link colour; the rest is black.
    gfx::Font font = view->font();
    float start = ui::TextView::Inset + font.widthOfString("Read ");
    float end = ui::TextView::Inset + font.widthOfString("Read https://example.com/docs");
    float line = ui::Fonts::lineHeight(font);
    int linkPixels = 0, blackPixels = 0;
    for (int y = int(ui::TextView::Inset); y < int(ui::TextView::Inset + line); ++y) {
        for (int x = 0; x < 320; ++x) {
            auto pixel = picture->pixelAtForTesting(x, y);
            if (pixel.blue > 150 && pixel.red < 100) {
                ++linkPixels;
                EXPECT_TRUE(x >= int(start) - 1 && x <= int(end) + 1) << x;
            } else if (pixel.red < 60 && pixel.blue < 60) {
                ++blackPixels;
            }
        }
    }
    EXPECT_GT(linkPixels, 20);
    EXPECT_GT(blackPixels, 20);

    // A tap on the link opens it; one beside it or on the plain line does not.
    float middle = ui::TextView::Inset + line / 2;
    driver.tapAt(*view, { (start + end) / 2, middle });
    driver.tapAt(*view, { end + 30, middle });
    driver.tapAt(*view, { 40, middle + line });
    ASSERT_EQ(driver.openedURLs().size(), 1u);
    EXPECT_EQ(driver.openedURLs()[0].absoluteString(), "https://example.com/docs");

    // Without the Link bit the same text is plain.
    view->setDataDetectorTypes(0);
    driver.tapAt(*view, { (start + end) / 2, middle });
    EXPECT_EQ(driver.openedURLs().size(), 1u);
    view->removeFromSuperview();
}

} // namespace
