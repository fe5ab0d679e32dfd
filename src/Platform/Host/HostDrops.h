#pragma once

// Files dropped on the window from a desktop file manager (XDND's
// "text/uri-list"): the dropped URIs become local paths, handed to the
// window's `filesDropped` with the count of items that are no local file
// (a web address, another host's file, a URI that does not parse). A drop
// holds at most MaximumItems; the rest count as not taken. The paths are
// as dropped: what they lead to (a folder, a link, a FIFO, another file
// system) is for the receiver to judge, off the main thread. Main thread
// only; GTK stays in the .cpp file.

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

namespace ui {

class HostDrops {
public:
    using Handler = std::function<void(std::vector<std::string> paths, size_t notFiles)>;
    static constexpr size_t MaximumItems = 1000;

    // Makes the widget (a GtkWidget) a drop target for file URIs that copies.
    HostDrops(void* widget, Handler handler);
    ~HostDrops();
    HostDrops(const HostDrops&) = delete;
    HostDrops& operator=(const HostDrops&) = delete;

    // What a drop's URIs bring; the drop's own entry, open to tests.
    void receive(const std::vector<std::string>& uris);

private:
    void* m_widget;
    unsigned long m_handler = 0;
    Handler m_dropped;
};

} // namespace ui
