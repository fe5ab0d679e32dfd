#pragma once

// A GTK page's file-folder rule: a content rule that keeps what the page
// reads through file URLs inside the folders the app names, compiled by
// WebKit asynchronously into `<home>/tmp/WebContentRules` (a rule made again
// is reused). Loads asked for meanwhile wait for it; if it cannot be made,
// nothing loads. Owned by the page; WebKit's types are only declared here.

#include "Platform/Web/GtkWebPageSupport.h"

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

typedef struct _WebKitUserContentManager WebKitUserContentManager;
typedef struct _WebKitUserContentFilter WebKitUserContentFilter;

namespace web {

class GtkFileFolderRule : public std::enable_shared_from_this<GtkFileFolderRule> {
public:
    GtkFileFolderRule(WebKitUserContentManager* content, DeliverReport deliver);

    // Nothing: no rule, and the waiting loads run now.
    void setFolders(const std::optional<std::vector<std::string>>& folders);
    // Whether `load` waits for the rule being made (it runs once the rule is
    // in force) or fails because the rule could not be made; false: run it
    // now.
    bool holds(std::function<void()> load);
    // The waiting loads are dropped (the page stopped loading).
    void dropWaitingLoads() { m_loadsAwaitingRule.clear(); }

private:
    void made(unsigned generation, WebKitUserContentFilter* rule, const std::string& error);

    WebKitUserContentManager* m_content;
    DeliverReport m_deliver;
    // The rule WebKit is compiling (its number; none: 0), and the loads
    // waiting for it.
    unsigned m_ruleGeneration = 0;
    unsigned m_ruleMaking = 0;
    bool m_ruleFailed = false;
    std::vector<std::function<void()>> m_loadsAwaitingRule;
};

} // namespace web
