#pragma once

// The cloud file operations against the fake cloud service, each run with a
// delegate that writes down every end and progress, the way the folder
// browser's operation machinery hears them.

#include "CloudOperations/UploadTestCase.h"
#include "CloudOperations/VKCloudDownloadOperation.h"
#include "CloudOperations/VKCloudUploadHooks.h"
#include "FileModel/VKCloudHooks.h"
#include "FileModel/VKQuotaManager.h"
#include "Kit/FileManagerAdditions.h"
#include "Platform/Core/BackgroundTask.h"
#include "Platform/Core/UserDefaults.h"
#include "Downloads/VKDownloadManager.h"

#include <fmt/format.h>

namespace test {

class RecordingOperationDelegate : public VKCloudDownloadOperationDelegate {
public:
    void fileOperation(VKFileOperation&, float progress) override
    {
        progresses.push_back(progress);
        if (onProgress)
            onProgress();
    }
    void fileOperationDidEnd(VKFileOperation&, const std::optional<core::Error>& error) override
    {
        errors.push_back(error);
        trashGroupOpenAtEnd = isInTrashGroup();
    }
    void cloudDownloadOperationWillStart(VKCloudDownloadOperation&) override { ++willStart; }

    size_t ends() const { return errors.size(); }
    // The last end's error code, or 0 for an end without error.
    int64_t code() const { return !errors.empty() && errors.back() ? errors.back()->code() : 0; }
    std::string text() const
    {
        return !errors.empty() && errors.back() ? errors.back()->localizedDescription() : std::string("none");
    }

    std::vector<std::optional<core::Error>> errors;
    std::vector<float> progresses;
    std::function<void()> onProgress;
    int willStart = 0;
    bool trashGroupOpenAtEnd = false;
};

class CloudOperationTestCase : public UploadTestCase {
protected:
    void SetUp() override
    {
        UploadTestCase::SetUp();
        // The mirror answers for the file model, as in the program.
        VKCloudHooks::setCurrent(std::make_shared<VKCloudUploadHooks>());
        VKDownloadManager::resetSharedManagerForTesting();
        // No figure for the room left unless a test gives one.
        VKQuotaManager::setFreeSpaceFunctionForTesting([](const std::string&) { return std::optional<uint64_t>(); });
        core::UserDefaults::standard()->set("VKQuotaEnabled", false);
    }
    void TearDown() override
    {
        server->release();
        if (cancellable && !cancellable->hasEnded())
            cancellable->cancel();
        cancellable.reset();
        core::RunLoop::main().runUntilIdle();
        VKDownloadManager::resetSharedManagerForTesting();
        VKQuotaManager::setFreeSpaceFunctionForTesting(nullptr);
        core::resetBackgroundTasksForTesting();
        VKCloudHooks::setCurrent(nullptr);
        UploadTestCase::TearDown();
    }

    // A file of the account and its node in the mirror (its folders made).
    void cloudItem(const std::string& cloudPath, std::string_view contents)
    {
        cloudFile(cloudPath, contents);
        mirror(cloudPath, false, static_cast<int64_t>(contents.size()));
    }
    void makeUpload(const std::string& cloudPath)
    {
        mirrorNode(cloudPath)->setUploadState(VKNetworkStateUploading);
        store()->saveContext();
    }
    std::vector<std::shared_ptr<VKFileResource>> resources(const std::vector<std::string>& cloudPaths)
    {
        std::vector<std::shared_ptr<VKFileResource>> found;
        for (const auto& path : cloudPaths) {
            found.push_back(resource(path));
            EXPECT_TRUE(found.back()) << path;
        }
        return found;
    }
    template<typename Operation> std::shared_ptr<Operation> start(std::shared_ptr<Operation> operation,
        const std::shared_ptr<VKFileResource>& destination = nullptr)
    {
        if (destination)
            operation->setDestination(destination);
        operation->setDelegate(delegate);
        operation->run();
        return operation;
    }
    bool waitForEnd(size_t count = 1)
    {
        return waitFor([&] { return delegate->ends() >= count; });
    }
    // Requests of an endpoint ("fileops/move", "metadata", "files"), by the
    // cloud path or "path"/"to_path" parameter they name.
    std::vector<std::string> requestsTo(const std::string& endpoint, const char* parameter = "path") const
    {
        std::vector<std::string> found;
        const std::string prefix = "/0/" + endpoint;
        for (const auto& request : server->requests()) {
            const std::string path = request.pathOnly();
            if (!path.starts_with(prefix))
                continue;
            if (endpoint.starts_with("fileops/"))
                found.push_back(request.parameter(parameter).value_or("?"));
            else
                found.push_back(path.substr(prefix.size() + std::string_view("/dropbox").size()));
        }
        return found;
    }
    // Holds the matching answers until the token is released (only the
    // first one unless `always`).
    void stall(const std::string& endpoint, const std::string& token, const std::string& path = {}, bool always = true)
    {
        std::string rule = fmt::format(R"({{"endpoint": "{}", "stall": "{}", "{}": {})", endpoint, token,
            always ? "always" : "count", always ? "true" : "1");
        if (!path.empty())
            rule += fmt::format(R"(, "path": "{}")", path);
        server->addFault(rule + "}");
    }
    void refuse(const std::string& endpoint, const std::string& path, int status = 500)
    {
        server->addFault(fmt::format(R"({{"endpoint": "{}", "path": "{}", "status": {}, "always": true}})", endpoint,
            path, status));
    }

    std::shared_ptr<RecordingOperationDelegate> delegate = std::make_shared<RecordingOperationDelegate>();
    // Cancelled at the end of a test that left it running.
    std::shared_ptr<VKCloudFileOperation> cancellable;
};

} // namespace test
