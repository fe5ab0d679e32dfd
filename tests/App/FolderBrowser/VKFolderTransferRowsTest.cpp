// The folder list's transfer rows on their own, without a window: what a
// download's news tells the host of the folder it lands in (and of another
// folder), and the kind of row each transfer takes.

#include "App/FolderBrowser/VKFolderTransferRows.h"

#include "App/FolderBrowser/VKFileResourceCell.h"
#include "FileModel/VKDownloadHooks.h"
#include "FileModel/VKFileResource.h"
#include "Platform/Core/NotificationCenter.h"
#include "Platform/Core/Path.h"
#include "Platform/UI/TableView.h"
#include "Support/UITestCase.h"

namespace {

using Strings = std::vector<std::string>;

struct Transfer : VKFileResource {
    Transfer(std::string path, bool download, bool upload)
        : VKFileResource(std::move(path)), download(download), upload(upload) { }
    bool isDownloadResource() const override { return download; }
    bool isCloudResource() const override { return upload; }
    bool isUpload() const override { return upload; }
    bool download, upload;
};

struct TransferHost : VKFolderTransferRows::Host {
    Strings calls;
    std::shared_ptr<VKFileResource> listed;
    bool transferIsListed(const std::shared_ptr<VKFileResource>& download) override { return download == listed; }
    void transferStarted(const std::shared_ptr<VKFileResource>& d) override { calls.push_back("start " + d->name()); }
    void transferFinished(const std::shared_ptr<VKFileResource>& d, const std::shared_ptr<VKFileResource>& file) override
    {
        calls.push_back("finish " + d->name() + (file ? " as file" : " gone"));
    }
    void transferDeleted() override { calls.push_back("deleted"); }
    void transferFailed(const std::shared_ptr<VKFileResource>& d) override { calls.push_back("fail " + d->name()); }
    void transfersChanged() override { calls.push_back("changed"); }
};

using VKFolderTransferRowsTest = test::UITestCase;

TEST_F(VKFolderTransferRowsTest, ADownloadsNewsReachesTheHostOfItsFolder)
{
    std::string folder = core::path::standardizingPath(makeFolder("Docs"));
    auto host = std::make_shared<TransferHost>();
    VKFolderTransferRows rows;
    rows.observe(host, folder);
    auto here = std::make_shared<Transfer>(folder + "/a.pdf", true, false);
    auto elsewhere = std::make_shared<Transfer>(pathInHome("Other/b.pdf"), true, false);
    auto& center = core::NotificationCenter::defaultCenter();

    center.post(VKDownloadManagerDownloadDidStartNotification, here);
    center.post(VKDownloadManagerDownloadDidStartNotification, elsewhere);
    host->listed = here;
    center.post(VKDownloadManagerDownloadDidStartNotification, here); // heard twice
    center.post(VKDownloadManagerDownloadDidFailNotification, here, core::Value::Dictionary { { "error", core::Value("timed out") } });
    center.post(VKDownloadManagerDownloadDidFinishNotification, here);
    makeFile("Docs/a.pdf", "%PDF");
    center.post(VKDownloadManagerDownloadDidFinishNotification, here);
    center.post(VKDownloadFileResourceDidDeleteDownloadNotification, here);
    EXPECT_EQ(host->calls, (Strings { "start a.pdf", "changed", "changed", "changed", "fail a.pdf", "changed",
                               "finish a.pdf gone", "changed", "finish a.pdf as file", "changed", "deleted", "changed" }));

    host.reset();
    center.post(VKDownloadManagerDownloadDidStartNotification, here); // a host that went hears nothing
}

TEST_F(VKFolderTransferRowsTest, EachTransferTakesItsKindOfRow)
{
    Transfer file(pathInHome("a"), false, false), download(pathInHome("b"), true, false), upload(pathInHome("c"), false, true);
    EXPECT_EQ(VKFolderTransferRows::cellIdentifier(nullptr), "VKFileResourceCell");
    EXPECT_EQ(VKFolderTransferRows::cellIdentifier(&file), "VKFileResourceCell");
    EXPECT_EQ(VKFolderTransferRows::cellIdentifier(&download), "VKDownloadFileResourceCell");
    EXPECT_EQ(VKFolderTransferRows::cellIdentifier(&upload), "VKUploadFileResourceCell");

    auto table = ui::TableView::create({ 0, 0, 320, 480 });
    for (const auto* transfer : { &file, &download, &upload })
        EXPECT_EQ(VKFolderTransferRows::dequeueCell(*table, transfer)->reuseIdentifier(),
            VKFolderTransferRows::cellIdentifier(transfer));
}

} // namespace
