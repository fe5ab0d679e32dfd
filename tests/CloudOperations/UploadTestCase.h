#pragma once

// Uploads through the program's service to the fake cloud service, with the
// toolkit's application and a key window for the sheets they show, the test
// as the person their questions go to, and the service registered, as
// operations and the queue find it.

#include "Cloud/CloudServiceTestCase.h"
#include "CloudOperations/VKCloudUploadManager.h"
#include "Cloud/VKCloudServicesManager.h"
#include "Cloud/VKNetworkState.h"
#include "Platform/Core/FileTestHooks.h"
#include "Platform/UI/Testing/Driver.h"
#include "Platform/UI/Testing/Environment.h"
#include "Support/Command.h"
#include "Support/RecordingTransferQuestions.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <thread>

namespace test {

class UploadTestCase : public CloudServiceTestCase {
protected:
    void SetUp() override
    {
        ui::testing::Environment::begin(nullptr);
        CloudServiceTestCase::SetUp();
        auto registered = service;
        VKCloudServicesManager::sharedManager()->registerCloudService([registered] { return registered; }, "Dropbox");
        VKCloudUploadManager::resetSharedManagerForTesting();
        questions = RecordingTransferQuestions::install();
    }
    void TearDown() override
    {
        releaseCopies();
        server->release();
        VKCloudUploadManager::resetSharedManagerForTesting();
        VKTransferQuestions::setCurrent(nullptr);
        core::FileTestHooks::reset();
        driver.reset();
        ui::testing::Environment::end();
        CloudServiceTestCase::TearDown();
    }

    static std::string sha256(const std::string& path)
    {
        auto result = runCommand({ "sha256sum", "--", path });
        return result.status == 0 ? result.output.substr(0, 64) : "missing " + path;
    }
    // A folder of the account and of the mirror.
    void cloudAndMirrorFolder(const std::string& cloudPath)
    {
        cloudFolder(cloudPath);
        std::filesystem::create_directories(mirrorPath(cloudPath));
        mirror(cloudPath, true);
    }
    size_t sends() const
    {
        size_t count = 0;
        for (const auto& request : server->requests())
            count += request.method == "POST" && request.pathOnly().starts_with("/0/files/dropbox");
        return count;
    }
    static bool waitFor(const std::function<bool()>& condition, double seconds = 20)
    {
        return core::RunLoop::main().runUntil(condition, seconds);
    }
    // Pumps the loop for a while in real time, for what must not happen.
    static void settle(double seconds = 0.4)
    {
        core::RunLoop::main().runUntil([] { return false; }, seconds);
    }

    // Holds the staging copy of every source whose name is in `names`
    // before it is copied, until releaseCopies(); `error` fails it instead.
    void holdCopies(std::vector<std::string> names, int error = 0)
    {
        m_held = true;
        core::FileTestHooks::setCopyItemHook([this, names, error](const std::string& from) {
            if (std::find(names.begin(), names.end(), core::path::lastPathComponent(from)) == names.end())
                return 0;
            ++heldCopies;
            while (m_held && !error)
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            return error;
        });
    }
    void releaseCopies() { m_held = false; }

    ui::testing::Driver driver;
    std::shared_ptr<RecordingTransferQuestions> questions;
    std::atomic<int> heldCopies { 0 };

private:
    std::atomic<bool> m_held { false };
};

} // namespace test
