#pragma once

#include "FileModel/VKServerLockHooks.h"
#include "Support/FileModel/CallRecorder.h"

#include <map>
#include <mutex>

namespace test {

// The WebDAV server's lock table as the file model sees it: paths served
// under URIs and locks held on URIs, as the test sets them up.
class RecordingServerLockHooks : public VKServerLockHooks, public CallRecorder {
public:
    // Makes a fake and wires it in as the current hooks.
    static std::shared_ptr<RecordingServerLockHooks> install();

    void serve(const std::string& path, const std::string& uri);
    void lock(const std::string& uri);
    void unlock(const std::string& uri);

    std::optional<std::string> URIForLocalPath(const std::string& path) override;
    std::vector<std::shared_ptr<core::Object>> locksForURI(const std::string& uri) override;

private:
    std::mutex m_mutex;
    std::map<std::string, std::string> m_uris;
    std::map<std::string, std::shared_ptr<core::Object>> m_locks;
};

} // namespace test
