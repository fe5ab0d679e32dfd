#pragma once

#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <vector>

// What the hand-overs ask of the application (the delegate).
class VKAppHandOversHost {
public:
    virtual ~VKAppHandOversHost() = default;
    // The launch pass has not ended or the passcode lock is up: what comes
    // now waits for the owner.
    virtual bool handOversMustWait() const = 0;
    virtual bool handOversLocked() const = 0;
    virtual bool handOversGuest() const = 0;
    // A file in the inbox imported into Imports (none when the quota refused
    // it, with its warning shown).
    virtual std::optional<std::string> handOverImport(const std::string& path) = 0;
    // The imported file shown as the top of the browser's stack.
    virtual void handOverShow(const std::string& path) = 0;
};

// Files that reach the running application from outside: handed over by a
// later launch on the same home, and dropped on the window. It owns what
// waits behind the passcode lock (the files and what a drop could not take)
// and the drops' copies into the inbox, made on a thread of their own.
// The delegate owns it and outlives it; a copy that ends after it went
// does nothing.
class VKAppHandOvers {
public:
    explicit VKAppHandOvers(VKAppHandOversHost& host)
        : m_host(host)
    {
    }

    // A file (in the inbox) handed over: imported, counted and shown, or kept
    // while the owner must wait; a guest is never handed one. False when it
    // was not taken.
    bool handOver(const std::string& path);
    // Files dropped on the window: only regular files (a link's file, from
    // any file system) are copied into the inbox and taken as handed over,
    // the last shown. What cannot be taken (a folder, a FIFO or device, what
    // cannot be read, `notFiles` items that are no files at all) is said in
    // one alert and left where it was.
    void drop(std::vector<std::string> paths, size_t notFiles);
    // What came while the owner had to wait, now that they are in; nothing
    // for a guest, for whom it keeps waiting.
    void openPending();

private:
    void open(const std::vector<std::string>& paths);
    void dropped(std::vector<std::string> copies, std::vector<std::string> refusals, size_t notFiles);

    VKAppHandOversHost& m_host;
    // Files handed over while the owner had to wait, in the inbox.
    std::vector<std::string> m_pending;
    // What a drop behind the lock could not take, said once the owner is in.
    std::vector<std::string> m_pendingRefusals;
    // Gone with the hand-overs: a drop's copy that ends later does nothing.
    std::shared_ptr<bool> m_alive = std::make_shared<bool>(true);
};
