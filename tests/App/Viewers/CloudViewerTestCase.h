#pragma once

// Viewers of files in the cloud mirror: the viewers' fixture with the
// program's cloud service linked to the fake cloud service and its Docs
// account (Support/DropboxSDK/CloudDocsAccount.h).

#include "ViewerTestCase.h"

#include "Support/DropboxSDK/CloudDocsAccount.h"

#include <memory>
#include <string>

namespace test {

class CloudViewerTestCase : public ViewerTestCase {
protected:
    void SetUp() override
    {
        ViewerTestCase::SetUp();
        account.start();
    }
    void TearDown() override
    {
        ViewerTestCase::TearDown();
        account.stop();
    }

    std::shared_ptr<VKCloudFileResource> cloudResource(const std::string& cloudPath) { return account.resource(cloudPath); }
    void fetch(const std::string& cloudPath) { account.fetch(cloudPath); }
    std::vector<std::string> fileRequests() const { return account.fileRequests(); }
    static bool waitFor(const std::function<bool()>& condition) { return CloudDocsAccount::waitFor(condition); }
    // A test viewer of the cloud file, pushed.
    std::shared_ptr<TestViewer> openCloudViewer(const std::string& cloudPath, bool loadsAtOnce = true)
    {
        auto viewer = TestViewer::create(cloudResource(cloudPath), host, loadsAtOnce);
        push(viewer);
        return viewer;
    }
    // The placeholder's label text, or "<none>".
    static std::string labelText(VKViewController& viewer);

    CloudDocsAccount account;
};

} // namespace test
