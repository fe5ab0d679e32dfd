// The transfer rows: states and texts driven by hand through the item's
// setters, the progress gate on the manual clock, reuse, and the button
// against the real download manager and the loopback web server.

#include "Downloads/DownloadTestCase.h"

#include "App/FolderBrowser/VKDownloadFileResourceCell.h"
#include "Platform/Core/Date.h"
#include "Platform/Core/ManualClock.h"
#include "Platform/UI/Button.h"
#include "Platform/UI/ImageView.h"
#include "Platform/UI/Images.h"
#include "Platform/UI/Label.h"
#include "Platform/UI/ProgressView.h"
#include "Support/TestEnvironment.h"

#include <fmt/format.h>

#include <fcntl.h>
#include <unistd.h>

namespace {

constexpr int64_t MiB = 1 << 20;

class VKDownloadFileResourceCellTest : public test::DownloadTestCase {
protected:
    void TearDown() override
    {
        cell.reset();
        DownloadTestCase::TearDown();
    }

    std::shared_ptr<VKDownloadFileResource> item(std::string_view path = "/bytes/100")
    {
        return VKDownloadFileResource::createWithRequest(request(path), documents());
    }
    std::shared_ptr<VKDownloadFileResourceCell> show(const std::shared_ptr<VKDownloadFileResource>& resource)
    {
        if (!cell)
            cell = VKDownloadFileResourceCell::create("VKDownloadFileResourceCell");
        cell->setResource(resource);
        cell->layoutIfNeeded();
        return cell;
    }
    std::string sizeText() const { return cell->sizeLabel().text(); }
    bool showsPause() const { return cell->pauseButton().imageForState(ui::Control::Normal) == ui::Images::imageNamed("VKTableCellPause.png"); }

    std::shared_ptr<VKDownloadFileResourceCell> cell;
};

TEST_F(VKDownloadFileResourceCellTest, EachStateShowsItsTextButtonAndBar)
{
    auto download = item();
    show(download);
    EXPECT_EQ(cell->accessoryType(), ui::TableViewCell::Accessory::None);
    EXPECT_TRUE(cell->modificationDateLabel().isHidden());
    EXPECT_FLOAT_EQ(cell->titleLabel().alpha(), 0.6f);
    EXPECT_FLOAT_EQ(cell->iconView().alpha(), 0.6f);
    EXPECT_TRUE(cell->pauseButton().isHidden());
    EXPECT_TRUE(cell->progressView().isHidden());
    EXPECT_EQ(sizeText(), "");

    struct Expected {
        VKNetworkState state;
        const char* text;
        bool pause;
        float barAlpha;
        bool enabled;
    };
    const Expected table[] = {
        { VKNetworkStateWaiting, "Waiting...", true, 0.5f, true },
        { VKNetworkStateConnecting, "Connecting...", true, 0.5f, true },
        { VKNetworkStateFinalizing, "Finalising...", true, 0.5f, false },
        { VKNetworkStateFailed, "Failed", false, 0.5f, true },
    };
    for (const auto& expected : table) {
        download->setDownloadState(expected.state);
        SCOPED_TRACE(expected.text);
        EXPECT_EQ(cell->networkState(), expected.state);
        EXPECT_EQ(sizeText(), expected.text);
        EXPECT_FALSE(cell->pauseButton().isHidden());
        EXPECT_FALSE(cell->progressView().isHidden());
        EXPECT_EQ(showsPause(), expected.pause);
        EXPECT_FLOAT_EQ(cell->progressView().alpha(), expected.barAlpha);
        EXPECT_EQ(cell->pauseButton().isEnabled(), expected.enabled);
    }
    download->setExpectedSize(8 * MiB);
    download->setDownloadProgress(0.125f);
    download->setDownloadState(VKNetworkStateDownloading);
    EXPECT_EQ(sizeText(), "1.0 MB of 8 MB");
    EXPECT_FLOAT_EQ(cell->progressView().alpha(), 1.0f);
    EXPECT_FLOAT_EQ(cell->progressView().progress(), 0.125f);
    EXPECT_TRUE(showsPause());

    // Paused: the bytes on disk; a size past 4 GiB keeps its 64 bits.
    std::string partial = download->downloadPath();
    int fd = ::open(partial.c_str(), O_CREAT | O_WRONLY, 0600);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::ftruncate(fd, 5 * 1024 * MiB), 0);
    ::close(fd);
    download->setDownloadState(VKNetworkStatePaused);
    EXPECT_EQ(sizeText(), "Paused - 5 GB");
    EXPECT_FALSE(showsPause());
    ::unlink(partial.c_str());

    // A failure's reason stays, also once paused afterwards.
    download->setDownloadError(core::Error("NSURLErrorDomain", -1005, "The network connection was lost."));
    download->setDownloadState(VKNetworkStateFailed);
    EXPECT_EQ(sizeText(), "Failed: The network connection was lost.");
    download->setDownloadState(VKNetworkStatePaused);
    EXPECT_EQ(sizeText(), "Failed: The network connection was lost.");

    download->setDownloadState(VKNetworkStateDone);
    EXPECT_TRUE(cell->pauseButton().isHidden());
    EXPECT_TRUE(cell->progressView().isHidden());
}

TEST_F(VKDownloadFileResourceCellTest, UnknownLengthShowsBytesReceivedWithoutBar)
{
    auto made = item();
    made->setExpectedSize(-1);
    made->setDownloadState(VKNetworkStateWaiting);
    show(made);
    EXPECT_TRUE(cell->progressView().isHidden()) << "a negative length hides the bar from the start";
    EXPECT_FALSE(cell->pauseButton().isHidden());

    // A real answer without a length, stalled after 3 MiB.
    server->setResource("open", fmt::format("length={}&nolength=1&stall_after={}&token=open", 4 * MiB, 3 * MiB));
    auto download = start("/resource/open");
    show(download);
    ASSERT_TRUE(waitFor([&] { return download->size() == uint64_t(3 * MiB); }));
    EXPECT_EQ(download->expectedSize(), -1);
    cell->downloadProgressDidUpdate();
    EXPECT_EQ(sizeText(), "3.0 MB received");
    EXPECT_TRUE(cell->progressView().isHidden());
    EXPECT_FALSE(cell->pauseButton().isHidden());
    server->release("open");
    ASSERT_TRUE(waitForState(*download, VKNetworkStateDone));
    EXPECT_EQ(readFile(download->path()).size(), size_t(4 * MiB));
}

TEST_F(VKDownloadFileResourceCellTest, ProgressTextsAreRefreshedAtMostEveryQuarterSecond)
{
    auto download = item();
    download->setExpectedSize(8 * MiB);
    download->setDownloadState(VKNetworkStateDownloading);
    show(download);
    std::vector<double> refreshes;
    double last = cell->lastUpdateTime();
    std::string lastText = sizeText();
    for (int step = 1; step <= 20; ++step) {
        advance(0.1);
        download->setDownloadProgress(float(step) / 20);
        if (cell->lastUpdateTime() != last) {
            last = cell->lastUpdateTime();
            refreshes.push_back(last);
            EXPECT_NE(sizeText(), lastText);
            lastText = sizeText();
        }
    }
    EXPECT_GE(refreshes.size(), 5u);
    EXPECT_LE(refreshes.size(), 8u);
    for (size_t i = 1; i < refreshes.size(); ++i)
        EXPECT_GT(refreshes[i] - refreshes[i - 1], 0.25 - 1e-9);
    // A change held back shows once the interval is over, though none follows.
    advance(0.1);
    download->setDownloadProgress(0.25f);
    download->setDownloadProgress(0.5f);
    advance(0.3);
    EXPECT_EQ(sizeText().rfind("4.0 MB of ", 0), 0u) << sizeText();
    // A change of state applies at once, whatever the gate.
    download->setDownloadState(VKNetworkStatePaused);
    EXPECT_EQ(sizeText().rfind("Paused - ", 0), 0u);
}

TEST_F(VKDownloadFileResourceCellTest, AReusedCellShowsOnlyItsNewItem)
{
    auto first = item("/bytes/1");
    auto second = item("/bytes/2");
    first->setDownloadState(VKNetworkStatePaused);
    second->setDownloadState(VKNetworkStatePaused);
    second->setDownloadError(core::Error("NSURLErrorDomain", -1001, "The request timed out."));
    show(first);
    EXPECT_EQ(sizeText(), "Paused - 0 KB");
    show(second);
    EXPECT_EQ(sizeText(), "Failed: The request timed out.") << "same state, new item's text";
    first->setDownloadState(VKNetworkStateWaiting);
    EXPECT_EQ(sizeText(), "Failed: The request timed out.");
    EXPECT_EQ(cell->downloadFileResource(), second);

    // A released cell leaves nothing behind on the item.
    cell.reset();
    second->setDownloadState(VKNetworkStateWaiting);
    second->setDownloadProgress(0.5f);
}

TEST_F(VKDownloadFileResourceCellTest, TheButtonIsOffWhileEditingAndWhileFinalising)
{
    auto download = item();
    download->setDownloadState(VKNetworkStateWaiting);
    show(download);
    cell->setEditing(true, false);
    EXPECT_FALSE(cell->pauseButton().isEnabled());
    download->setDownloadState(VKNetworkStateFinalizing);
    cell->setEditing(false, false);
    EXPECT_FALSE(cell->pauseButton().isEnabled());
    download->setDownloadState(VKNetworkStatePaused);
    EXPECT_TRUE(cell->pauseButton().isEnabled());
}

TEST_F(VKDownloadFileResourceCellTest, TheButtonPausesAndResumesThroughTheManager)
{
    server->setResource("big", "length=300000&ranges=1&stall_after=100000&token=big");
    auto download = start("/resource/big");
    ASSERT_TRUE(download);
    show(download);
    ASSERT_TRUE(waitForState(*download, VKNetworkStateDownloading));
    EXPECT_TRUE(showsPause());
    cell->pauseButton().sendActions(ui::Control::TouchUpInside);
    EXPECT_EQ(download->downloadState(), VKNetworkStatePaused);
    EXPECT_FALSE(showsPause());
    ASSERT_TRUE(waitFor([&] { return download->size() == 100000; }));

    cell->pauseButton().sendActions(ui::Control::TouchUpInside);
    EXPECT_TRUE(download->isActive());
    ASSERT_TRUE(waitForState(*download, VKNetworkStateDone));
    EXPECT_TRUE(cell->pauseButton().isHidden());
    auto requests = received("/resource/big");
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[1].header("Range"), "bytes=100000-");
    EXPECT_EQ(readFile(download->path()), test::TestWebServer::expectedBytes(0, 300000));

    // A done item's button does nothing; a waiting one's stops it.
    cell->togglePause();
    EXPECT_EQ(download->downloadState(), VKNetworkStateDone);
    server->setResource("a", "length=1000&stall_after=10&token=a");
    server->setResource("b", "length=1000&stall_after=10&token=b");
    auto a = start("/resource/a");
    auto b = start("/resource/b");
    auto waiting = start("/bytes/10");
    ASSERT_EQ(waiting->downloadState(), VKNetworkStateWaiting);
    show(waiting);
    cell->pauseButton().sendActions(ui::Control::TouchUpInside);
    EXPECT_EQ(waiting->downloadState(), VKNetworkStatePaused);
    server->release("a");
    server->release("b");
}

TEST_F(VKDownloadFileResourceCellTest, TheButtonTakesItsPlaceBesideTheIcon)
{
    auto download = item("/bytes/Some%20long%20name.zip");
    download->setDownloadState(VKNetworkStatePaused);
    show(download);
    gfx::Rect button = cell->pauseButton().frame();
    float w = button.width();
    ASSERT_GT(w, 0);
    EXPECT_FLOAT_EQ(button.x(), 69);
    EXPECT_FLOAT_EQ(button.y(), std::floor((68 - button.height()) / 2));
    gfx::Rect title = cell->titleLabel().frame();
    EXPECT_FLOAT_EQ(title.x(), 77 + w);
    EXPECT_FLOAT_EQ(title.y(), 6);
    EXPECT_FLOAT_EQ(title.width(), 213 - w);
    gfx::Rect size = cell->sizeLabel().frame();
    EXPECT_FLOAT_EQ(size.x(), 77 + w);
    EXPECT_FLOAT_EQ(size.maxX(), cell->contentView().bounds().width() - 8);
    gfx::Rect bar = cell->progressView().frame();
    EXPECT_FLOAT_EQ(bar.x(), size.x());
    EXPECT_FLOAT_EQ(bar.y(), title.maxY());
    EXPECT_FLOAT_EQ(bar.maxX(), cell->modificationDateLabel().frame().maxX() - 8);
    EXPECT_FLOAT_EQ(size.y(), bar.maxY() + 4);
    EXPECT_LE(size.maxY(), 68);

    // Done: no button, the row's plain places.
    download->setDownloadState(VKNetworkStateDone);
    cell->layoutIfNeeded();
    EXPECT_FLOAT_EQ(cell->titleLabel().frame().x(), 77);
    EXPECT_FLOAT_EQ(cell->titleLabel().frame().y(), 10);
}

} // namespace
