#pragma once

#include "Cloud/VKConcreteCloudService.h"
#include "Platform/Core/URLRequest.h"
#include "Support/FileModel/CallRecorder.h"

#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace test {

class TestCloudServiceAccount;

// A cloud service for tests of everything above the service layer: the
// common base does the paths, nodes and notifications; every protocol call is
// recorded as a line ("copyPath /a /b") with the callback it came with, for
// the test to answer. Linked, case sensitivity and the upload limit are what
// the test sets.
class TestCloudService : public VKConcreteCloudService, public CallRecorder {
public:
    // Makes the service and registers it under the key, which makes its
    // folder in the servers folder.
    static std::shared_ptr<TestCloudService> install(const std::string& key = "Test");

    struct Call {
        std::string text;
        Callback callback;
    };
    // The calls with a callback, oldest first.
    std::vector<Call> callbacks() const { return m_callbacks; }
    // The callback of the newest call that had one.
    Callback lastCallback() const { return m_callbacks.empty() ? nullptr : m_callbacks.back().callback; }

    void setLinked(bool linked) { m_linked = linked; }
    void setCaseSensitive(bool caseSensitive) { m_caseSensitive = caseSensitive; }
    void setUploadSizeLimit(uint64_t limit) { m_uploadSizeLimit = limit; }
    // What streamingURLRequestForPath answers (none by default) and what
    // isFetchingItemAtPath says.
    void setStreamingRequest(std::optional<core::URLRequest> request) { m_streamingRequest = std::move(request); }
    void setFetching(bool fetching) { m_fetching = fetching; }
    std::shared_ptr<TestCloudServiceAccount> testAccount();

    std::string name() const override { return m_name; }
    std::shared_ptr<VKCloudServiceAccount> account() override;
    uint64_t uploadSizeLimit() const override { return m_uploadSizeLimit; }
    bool isCaseSensitive() const override { return m_caseSensitive; }
    void removeLocalStorage() override;
    void fetchThumbnailForItemAtPath(const std::string& cloudPath, const std::string& destination, int sizeFlag,
        Callback callback) override;
    void cancelUploadOfItemAtPath(const std::string& cloudPath) override;
    bool isUploadingItemAtPath(const std::string& cloudPath) override;
    void uploadResource(const Resource& resource, Callback callback) override;
    std::optional<core::URLRequest> streamingURLRequestForPath(const std::string& cloudPath) override;
    bool isFetchingItemAtPath(const std::string& cloudPath) override;
    void cancelFetchOfItemAtPath(const std::string& cloudPath) override;
    void fetchResource(const Resource& resource, Callback callback) override;
    void copyPath(const std::string& from, const std::string& to, Callback callback) override;
    void movePath(const std::string& from, const std::string& to, Callback callback) override;
    void deletePath(const std::string& path, Callback callback) override;
    void createDirectoryAtPath(const std::string& path, Callback callback) override;
    void itemExistsAtPath(const std::string& path, Callback callback) override;
    bool isUpdatingMetadataForResource(const Resource& resource) override;
    void updateMetadataForResource(const Resource& resource, Callback callback) override;
    void unlink() override;
    bool isLinked() override { return m_linked; }

    TestCloudService(std::string key, std::string localPath);

private:
    void call(std::string text, Callback callback = nullptr);

    std::string m_name;
    std::optional<core::URLRequest> m_streamingRequest;
    bool m_fetching = false;
    bool m_linked = false;
    bool m_caseSensitive = true;
    uint64_t m_uploadSizeLimit = 314572800;
    std::shared_ptr<TestCloudServiceAccount> m_account;
    std::vector<Call> m_callbacks;
};

} // namespace test
