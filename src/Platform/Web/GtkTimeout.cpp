#include "Platform/Web/GtkTimeout.h"

#include <glib.h>

namespace web {

GtkTimeout::~GtkTimeout()
{
    cancel();
}

void GtkTimeout::start(unsigned milliseconds, std::function<void()> fire)
{
    cancel();
    struct Firing {
        GtkTimeout* timeout;
        std::function<void()> fire;
    };
    m_source = g_timeout_add_full(
        G_PRIORITY_DEFAULT, milliseconds,
        [](gpointer data) -> gboolean {
            // The owner still lives: its going removes the source first.
            auto* firing = static_cast<Firing*>(data);
            firing->timeout->m_source = 0;
            firing->fire();
            return G_SOURCE_REMOVE;
        },
        new Firing { this, std::move(fire) }, [](gpointer data) { delete static_cast<Firing*>(data); });
}

void GtkTimeout::cancel()
{
    if (m_source)
        g_source_remove(m_source);
    m_source = 0;
}

} // namespace web
