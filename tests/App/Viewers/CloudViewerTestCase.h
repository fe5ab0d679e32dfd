#pragma once

// Viewers of files in the cloud mirror: the viewers' fixture with the
// program's own cloud service linked to the fake cloud service, whose
// account holds Docs/{a.txt (5 MiB), b.pdf, empty.txt, Sub/, Old/},
// Deck.key/ and notes.txt, and the mirror listing the root and Docs.

#include "ViewerTestCase.h"

#include "Cloud/VKCloudFileResource.h"
#include "Cloud/VKCloudService.h"
#include "Support/DropboxSDK/FakeCloudServer.h"

#include <memory>
#include <string>
#include <vector>

namespace test {

class CloudViewerTestCase : public ViewerTestCase {
protected:
    static constexpr size_t BigFileSize = 5 * 1024 * 1024;

    void SetUp() override;
    void TearDown() override;

    // The mirror resource of a cloud path.
    std::shared_ptr<VKCloudFileResource> cloudResource(const std::string& cloudPath);
    // Lists the folder into the mirror and waits for the answer.
    void list(const std::string& cloudPath);
    // Fetches the item through the service and waits until it arrived.
    void fetch(const std::string& cloudPath);
    // A test viewer of the cloud file, pushed.
    std::shared_ptr<TestViewer> openCloudViewer(const std::string& cloudPath, bool loadsAtOnce = true);
    // Pumps the loop (20 s at most, real time) until the condition holds.
    static bool waitFor(const std::function<bool()>& condition);

    // The cloud paths of the fake's file requests, in order.
    std::vector<std::string> fileRequests() const;
    // The placeholder's label text, or "<none>".
    static std::string labelText(VKViewController& viewer);

    std::unique_ptr<FakeCloudServer> server;
    std::shared_ptr<VKCloudService> service;
    // What a.txt holds.
    std::string big;
};

} // namespace test
