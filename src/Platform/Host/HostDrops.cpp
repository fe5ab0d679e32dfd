#include "Platform/Host/HostDrops.h"

#include "Platform/Core/Log.h"
#include "Platform/Host/GuardedCallback.h"

#include <gtk/gtk.h>

namespace ui {

namespace {

void onDragDataReceived(GtkWidget*, GdkDragContext* context, gint, gint, GtkSelectionData* data, guint, guint time,
    gpointer self)
{
    std::vector<std::string> uris;
    if (gchar** list = gtk_selection_data_get_uris(data)) {
        for (gchar** uri = list; *uri && uris.size() <= HostDrops::MaximumItems; ++uri)
            uris.emplace_back(*uri);
        g_strfreev(list);
    }
    gtk_drag_finish(context, !uris.empty(), FALSE, time);
    static_cast<HostDrops*>(self)->receive(uris);
}

} // namespace

HostDrops::HostDrops(void* widget, Handler handler)
    : m_widget(widget)
    , m_dropped(std::move(handler))
{
    auto* area = GTK_WIDGET(widget);
    GtkTargetEntry target { const_cast<gchar*>("text/uri-list"), 0, 0 };
    gtk_drag_dest_set(area, GTK_DEST_DEFAULT_ALL, &target, 1, GDK_ACTION_COPY);
    m_handler = g_signal_connect(area, "drag-data-received", G_CALLBACK(GuardedCallback<onDragDataReceived>::call), this);
}

HostDrops::~HostDrops()
{
    if (m_handler && g_signal_handler_is_connected(m_widget, m_handler))
        g_signal_handler_disconnect(m_widget, m_handler);
}

void HostDrops::receive(const std::vector<std::string>& uris)
{
    std::vector<std::string> paths;
    size_t notFiles = 0;
    for (const auto& uri : uris) {
        if (paths.size() >= MaximumItems) {
            ++notFiles;
            continue;
        }
        // A local file: no host, or "localhost"; the name decoded as the
        // file system spells it.
        gchar* host = nullptr;
        gchar* path = g_filename_from_uri(uri.c_str(), &host, nullptr);
        const bool local = path && (!host || !*host || g_strcmp0(host, "localhost") == 0);
        if (local)
            paths.emplace_back(path);
        else
            ++notFiles;
        g_free(path);
        g_free(host);
    }
    core::log("HostDrops: {} files dropped, {} other items", paths.size(), notFiles);
    if (m_dropped && (!paths.empty() || notFiles))
        m_dropped(std::move(paths), notFiles);
}

} // namespace ui
