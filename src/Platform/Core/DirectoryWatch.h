#pragma once

#include "Platform/Core/Error.h"

#include <functional>
#include <memory>
#include <string>

namespace core {

// Tells when entries are added to, removed from or renamed within one folder
// (not below it; changes to the contents or attributes of an entry do not
// count). Backed by inotify, with one inotify descriptor per run loop shared
// by all of that loop's watches, since the system allows only a few of them
// per user. A pass that finds the queue readable drains it and calls each
// changed watch once, however many events it had.
//
// A watch belongs to the run loop of the thread that made it and is made and
// destroyed on that thread. It ends when the folder itself is removed, moved
// away or unmounted (told to onEnd's handler only), and with one log line
// when the queue cannot be read.
class DirectoryWatch {
public:
    struct Queue;

    // What counts as a change: entries added, removed or renamed, and, with
    // Contents, also a file of the folder written and closed.
    enum class Events { Entries, EntriesAndContents };

    // Null, with the reason in `error` (ENOENT, ENOTDIR, EACCES...), when the
    // folder cannot be watched.
    static std::unique_ptr<DirectoryWatch> create(const std::string& path, std::function<void()> changed,
        Error* error = nullptr, Events events = Events::Entries);
    ~DirectoryWatch();
    DirectoryWatch(const DirectoryWatch&) = delete;
    DirectoryWatch& operator=(const DirectoryWatch&) = delete;

    const std::string& path() const { return m_path; }
    // False once the folder went away or the queue failed.
    bool isActive() const;
    // Called once, on the watch's loop, when the folder itself is removed,
    // moved away or unmounted (after the changes read with that news); never
    // for a failed queue or a watch destroyed first.
    void onEnd(std::function<void()> ended);
    // Reads what the queue holds now and calls the changed watches of this
    // loop at once, instead of on the loop's next pass: a reader about to
    // list the folder takes the news it is going to see anyway.
    void processPendingEvents();

    struct State;

private:
    DirectoryWatch(std::string path, std::shared_ptr<Queue> queue, std::shared_ptr<State> state);

    std::string m_path;
    std::shared_ptr<Queue> m_queue;
    std::shared_ptr<State> m_state;
};

} // namespace core
