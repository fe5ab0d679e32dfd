#include "Platform/Web/GtkFileFolderRule.h"

#include "Platform/Core/Log.h"
#include "Platform/Core/Path.h"
#include "Platform/Core/Paths.h"
#include "Platform/Core/URL.h"
#include "Platform/Net/URLError.h"
#include "Platform/Web/WebPageClient.h"

#include <webkit2/webkit2.h>

namespace web {

GtkFileFolderRule::GtkFileFolderRule(WebKitUserContentManager* content, DeliverReport deliver)
    : m_content(content)
    , m_deliver(std::move(deliver))
{
}

void GtkFileFolderRule::setFolders(const std::optional<std::vector<std::string>>& folders)
{
    webkit_user_content_manager_remove_all_filters(m_content);
    unsigned generation = ++m_ruleGeneration;
    m_ruleFailed = false;
    if (!folders) {
        m_ruleMaking = 0;
        auto loads = std::move(m_loadsAwaitingRule);
        m_loadsAwaitingRule.clear();
        for (auto& load : loads)
            load();
        return;
    }
    m_ruleMaking = generation;
    std::string rules = fileFolderRules(*folders);
    // Compiled rules are kept by WebKit in a folder of the home's tmp, under
    // a name that is their own digest, so a rule made again is reused.
    std::string storePath = core::path::appendingPathComponent(core::paths::temporaryDirectory(), "WebContentRules");
    char* digest = g_compute_checksum_for_string(G_CHECKSUM_SHA256, rules.c_str(), gssize(rules.size()));
    std::string identifier = std::string("folders-") + digest;
    g_free(digest);
    WebKitUserContentFilterStore* store = webkit_user_content_filter_store_new(storePath.c_str());
    GBytes* source = g_bytes_new(rules.data(), rules.size());
    struct Making {
        std::weak_ptr<GtkFileFolderRule> rule;
        unsigned generation;
    };
    webkit_user_content_filter_store_save(
        store, identifier.c_str(), source, nullptr,
        [](GObject* object, GAsyncResult* result, gpointer data) {
            std::unique_ptr<Making> making(static_cast<Making*>(data));
            GError* error = nullptr;
            WebKitUserContentFilter* rule = webkit_user_content_filter_store_save_finish(
                WEBKIT_USER_CONTENT_FILTER_STORE(object), result, &error);
            std::string message = error ? error->message : "";
            if (error)
                g_error_free(error);
            if (auto owner = making->rule.lock())
                owner->made(making->generation, rule, message);
            if (rule)
                webkit_user_content_filter_unref(rule);
        },
        new Making { weak_from_this(), generation });
    g_bytes_unref(source);
    g_object_unref(store);
}

bool GtkFileFolderRule::holds(std::function<void()> load)
{
    if (m_ruleFailed) {
        // Without the rule the page could read any file: nothing loads.
        auto failure = net::URLError::make(net::URLError::NoPermissionsToReadFile, core::URL());
        m_deliver([failure](WebPageClient& client) { client.pageDidFailLoad(failure); });
        return true;
    }
    if (!m_ruleMaking)
        return false;
    m_loadsAwaitingRule.push_back(std::move(load));
    return true;
}

void GtkFileFolderRule::made(unsigned generation, WebKitUserContentFilter* rule, const std::string& error)
{
    if (generation != m_ruleMaking)
        return;
    m_ruleMaking = 0;
    auto loads = std::move(m_loadsAwaitingRule);
    m_loadsAwaitingRule.clear();
    if (!rule) {
        core::log("Warning, the web view's file rule could not be made: {}", error);
        m_ruleFailed = true;
    } else {
        webkit_user_content_manager_add_filter(m_content, rule);
    }
    for (auto& load : loads)
        load();
}

} // namespace web
