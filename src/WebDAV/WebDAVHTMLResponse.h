#pragma once

#include "WebDAV/WebDAVResponse.h"

#include "Platform/Core/Value.h"

#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

// The browser page: a GET of a folder answers with an HTML listing made of
// three page templates, a JSON listing for the page's scripts ("?json=1"),
// the JSON list of every folder ("/?allCollections=1") or the start page of
// the virtual roots. The class also keeps the page's own files (scripts,
// style sheet, images), read once from the bundle's "WebDAV" folder and
// served from memory by identifier, without credentials.
//
// Every name, path and title part is escaped for where it lands (HTML text
// and attributes, script strings); links stay percent-escaped.
class WebDAVHTMLResponse : public WebDAVResponse {
public:
    // The listing order of one request, from its "vksortorder" cookie.
    struct SortOrder {
        std::string key = "name"; // "name", "size" or "date"
        bool ascending = true;
    };
    // Cookie values longer than this are not read.
    static constexpr size_t MaxCookieValueLength = 4096;

    static std::shared_ptr<WebDAVHTMLResponse> create(std::shared_ptr<HTTPMessageRequest> request,
        WebDAVResponseDelegate* delegate);

    void start() override;

    std::string JSONRepresentationForResource(const WebDAVResource& resource);
    // "/" (with virtual roots), then each root and every folder below it,
    // percent-escaped, each with a trailing "/"; packages and hidden paths
    // left out.
    std::vector<std::string> collectionURIsIgnoringPackages();
    SortOrder indexSortDescriptors() const;
    std::string HTMLIndexForResource(const WebDAVResource& resource);
    std::string HTMLIndexForVirtualRoots();

    // Whether the URL's last path component names one of the page's files.
    static bool isHTMLIndexResourceRequest(const core::URL& url);
    // The file entry ({"data", "headers"}) for the URL's last path
    // component, or nothing.
    static const core::Value* HTMLIndexResourceInfoForRequest(const core::URL& url);
    // Identifier → file entry, built on first use and kept.
    static const std::map<std::string, core::Value, std::less<>>& HTMLIndexResourceMap();
    // Answers a GET (with body) or HEAD (without) of one of the page's files
    // on `response`: 200 and the entry's headers, kept open. False when the
    // request names none.
    static bool handleGetForHTMLIndexResource(WebDAVResponse& response, bool includeBody);

private:
    using WebDAVResponse::WebDAVResponse;

    struct Child;
    std::vector<Child> sortedChildren(const WebDAVResource& resource);
    bool showsHiddenFiles() const;
};

// The file entry of a bundle resource of the "WebDAV" folder, read as stored:
// {"data": bytes, "headers": {"Content-Type", "Content-Length", "Etag",
// "Last-Modified", and "Content-Encoding" when given}}; nothing (logged) when
// the bundle lacks it.
std::optional<core::Value> WebDAVResourceInfoForName(std::string_view name, std::string_view contentType,
    std::optional<std::string_view> contentEncoding = std::nullopt);

// Replaces every occurrence of each key by its value, literally and
// case-sensitively, one key after the other in the given order.
void vkReplaceOccurancesOfStringsInDictionary(std::string& text,
    const std::vector<std::pair<std::string, std::string>>& replacements);
