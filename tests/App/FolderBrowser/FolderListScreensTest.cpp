// The folder list's parts together on one screen, as a folder screen will
// put them: a folder table of 200 rows under letter headers with the
// letter strip, and a bottom toolbar with the folder and server label
// between two buttons. Driven as a person would (strip, taps, a swipe,
// rotation), rendered with real text at phone and tablet size in both
// orientations into build/screens/folder_browser/, and guarded by two
// goldens: the compressed strip touched (phone, landscape) and the toolbar
// showing both addresses.

#include "FolderBrowserTestCase.h"

#include "App/FolderBrowser/VKFolderInfoLabel.h"
#include "App/FolderBrowser/VKFolderTableView.h"
#include "App/FolderBrowser/VKIndexView.h"
#include "App/FolderBrowser/VKIndexViewLabelsLayer.h"

#include "Platform/Graphics/TextEngine.h"
#include "Platform/UI/Application.h"
#include "Platform/UI/BarButtonItem.h"
#include "Platform/UI/Button.h"
#include "Platform/UI/Fonts.h"
#include "Platform/UI/Label.h"
#include "Platform/UI/NavigationBar.h"
#include "Platform/UI/Renderer.h"
#include "Platform/UI/StandardColors.h"
#include "Platform/UI/Toolbar.h"
#include "Platform/UI/ViewController.h"
#include "Platform/UI/Window.h"
#include "Support/GoldenImage.h"
#include "Support/UIScreens.h"

#include <fmt/format.h>

namespace {

using ui::IndexPath;

const std::vector<std::string> words { "Apricot", "Bridge", "Canyon", "Delta", "Echo", "Forest", "Garden", "Harbor",
    "Island", "Jungle", "Kettle", "Lantern", "Meadow", "Nectar", "Orchard", "Pebble", "Quarry", "River", "Summit",
    "Timber", "Umbra", "Valley", "Willow", "Xylem", "Yonder", "Zephyr" };

// 200 files under "#" and A–Z: seven or eight a letter.
struct Folder : ui::TableViewDelegate, VKMultiEditTableViewDelegate, ui::TableViewDataSource, VKIndexViewDataSource {
    std::vector<std::string> titles;
    std::vector<std::vector<std::string>> names;
    Folder()
    {
        titles.push_back("#");
        names.push_back({});
        for (auto& word : words) {
            titles.emplace_back(1, word[0]);
            names.push_back({});
        }
        for (int i = 0; i < 200; ++i) {
            size_t section = size_t(i % 27);
            std::string name = section == 0 ? fmt::format("{} Report.pdf", 2000 + i)
                                            : fmt::format("{} notes {}.txt", words[section - 1], i / 27 + 1);
            names[section].push_back(name);
        }
    }
    int numberOfSections(ui::TableView&) override { return int(names.size()); }
    int numberOfRows(ui::TableView&, int section) override { return int(names[size_t(section)].size()); }
    std::shared_ptr<ui::TableViewCell> cellForRow(ui::TableView& table, IndexPath path) override
    {
        auto cell = table.dequeueReusableCell("file");
        if (!cell)
            cell = std::make_shared<ui::TableViewCell>(ui::TableViewCell::Style::Default, "file");
        cell->textLabel().setText(names[size_t(path.section)][size_t(path.row)]);
        cell->textLabel().setFont(ui::Fonts::boldSystemFont(17));
        return cell;
    }
    std::optional<std::string> titleForHeader(ui::TableView&, int section) override { return titles[size_t(section)]; }
    // A grey bar with its letter inset, clear of the strip.
    std::shared_ptr<ui::View> viewForHeader(ui::TableView&, int section) override
    {
        auto bar = ui::View::create();
        bar->setBackgroundColor(gfx::Color::rgb255(152, 164, 176, 0.94f));
        auto title = ui::Label::create({ 12, 0, 200, 22 }, titles[size_t(section)]);
        title->setFont(ui::Fonts::boldSystemFont(16));
        title->setTextColor(ui::StandardColors::white());
        title->setBackgroundColor(ui::StandardColors::clear());
        bar->addSubview(title);
        return bar;
    }
    bool supportsCommitEditing() const override { return true; }
    void commitEditing(ui::TableView&, ui::TableViewCell::EditingStyle, IndexPath) override { }

    size_t numberOfSectionsInIndexView(VKIndexView&) override { return 2; }
    std::vector<std::string> labelsForSection(VKIndexView&, size_t section) override
    {
        return section == 0 ? std::vector<std::string> { "#" } : std::vector<std::string>(titles.begin() + 1, titles.end());
    }
    bool canCompressLabelsInSection(VKIndexView&, size_t section) override { return section == 1; }
};

// The list above a toolbar whose height follows the status bar.
class FolderView : public ui::View {
public:
    void layoutSubviews() override
    {
        gfx::Rect b = bounds();
        float bar = ui::barHeightForInterface();
        table->setFrame({ 0, 0, b.width(), b.height() - bar });
        toolbar->setFrame({ 0, b.height() - bar, b.width(), bar });
    }
    std::shared_ptr<VKFolderTableView> table;
    std::shared_ptr<ui::Toolbar> toolbar;
};

class FolderScreen : public ui::ViewController {
public:
    void loadView() override
    {
        gfx::Rect frame = ui::Application::shared()->applicationFrame();
        auto view = ui::View::make<FolderView>({ 0, 0, frame.width(), frame.height() });
        view->setAutoresizingMask(ui::View::FlexibleWidth | ui::View::FlexibleHeight);
        table = VKFolderTableView::create({ 0, 0, frame.width(), frame.height() - 44 });
        table->setDataSource(folder);
        table->setDelegate(folder);
        strip = VKIndexView::create({ frame.width() - VKIndexView::Width, VKFolderControllerIndexViewMargin, 0,
            table->frame().height() - 2 * VKFolderControllerIndexViewMargin });
        strip->setDataSource(folder);
        strip->reloadLabels();
        table->addSubview(strip);
        // What the folder screen will do: scroll to the letter chosen.
        std::weak_ptr<FolderScreen> weak = std::static_pointer_cast<FolderScreen>(shared_from_this());
        strip->addTarget(nullptr, "indexChanged", [weak](ui::Control&, const ui::Event*) {
            auto self = weak.lock();
            if (!self || !self->strip->selectedLabel())
                return;
            auto& titles = self->folder->titles;
            auto it = std::find(titles.begin(), titles.end(), *self->strip->selectedLabel());
            if (it == titles.end())
                return;
            auto& table = *self->table;
            float y = table.rectForHeader(int(it - titles.begin())).y();
            table.setContentOffset({ 0, std::min(y, table.maximumContentOffset().y) });
        }, ui::Control::ValueChanged);

        label = VKFolderInfoLabel::create({ 0, 0, 0, 30 });
        label->setServerState(server);
        label->setTextColor(ui::StandardColors::white());
        label->setBackgroundColor(ui::StandardColors::clear());
        label->setInfo("200 Items, 3.4 MB");
        toolbar = ui::Toolbar::create();
        toolbar->setItems({ ui::BarButtonItem::create("Edit"), ui::BarButtonItem::space(), ui::BarButtonItem::create(label),
            ui::BarButtonItem::space(), ui::BarButtonItem::create("Sort") });
        view->table = table;
        view->toolbar = toolbar;
        view->addSubview(table);
        view->addSubview(toolbar);
        setView(view);
    }
    bool shouldAutorotate(ui::Orientation) override { return true; }

    std::shared_ptr<Folder> folder = std::make_shared<Folder>();
    std::shared_ptr<VKFolderTableView> table;
    std::shared_ptr<VKIndexView> strip;
    std::shared_ptr<VKFolderInfoLabel> label;
    std::shared_ptr<ui::Toolbar> toolbar;
    std::weak_ptr<VKAppServerState> server;
};

class FolderListScreensTest : public test::FolderBrowserTestCase {
protected:
    void TearDown() override
    {
        window().setRootViewController(nullptr);
        screen.reset();
        FolderBrowserTestCase::TearDown();
    }
    void show(const test::DeviceScreen& device)
    {
        test::useDeviceScreen(window(), device);
        screen = std::make_shared<FolderScreen>();
        screen->server = delegate;
        window().setRootViewController(screen);
        runLoop();
    }
    VKIndexView& strip() { return *screen->strip; }
    // A point of the strip on the screen whose touch gives `label`.
    gfx::Point stripPoint(const std::string& label)
    {
        float first = -1, last = -1;
        for (float y = 0; y < strip().bounds().height(); y += 0.25f)
            if (strip().labelAtPoint({ 14, y }) == label) {
                if (first < 0)
                    first = y;
                last = y;
            }
        EXPECT_GE(first, 0) << label;
        gfx::Point local { 14, (first + last) / 2 };
        return strip().layer().transformToRoot().apply(local);
    }
    // The label lies between the toolbar's buttons, with room to spare.
    void expectLabelBetweenNeighbours()
    {
        auto& toolbar = *screen->toolbar;
        toolbar.layoutIfNeeded();
        gfx::Rect edit = toolbar.subviews().front()->frame(), sort = toolbar.subviews().back()->frame();
        gfx::Rect label = screen->label->frame();
        EXPECT_GE(label.minX(), edit.maxX() + 5);
        EXPECT_LE(label.maxX(), sort.minX() - 5);
        EXPECT_NEAR(label.midX(), toolbar.bounds().midX(), 1 + std::abs(edit.width() - sort.width()) / 2);
    }

    std::shared_ptr<FolderScreen> screen;
};

TEST_F(FolderListScreensTest, DrivenAsAPersonWould)
{
    show(test::phoneScreen);
    auto& table = *screen->table;
    EXPECT_EQ(strip().frame().x(), 320 - 28);
    EXPECT_EQ(strip().frame().y(), 2);

    // Touching M scrolls the list to M; the strip lights up and stays at
    // the top of what shows.
    auto finger = driver.touchDown({ stripPoint("M") });
    EXPECT_TRUE(strip().isHighlighted());
    EXPECT_EQ(table.indexPathsForVisibleRows().front(), (IndexPath { 13, 0 }));
    EXPECT_EQ(strip().frame().y(), table.contentOffset().y + 2);
    driver.touchMove({ { finger[0], stripPoint("#") } });
    EXPECT_EQ(table.contentOffset().y, 0);
    driver.touchUp(finger);
    EXPECT_FALSE(strip().isHighlighted());

    // The label cycles between the summary and the addresses.
    driver.tap(*screen->label);
    EXPECT_EQ(screen->label->text(), hostAddress());
    expectLabelBetweenNeighbours();
    driver.tap(*screen->label);
    EXPECT_EQ(screen->label->text(), announcedAddress());
    expectLabelBetweenNeighbours();
    driver.tap(*screen->label);
    EXPECT_EQ(screen->label->text(), "200 Items, 3.4 MB");

    // A swipe shows one row's Delete, the table in swipe mode.
    driver.swipeRow(table, { 0, 2 });
    EXPECT_TRUE(table.cellForRow({ 0, 2 })->deleteConfirmationButton());
    EXPECT_EQ(table.editingMode(), 0);
    table.cancelDeletion();

    // Turned: the bar is lower, the label's font smaller, the strip still
    // 28 points at the right edge and shortened to what fits.
    ASSERT_TRUE(driver.rotate(ui::Orientation::LandscapeLeft));
    advance(1);
    EXPECT_EQ(screen->label->font().pointSize(), 13);
    EXPECT_EQ(screen->toolbar->frame().height(), 32);
    EXPECT_EQ(strip().frame().maxX(), table.bounds().width());
    EXPECT_EQ(strip().frame().width(), 28);
    EXPECT_LT(strip().displayCount(), 27u);
    driver.tap(*screen->label);
    expectLabelBetweenNeighbours();
    table.setContentOffset({ 0, 0 });
    driver.swipeRow(table, { 0, 1 });
    EXPECT_TRUE(table.cellForRow({ 0, 1 })->deleteConfirmationButton());
    table.cancelDeletion();
    ASSERT_TRUE(driver.rotate(ui::Orientation::Portrait));
    advance(1);
    EXPECT_EQ(screen->label->font().pointSize(), 14);
    EXPECT_EQ(strip().displayCount(), 27u);
}

TEST_F(FolderListScreensTest, Goldens)
{
    show(test::phoneScreen);
    screen->label->setTouchesCycleState(false);
    screen->label->setState(3);
    screen->toolbar->layoutIfNeeded();
    auto toolbar = ui::Renderer::renderImage(*screen->toolbar);
    ASSERT_TRUE(toolbar);
    EXPECT_TRUE(test::matchesGolden(*toolbar, sourcePath(""), "folder-toolbar-both-addresses"));

    ASSERT_TRUE(driver.rotate(ui::Orientation::LandscapeLeft));
    advance(1);
    auto finger = driver.touchDown({ stripPoint("M") });
    advance(1);
    auto touched = ui::Renderer::renderImage(strip());
    ASSERT_TRUE(touched);
    EXPECT_TRUE(test::matchesGolden(*touched, sourcePath(""), "folder-strip-compressed-touched"));
    driver.touchUp(finger);
    ASSERT_TRUE(driver.rotate(ui::Orientation::Portrait));
    advance(1);
}

TEST_F(FolderListScreensTest, ScreensWithRealText)
{
    gfx::setTextEngine(gfx::makePangoTextEngine());
    std::string directory = sourcePath("build/screens/folder_browser");
    for (auto& device : { test::phoneScreen, test::tabletScreen }) {
        show(device);
        for (auto orientation : { ui::Orientation::Portrait, ui::Orientation::LandscapeLeft }) {
            if (orientation != ui::Orientation::Portrait) {
                ASSERT_TRUE(driver.rotate(orientation));
            }
            advance(1);
            std::string suffix = fmt::format("{}-{}", device.name,
                orientation == ui::Orientation::Portrait ? "portrait" : "landscape");
            auto shoot = [&](const std::string& name) { test::saveScreen(driver, directory, name + "-" + suffix, device.scale); };

            screen->table->setContentOffset({ 0, 0 });
            advance(1);
            shoot("list");
            auto finger = driver.touchDown({ stripPoint("M") });
            advance(1);
            shoot("list-touched-m");
            driver.touchUp(finger);
            advance(1);

            screen->label->setTouchesCycleState(true);
            for (int state = 0; state <= 2; ++state) {
                screen->label->setState(state);
                shoot(fmt::format("toolbar-state{}", state));
            }
            screen->label->setState(3);
            shoot("toolbar-state3");
            server->stopListeningAndDisconnectActiveConnections(true);
            screen->label->setState(1);
            shoot("toolbar-stopped");
            ASSERT_TRUE(server->startListening());
            runLoop();
            screen->label->setState(0);

            screen->table->setContentOffset({ 0, 0 });
            runLoop();
            driver.swipeRow(*screen->table, { 0, 2 });
            advance(1);
            shoot("row-delete");
            screen->table->cancelDeletion();
            screen->table->setEditingMode(VKMultiEditTableView::MultiEditMode);
        }
        ASSERT_TRUE(driver.rotate(ui::Orientation::Portrait));
        advance(1);
        window().setRootViewController(nullptr);
        screen.reset();
    }
}

} // namespace
