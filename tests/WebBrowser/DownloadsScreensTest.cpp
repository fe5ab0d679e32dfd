// The transfer rows and the downloads list with real text at phone and
// tablet size, both ways up, for a person to look at
// (build/screens/webbrowser/downloads-*.png), and goldens of the rows in
// every state and of the list.

#include "DownloadScreenTestCase.h"

#include "App/FolderBrowser/VKDownloadFileResourceCell.h"
#include "Shell/VKNavigationController.h"
#include "Platform/Graphics/BitmapContext.h"
#include "Platform/Graphics/TextEngine.h"
#include "Platform/UI/Label.h"
#include "Platform/UI/NavigationBar.h"
#include "Platform/UI/Renderer.h"
#include "Platform/UI/Toolbar.h"
#include "Platform/UI/Window.h"
#include "Support/GoldenImage.h"
#include "Support/UIScreens.h"
#include "WebBrowser/VKDownloadHistoryController.h"

#include <fmt/format.h>

#include <cctype>
#include <filesystem>

#include <fcntl.h>
#include <sys/stat.h>

namespace {

constexpr int64_t MiB = 1 << 20;
constexpr time_t FixedDate = 1552559400;

using test::RotatingNavigation;

void fixDate(const std::string& path)
{
    struct timespec times[2] = { { FixedDate, 0 }, { FixedDate, 0 } };
    ::utimensat(AT_FDCWD, path.c_str(), times, 0);
}

// Offers Open and Reveal in Folder, as the downloads screen does.
class ScreenDelegate : public VKDownloadHistoryControllerUIDelegate {
public:
    bool supportsOpenDownloadResource() const override { return true; }
    bool supportsRevealDownloadResource() const override { return true; }
};

class DownloadsScreensTest : public test::DownloadScreenTestCase {
protected:
    void TearDown() override
    {
        window().setRootViewController(nullptr);
        navigation.reset();
        list.reset();
        cells.clear();
        DownloadScreenTestCase::TearDown();
    }

    std::string named(std::string_view name) const
    {
        std::string escaped;
        for (unsigned char c : name)
            escaped += std::isalnum(c) || c == '.' ? std::string(1, char(c)) : fmt::format("%{:02X}", c);
        return escaped;
    }
    std::shared_ptr<VKDownloadFileResource> startNamed(const std::string& name, const std::string& options)
    {
        std::string key;
        for (unsigned char c : name)
            key += std::isalnum(c) ? char(c) : '-';
        server->setResource(key, fmt::format("{}&disposition={}", options, named(name)));
        return start("/resource/" + key);
    }

    // One download in each state the list shows, through the real manager.
    void makeDownloads()
    {
        auto letter = startNamed("Welcome Letter.txt", "length=2400");
        ASSERT_TRUE(waitForState(*letter, VKNetworkStateDone));
        fixDate(letter->path());
        auto trailer = startNamed("Movie Trailer.mp4", fmt::format("length={}&drop_after={}", 5 * MiB, MiB / 2));
        ASSERT_TRUE(waitFor([&] { return trailer->downloadError().has_value(); }));
        auto source = startNamed("Source Code.tar.gz", fmt::format("length={}&ranges=1&stall_after={}&token=source", 6 * MiB, 2 * MiB));
        ASSERT_TRUE(waitFor([&] { return source->size() == uint64_t(2 * MiB); }));
        manager()->stopDownloadForResource(source);
        running.push_back(startNamed("Holiday Photos.zip", fmt::format("length={}&stall_after={}&token=photos", 8 * MiB, MiB)));
        running.push_back(startNamed("Podcast Episode 12.mp3", fmt::format("length={}&nolength=1&stall_after={}&token=podcast", 5 * MiB, 3 * MiB)));
        ASSERT_TRUE(waitFor([&] { return running[0]->size() == uint64_t(MiB) && running[1]->size() == uint64_t(3 * MiB); }));
        running.push_back(startNamed("Annual Report 2026.pdf", "length=1000"));
        ASSERT_EQ(running[2]->downloadState(), VKNetworkStateWaiting);
    }
    void releaseDownloads()
    {
        server->release("photos");
        server->release("podcast");
        server->release("source");
        waitFor([&] { return !manager()->hasActiveDownloads(); });
    }

    void showList(const test::DeviceScreen& device)
    {
        window().setRootViewController(nullptr);
        this->device = device;
        test::useDeviceScreen(window(), device);
        list = VKDownloadHistoryController::create();
        list->setUIDelegate(delegate);
        navigation = std::make_shared<RotatingNavigation>();
        navigation->setViewControllers({ list }, false);
        navigation->setToolbarHidden(false);
        navigation->toolbar().setBarStyle(ui::NavigationBar::Style::Black);
        window().setRootViewController(navigation);
        advance(1);
    }
    void shootAll(const test::DeviceScreen& device);

    // Rows made by hand, one per state, stacked in a strip 320 points wide.
    std::shared_ptr<ui::View> cellStrip()
    {
        auto item = [&](const char* name) {
            return VKDownloadFileResource::createWithRequest(request(fmt::format("/files/{}", named(name))), documents());
        };
        std::vector<std::shared_ptr<VKDownloadFileResource>> items;
        auto waiting = item("Annual Report 2026.pdf");
        waiting->setDownloadState(VKNetworkStateWaiting);
        auto connecting = item("Conference Schedule.ics");
        connecting->setDownloadState(VKNetworkStateConnecting);
        auto downloading = item("Holiday Photos.zip");
        downloading->setExpectedSize(8 * MiB);
        downloading->setDownloadProgress(0.125f);
        downloading->setDownloadState(VKNetworkStateDownloading);
        auto open = item("Podcast Episode 12.mp3");
        open->setExpectedSize(-1);
        open->setDownloadProgress(-float(3 * MiB));
        open->setDownloadState(VKNetworkStateDownloading);
        auto paused = item("Source Code.tar.gz");
        paused->setDownloadState(VKNetworkStatePaused);
        makeFile(paused->downloadPath().substr(home().size() + 1), std::string(size_t(1.2 * MiB), 's'));
        auto failed = item("Movie Trailer.mp4");
        failed->setDownloadError(core::Error("NSURLErrorDomain", -1005, "The network connection was lost."));
        failed->setDownloadState(VKNetworkStatePaused);
        auto finalising = item("Map Tiles.tar");
        finalising->setDownloadState(VKNetworkStateFinalizing);
        // Hostile names: long, markup, right to left.
        auto longName = item((std::string(120, 'L') + "<b>bold</b>" + std::string(100, 'n') + ".txt").c_str());
        longName->setDownloadState(VKNetworkStateWaiting);
        auto hebrew = item("\xD7\xA9\xD7\x9C\xD7\x95\xD7\x9D \xD7\xA2\xD7\x95\xD7\x9C\xD7\x9D.pdf");
        hebrew->setExpectedSize(int64_t(5) * 1024 * MiB);
        hebrew->setDownloadProgress(0.5f);
        hebrew->setDownloadState(VKNetworkStateDownloading);
        auto done = item("Welcome Letter.txt");
        done->setDownloadState(VKNetworkStateDone);
        items = { waiting, connecting, downloading, open, paused, failed, finalising, longName, hebrew, done };

        auto strip = ui::View::create({ 0, 0, 320, 68.0f * float(items.size()) });
        strip->setBackgroundColor(gfx::Color::white(1));
        for (size_t i = 0; i < items.size(); ++i) {
            auto cell = VKDownloadFileResourceCell::create("strip");
            cell->setFrame({ 0, 68.0f * float(i), 320, 68 });
            cell->setResource(items[i]);
            strip->addSubview(cell);
            cells.push_back(cell);
        }
        stripItems = items;
        strip->layoutIfNeeded();
        return strip;
    }

    std::shared_ptr<ScreenDelegate> delegate = std::make_shared<ScreenDelegate>();
    std::shared_ptr<VKDownloadHistoryController> list;
    std::shared_ptr<RotatingNavigation> navigation;
    std::vector<std::shared_ptr<VKDownloadFileResource>> running;
    std::vector<std::shared_ptr<VKDownloadFileResource>> stripItems;
    std::vector<std::shared_ptr<VKDownloadFileResourceCell>> cells;
};

void DownloadsScreensTest::shootAll(const test::DeviceScreen& device)
{
    gfx::setTextEngine(gfx::makePangoTextEngine());
    for (auto orientation : { ui::Orientation::Portrait, ui::Orientation::LandscapeLeft }) {
        showList(device);
        if (orientation != ui::Orientation::Portrait) {
            ASSERT_TRUE(driver.rotate(orientation));
            advance(1);
        }
        shoot("downloads", "list");
        auto& table = list->tableView();
        table.scrollToRow({ 0, 3 }, ui::TableView::ScrollPosition::Bottom, false);
        advance(1);
        driver.tapRow(table, { 0, 3 });
        advance(1);
        shoot("downloads", "row-sheet");
        dismissSheet();
        driver.swipeRow(table, { 0, 3 });
        advance(1);
        shoot("downloads", "swiped-row");
        driver.confirmDeletion(table);
        advance(1);
        shoot("downloads", "partial-download-sheet");
        dismissSheet();
        if (orientation != ui::Orientation::Portrait) {
            ASSERT_TRUE(driver.rotate(ui::Orientation::Portrait));
            advance(1);
        }
    }
}

TEST_F(DownloadsScreensTest, Phone)
{
    makeDownloads();
    shootAll(test::phoneScreen);
    manager()->clearAllCompletedDownloads();
    for (auto item : manager()->webDownloads())
        manager()->stopDownloadForResource(item);
    for (auto item : std::vector(manager()->webDownloads()))
        manager()->deleteDownloadResource(item);
    showList(test::phoneScreen);
    shoot("downloads", "empty");
    ASSERT_TRUE(driver.rotate(ui::Orientation::LandscapeLeft));
    advance(1);
    shoot("downloads", "empty");
}

TEST_F(DownloadsScreensTest, Tablet)
{
    makeDownloads();
    shootAll(test::tabletScreen);
    releaseDownloads();
}

TEST_F(DownloadsScreensTest, RowsInEveryState)
{
    auto strip = cellStrip();
    for (auto& cell : cells)
        EXPECT_LE(cell->titleLabel().frame().maxX(), cell->contentView().bounds().width()) << cell->titleLabel().text();
    auto picture = ui::Renderer::renderImage(*strip);
    ASSERT_TRUE(picture);
    EXPECT_TRUE(test::matchesGolden(*picture, sourcePath(""), "downloads-rows-every-state"));

    gfx::setTextEngine(gfx::makePangoTextEngine());
    cells.clear();
    strip = cellStrip();
    std::filesystem::create_directories(sourcePath("build/screens/webbrowser"));
    core::Error error;
    EXPECT_TRUE(ui::Renderer::renderToPNGForTesting(*strip, sourcePath("build/screens/webbrowser/downloads-rows-every-state.png"), 2, &error))
        << error.localizedDescription();
}

TEST_F(DownloadsScreensTest, ARowThatFailsAgainStillSaysSo)
{
    for (const auto* screen : { &test::phoneScreen, &test::tabletScreen }) {
        showList(*screen);
        auto item = startNamed("Movie Trailer.mp4", fmt::format("length={}&drop_after={}", 5 * MiB, MiB / 2));
        for (int attempt = 0; attempt < 2; ++attempt) {
            if (attempt) {
                server->setResource("Movie-Trailer-mp4", fmt::format("length={}&drop_after={}", 5 * MiB, MiB / 2));
                manager()->resumeDownloadForResource(item);
            }
            ASSERT_TRUE(waitFor([&] { return item->downloadError().has_value(); }));
            // Past any progress refresh the row had put off.
            advance(2);
            auto* cell = dynamic_cast<VKDownloadFileResourceCell*>(list->tableView().cellForRow({ 0, 0 }));
            ASSERT_TRUE(cell);
            EXPECT_EQ(cell->sizeLabel().text(), "Failed: The network connection was lost.") << attempt;
        }
        shoot("downloads", "failed-again");
        manager()->deleteDownloadResource(item);
    }
}

TEST_F(DownloadsScreensTest, ListGolden)
{
    makeDownloads();
    showList(test::phoneScreen);
    auto picture = ui::Renderer::renderScreenImage();
    ASSERT_TRUE(picture);
    EXPECT_TRUE(test::matchesGolden(*picture, sourcePath(""), "downloads-list-phone-portrait"));
    releaseDownloads();
}

} // namespace
