#pragma once

#include "Kit/VKHomeLayout.h"
#include "Platform/Core/BackgroundTask.h"
#include "Platform/Core/FileSystem.h"
#include "Platform/Core/FileTestHooks.h"
#include "Platform/Core/Path.h"
#include "Platform/Core/RunLoop.h"
#include "Platform/Core/URLRequest.h"
#include "Support/Command.h"
#include "Support/RecordingTransferQuestions.h"
#include "Support/TestWebServer.h"
#include "Support/UITestCase.h"
#include "Downloads/VKDownloadFileResource.h"
#include "Downloads/VKDownloadManager.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace test {

// Downloads against the loopback web server, through the shared manager of
// the test's home, with the toolkit up (the activity indicator) and the test
// as the person the quota question goes to.
class DownloadTestCase : public UITestCase {
protected:
    void SetUp() override
    {
        UITestCase::SetUp();
        VKDownloadManager::resetSharedManagerForTesting();
        questions = RecordingTransferQuestions::install();
        server.emplace(pathInHome("web-server"));
        ASSERT_TRUE(server->isRunning());
    }

    void TearDown() override
    {
        VKDownloadManager::resetSharedManagerForTesting();
        VKTransferQuestions::setCurrent(nullptr);
        core::FileTestHooks::reset();
        core::resetBackgroundTasksForTesting();
        server.reset();
        UITestCase::TearDown();
    }

    static std::shared_ptr<VKDownloadManager> manager() { return VKDownloadManager::sharedManager(); }
    static std::string documents() { return VKHomeLayout::current()->documentsDirectory(); }
    static std::string downloads() { return VKHomeLayout::current()->downloadsDirectory(); }
    static std::string inDocuments(std::string_view name)
    {
        return core::path::appendingPathComponent(documents(), name);
    }

    core::URLRequest request(std::string_view pathAndQuery) const
    {
        return core::URLRequest(core::URL::parse(server->url(pathAndQuery)).value());
    }

    std::shared_ptr<VKDownloadFileResource> start(std::string_view pathAndQuery, const std::string& folder = documents())
    {
        return manager()->startWebDownloadWithRequest(request(pathAndQuery), folder);
    }

    // Runs the loop until the condition holds (20 s of real time at most).
    static bool waitFor(const std::function<bool()>& condition)
    {
        return core::RunLoop::current().runUntil(condition, 20);
    }
    static bool waitForState(const VKDownloadFileResource& item, VKNetworkState state)
    {
        return waitFor([&] { return item.downloadState() == state; });
    }

    // The state file as Python's plistlib reads it, as JSON-ish text of its
    // keys and string values.
    static std::string plistlibKeys(const std::string& path)
    {
        auto result = runCommand({ "python3", "-c",
            "import plistlib,sys\n"
            "d=plistlib.load(open(sys.argv[1],'rb'))\n"
            "for k in sorted(d): print(k, d[k] if isinstance(d[k], str) else type(d[k]).__name__)",
            path });
        return result.status == 0 ? result.output : "unreadable";
    }
    static bool xmllintAccepts(const std::string& path)
    {
        return runCommand({ "xmllint", "--noout", path }).status == 0;
    }

    // The requests the server got for the path prefix.
    std::vector<TestWebServer::Request> received(std::string_view prefix) const
    {
        std::vector<TestWebServer::Request> matching;
        for (auto& entry : server->requests())
            if (entry.path.starts_with(prefix))
                matching.push_back(entry);
        return matching;
    }

    static std::string sha256(const std::string& path)
    {
        auto result = runCommand({ "sha256sum", path });
        return result.output.substr(0, 64);
    }

    std::optional<TestWebServer> server;
    std::shared_ptr<RecordingTransferQuestions> questions;
};

} // namespace test
