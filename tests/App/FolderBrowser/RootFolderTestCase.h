#pragma once

// The root list's and the folder picker's tests: the folder listing fixture
// plus cloud services registered as test services (their mirror folders
// made as nodes of the cloud store), the device named "Test Device", and
// the cloud store and the registry forgotten afterwards.

#include "FolderListingTestCase.h"

#include "Support/Cloud/TestCloudService.h"

#include <memory>
#include <string>

namespace test {

class RootFolderTestCase : public FolderListingTestCase {
protected:
    void SetUp() override;
    void TearDown() override;

    // Registers a test service under the key, linked or not, with its
    // mirror folder as a node.
    std::shared_ptr<TestCloudService> installService(const std::string& key, bool linked);
    // A folder node in the service's mirror ("Sub/Folder"), saved.
    std::string makeCloudFolder(TestCloudService& service, const std::string& relative);
    // Folders under the private or public documents, known to the quota tree.
    std::string makeFolder(const std::string& path);
    static void rescan(const std::string& path);
};

} // namespace test
