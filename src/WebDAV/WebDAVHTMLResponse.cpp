#include "WebDAV/WebDAVHTMLResponse.h"

#include "FileModel/VKQuotaManager.h"
#include "Kit/DateAdditions.h"
#include "Kit/FileManagerEtag.h"
#include "Kit/HTTPDates.h"
#include "Kit/JSON/JSONAdditions.h"
#include "Kit/MIMETypes.h"
#include "Kit/StringAdditions.h"
#include "Kit/CSRegex.h"
#include "Kit/URLAdditions.h"
#include "Kit/VKBytesFormatter.h"
#include "Kit/VKFunctions.h"
#include "Platform/Core/Bundle.h"
#include "Platform/Core/Device.h"
#include "Platform/Core/FileSystem.h"
#include "Platform/Core/Localized.h"
#include "Platform/Core/Log.h"
#include "Platform/Core/Path.h"
#include "Platform/Core/PercentEscape.h"
#include "Platform/Core/UserDefaults.h"
#include "WebDAV/WebDAVResponseDelegate.h"

#include <fmt/format.h>

#include <algorithm>
#include <compare>
#include <cstdint>

namespace {

constexpr const char* ResourceFolder = "WebDAV";
constexpr const char* FolderIcon = "DA389A64-AF85-460A-81DE-379A17AC6314";
constexpr const char* FileIcon = "85AEFEF7-ABF5-4199-84FF-C694D6E47DC2";

// Bundle resource → identifier the page loads it by. The three uploader
// entries of the old Flash uploader are not shipped: they log once and their
// identifiers answer as ordinary paths.
constexpr std::pair<const char*, const char*> BuiltInFiles[] = {
    { "Folder-16.png", "DA389A64-AF85-460A-81DE-379A17AC6314" },
    { "generic_small.png", "85AEFEF7-ABF5-4199-84FF-C694D6E47DC2" },
    { "WebDAVIndexSortAscending.png", "D52A0C4C-AB72-4105-9AD1-77E0FD6B18CE" },
    { "WebDAVIndexSortDescending.png", "2992B5F4-7E37-491B-A1E8-726FA23DCC00" },
    { "WebDAVIndexDownload.png", "30F32C52-B5D8-4CF6-96B8-48B6C910F935" },
    { "WebDAVIndexDownloadHover.png", "4C0AA7E6-CDAD-42AF-A21E-F77A640922A7" },
    { "WebDAVIndexDownloadActive.png", "EE05F170-98D5-427B-93BE-9B4BE200F658" },
    { "DocumentFolder-128.png", "E9936039-D58C-4D9B-94C6-0A0DF86DA628" },
    { "PublicFolder-128.png", "98301160-7F1E-401C-9FE9-022A78CA3990" },
    { "WebDAVIndexProgress.gif", "F9ACE9A8-8874-40FE-BF45-36818A0A6773" },
    { "WebDAVUtil.js", "F59FEFFF-9F87-4906-8F48-5CF14F3E3422" },
    { "WebDAVIndex.js", "D1EF07C8-4676-401A-AE20-8C912A3F0182" },
    { "WebDAVHTMLUpload.js", "AADBC52C-FBDA-4E69-B9F5-ECC4ED114051" },
    { "WebDAVFlashUpload.js", "117ACF2A-C3C2-4C5D-96C1-3B477B9CC1E6" },
    { "WebDAVYahoo.js", "99CA4CEB-F300-416F-A40E-4FF10E46D750" },
    { "WebDAVIndexStrings.js", "A3383EAE-0AD9-4282-8A51-55A676EDF2A5" },
    { "WebDAVIndex.css", "234C930E-2662-4104-B498-0AF172314DAF" },
    { "YuiUploader.swf", "C72BB0D4-5C85-43ED-82CB-FF00A8BD3E8C" },
};

// A template of the bundle, read once; missing reads as empty.
const std::string& pageTemplate(std::string_view name)
{
    static std::map<std::string, std::string, std::less<>> templates;
    auto found = templates.find(name);
    if (found != templates.end())
        return found->second;
    std::string text;
    std::string path = core::Bundle::main()->pathForResource(name, "html", ResourceFolder);
    core::Data contents;
    if (!path.empty() && core::fs::readFile(path, contents))
        text = contents.toString();
    return templates.emplace(std::string(name), std::move(text)).first->second;
}

std::string displayName()
{
    return VKMainBundleDisplayName().value_or("Tandry");
}

std::string html(std::string_view text)
{
    return vkStringByEscapingHTML(text);
}

// A string literal for a script inside the page: JSON's escapes, and no
// "</" or "<!--" that would end or confuse the script element.
std::string scriptString(std::string_view text)
{
    std::string json = JSONFragment(core::Value(std::string(text))).value_or("\"\"");
    std::string result;
    result.reserve(json.size());
    for (size_t i = 0; i < json.size(); ++i) {
        result += json[i];
        if (json[i] == '<' && i + 1 < json.size() && (json[i + 1] == '/' || json[i + 1] == '!'))
            result += '\\';
    }
    return result;
}

std::string naturalDate(const std::optional<core::Date>& date)
{
    return date ? descriptionWithNaturalLanguageUsingAbbreviation(*date, VKDateAbbreviation::Months) : std::string();
}

} // namespace

struct WebDAVHTMLResponse::Child {
    WebDAVResourceRef resource;
    std::string name;
    bool isFolder = false; // a folder that is not a package
    uint64_t size = 0;
    std::optional<core::Date> date;
};

std::shared_ptr<WebDAVHTMLResponse> WebDAVHTMLResponse::create(std::shared_ptr<HTTPMessageRequest> request,
    WebDAVResponseDelegate* delegate)
{
    return std::shared_ptr<WebDAVHTMLResponse>(new WebDAVHTMLResponse(std::move(request), delegate));
}

void WebDAVHTMLResponse::start()
{
    auto resource = requestResource(false);
    if (!resource) {
        endResponseWithStatusCode(404);
        return;
    }
    if (!resource->isCollection()) {
        endResponseWithStatusCode(400);
        return;
    }
    createHTTPMessageResponseWithStatusCode(200);
    setHeaderValue(locationForURI(resource->URI()), "Location");
    if (auto* delegate = this->delegate())
        delegate->webDAVResponse(*this, resource->URI());

    const auto& url = request()->requestURL();
    std::string query = url ? url->query() : std::string();
    bool isRoot = resource->URI().path() == "/";
    std::string body;
    if (query.starts_with("json=1")) {
        body = JSONRepresentationForResource(*resource);
    } else if (isRoot && query.starts_with("allCollections=1")) {
        core::Value::Array uris;
        for (auto& uri : collectionURIsIgnoringPackages())
            uris.emplace_back(std::move(uri));
        body = JSONRepresentation(core::Value(std::move(uris))).value_or("[]");
    } else if (isRoot && delegate() && !delegate()->virtualRootURIs().empty()) {
        body = HTMLIndexForVirtualRoots();
    } else {
        body = HTMLIndexForResource(*resource);
    }
    setBody(core::Data(std::move(body)));
    setHeaderValue(fmt::format("{}", bodyLength()), "Content-Length");
    if (auto* delegate = this->delegate())
        delegate->webDAVResponseDidEnd(*this, End::KeepOpen);
}

bool WebDAVHTMLResponse::showsHiddenFiles() const
{
    return core::UserDefaults::standard()->boolForKey("VKShowHiddenFiles");
}

WebDAVHTMLResponse::SortOrder WebDAVHTMLResponse::indexSortDescriptors() const
{
    SortOrder order;
    auto cookies = request()->headerForKey("Cookie");
    if (!cookies)
        return order;
    std::string_view rest = *cookies;
    std::optional<std::string> value;
    while (!rest.empty() && !value) {
        size_t end = rest.find(';');
        std::string_view part = rest.substr(0, end);
        rest = end == std::string_view::npos ? std::string_view() : rest.substr(end + 1);
        while (!part.empty() && std::isspace(static_cast<unsigned char>(part.front())))
            part.remove_prefix(1);
        while (!part.empty() && std::isspace(static_cast<unsigned char>(part.back())))
            part.remove_suffix(1);
        if (!part.starts_with("vksortorder="))
            continue;
        part.remove_prefix(std::string_view("vksortorder=").size());
        // An oversized value is a forged cookie: the default order serves.
        if (part.size() > MaxCookieValueLength)
            return order;
        value = core::percentUnescape(part);
        if (!value)
            return order;
    }
    if (!value)
        return order;
    auto groups = substringsCapturedByPattern(*value, "\"key\":\"([a-z]+)\", *\"ascending\":(true|false)");
    if (!groups || groups->size() < 3)
        return order;
    order.key = (*groups)[1];
    order.ascending = (*groups)[2] == "true";
    if (order.key != "name" && order.key != "size" && order.key != "date") {
        core::log("Warning, unhandled WebDAVResource sort key: {}", order.key);
        order.key = "name";
    }
    return order;
}

std::vector<WebDAVHTMLResponse::Child> WebDAVHTMLResponse::sortedChildren(const WebDAVResource& resource)
{
    std::vector<Child> children;
    auto members = servedSubresourcesForResource(resource, "1");
    bool hidden = showsHiddenFiles();
    auto quota = VKQuotaManager::defaultManager();
    children.reserve(members.size());
    // Each sort key is read once, not once per comparison.
    for (auto& member : members) {
        Child child;
        child.name = member->name();
        if (!hidden && child.name.starts_with('.'))
            continue;
        child.isFolder = member->isCollection() && !member->isPackage();
        // A package counts as a file: its size is its contents'.
        if (!member->isCollection())
            child.size = member->fileSize();
        else if (!child.isFolder && quota)
            child.size = quota->sizeForPath(member->path());
        child.date = member->fileModificationDate();
        child.resource = std::move(member);
        children.push_back(std::move(child));
    }
    SortOrder order = indexSortDescriptors();
    auto folderOrder = [](const Child& a, const Child& b) {
        return a.isFolder == b.isFolder ? std::strong_ordering::equal
                                        : (a.isFolder ? std::strong_ordering::less : std::strong_ordering::greater);
    };
    auto compare = [&](const Child& a, const Child& b) -> std::strong_ordering {
        if (order.key == "date") {
            double left = a.date ? a.date->timeIntervalSinceReferenceDate() : 0;
            double right = b.date ? b.date->timeIntervalSinceReferenceDate() : 0;
            return left < right ? std::strong_ordering::less
                                : (left > right ? std::strong_ordering::greater : std::strong_ordering::equal);
        }
        if (auto folders = folderOrder(a, b); folders != 0)
            return folders;
        if (order.key == "size")
            return a.size <=> b.size;
        return localizedNumericAndCaseInsensitiveCompare(a.name, b.name);
    };
    std::stable_sort(children.begin(), children.end(), [&](const Child& a, const Child& b) {
        auto result = compare(a, b);
        return order.ascending ? result < 0 : result > 0;
    });
    return children;
}

std::string WebDAVHTMLResponse::JSONRepresentationForResource(const WebDAVResource& resource)
{
    auto children = sortedChildren(resource);
    if (children.empty())
        return "[]";
    // Written entry by entry (keys in the writer's order), so a large folder
    // never holds a value tree beside its text.
    auto string = [](std::string_view text) { return JSONFragment(core::Value(std::string(text))).value_or("\"\""); };
    std::string json = "[";
    for (const auto& child : children) {
        if (json.size() > 1)
            json += ',';
        fmt::format_to(std::back_inserter(json), "{{\"date\":{},\"dateString\":{},\"isCollection\":{},\"size\":{},\"uri\":{}}}",
            string(child.date ? RFC1123String(*child.date) : std::string()), string(naturalDate(child.date)),
            child.isFolder ? "true" : "false", child.size, string(escapedPathString(child.resource->URI())));
    }
    json += ']';
    return json;
}

std::vector<std::string> WebDAVHTMLResponse::collectionURIsIgnoringPackages()
{
    std::vector<std::string> uris;
    std::vector<core::URL> roots = delegate() ? delegate()->virtualRootURIs() : std::vector<core::URL>();
    if (!roots.empty()) {
        uris.emplace_back("/");
    } else {
        roots.push_back(URLWithPath("/"));
    }
    auto quota = VKQuotaManager::defaultManager();
    bool hidden = showsHiddenFiles();
    for (const auto& root : roots) {
        auto local = delegate() ? delegate()->localPathForURI(root) : std::nullopt;
        if (!root.absoluteString().ends_with('/') || !local || !quota || !core::fs::isDirectory(*local))
            continue;
        std::string rootPath = stringByEnsuringTrailingPathSeparator(root.path());
        for (const auto& relative : quota->collectionPathsRelativeToPath(*local, true)) {
            if (!hidden && (relative.starts_with('.') || relative.find("/.") != std::string::npos))
                continue;
            std::string path = relative == "/" ? rootPath : rootPath + relative.substr(relative.starts_with('/') ? 1 : 0);
            uris.push_back(escapeFilePath(stringByEnsuringTrailingPathSeparator(path)));
        }
    }
    return uris;
}

std::string WebDAVHTMLResponse::HTMLIndexForVirtualRoots()
{
    std::string page = pageTemplate("WebDAVIndexRoot");
    vkReplaceOccurancesOfStringsInDictionary(page, {
        { "<!--ROOT_TITLE-->", html(fmt::format("{} - {}", displayName(), core::Device::current()->name())) },
        { "<!--DOCUMENTS_FOLDER-->", html(core::localized("Documents")) },
        { "<!--PUBLIC_FOLDER-->", html(core::localized("Public")) },
    });
    return page;
}

std::string WebDAVHTMLResponse::HTMLIndexForResource(const WebDAVResource& resource)
{
    auto agent = request()->headerForKey("user-agent");
    bool oldExplorer = agent && agent->find("MSIE 6.") != std::string::npos;
    std::string page = pageTemplate("WebDAVIndexHeader");

    std::string title = fmt::format("<a href='/'>{}</a>", html(displayName()));
    std::string running = "/";
    for (const auto& component : core::path::pathComponents(resource.URI().path())) {
        if (component == "/")
            continue;
        running += component + "/";
        title += fmt::format("/<a href='{}'>{}</a>", html(escapeFilePath(running)), html(component));
    }

    std::string script = fmt::format("var vkcollection={{URI:{}, allCollections:[", scriptString(escapedPathString(resource.URI())));
    bool first = true;
    for (const auto& uri : collectionURIsIgnoringPackages()) {
        script += (first ? "" : ",") + scriptString(uri);
        first = false;
    }
    script += fmt::format("], productName:{}}};", scriptString(displayName()));
    vkReplaceOccurancesOfStringsInDictionary(page, {
        { "<!--CONTENT_TITLE-->", title },
        { "<!--COLLECTION_SCRIPT-->", script },
    });

    const std::string fileIcon = fmt::format("<img src=\"/{}\"/>", FileIcon);
    const std::string folderIcon = fmt::format("<img src=\"/{}\"/>", FolderIcon);
    auto& formatter = VKBytesFormatter::sharedFormatter();
    for (const auto& child : sortedChildren(resource)) {
        std::string href = html(escapedPathString(child.resource->URI()));
        std::string name = html(child.name);
        const char* collection = child.isFolder ? "yes" : "no";
        const std::string& icon = child.isFolder ? folderIcon : fileIcon;
        std::string link = oldExplorer
            ? fmt::format("<a collection=\"{}\" href=\"{}\" uri=\"{}\">{}<span class=\"filename\">{}</span></a>", collection,
                href, href, icon, name)
            : fmt::format("<a collection=\"{}\" href=\"{}\">{}<span class=\"filename\">{}</span></a>", collection, href, icon,
                name);
        std::string size = child.isFolder ? std::string() : html(formatter.formatBytesAsString(child.size));
        fmt::format_to(std::back_inserter(page),
            "<tr><td><input type=\"checkbox\"/></td><td class=\"name\">{}</td><td class=\"size\">{}</td>{}<td "
            "class=\"date\">{}</td></tr>\n",
            link, size, child.isFolder ? "<td></td>" : "<td class=\"download\"></td>", html(naturalDate(child.date)));
    }
    page += pageTemplate("WebDAVIndexFooter");
    return page;
}

const std::map<std::string, core::Value, std::less<>>& WebDAVHTMLResponse::HTMLIndexResourceMap()
{
    static const auto table = [] {
        std::map<std::string, core::Value, std::less<>> built;
        for (const auto& [name, identifier] : BuiltInFiles) {
            if (auto info = WebDAVResourceInfoForName(name, MIMEGetTypeForFile(name)))
                built.emplace(identifier, std::move(*info));
        }
        return built;
    }();
    return table;
}

bool WebDAVHTMLResponse::isHTMLIndexResourceRequest(const core::URL& url)
{
    return HTMLIndexResourceInfoForRequest(url) != nullptr;
}

const core::Value* WebDAVHTMLResponse::HTMLIndexResourceInfoForRequest(const core::URL& url)
{
    const auto& table = HTMLIndexResourceMap();
    // Every GET asks: a last component written without escapes whose length
    // no resource's name has is none of them, without decoding the path.
    static const auto [shortest, longest] = [&table] {
        size_t low = SIZE_MAX, high = 0;
        for (const auto& [name, info] : table) {
            low = std::min(low, name.size());
            high = std::max(high, name.size());
        }
        return std::pair(low, high);
    }();
    const std::string escaped = url.escapedPath();
    std::string_view last(escaped);
    while (last.size() > 1 && last.back() == '/')
        last.remove_suffix(1);
    last = last.substr(last.rfind('/') + 1);
    if (last.find('%') == std::string_view::npos && (last.size() < shortest || last.size() > longest))
        return nullptr;
    auto found = table.find(core::path::lastPathComponent(url.path()));
    return found == table.end() ? nullptr : &found->second;
}

bool WebDAVHTMLResponse::handleGetForHTMLIndexResource(WebDAVResponse& response, bool includeBody)
{
    const auto& url = response.request()->requestURL();
    const core::Value* info = url ? HTMLIndexResourceInfoForRequest(*url) : nullptr;
    if (!info)
        return false;
    response.createHTTPMessageResponseWithStatusCode(200);
    for (const auto& [key, value] : info->dictionary().at("headers").dictionary())
        response.setHeaderValue(value.string(), key);
    if (includeBody)
        response.setBody(info->dictionary().at("data").data());
    if (auto* delegate = response.delegate())
        delegate->webDAVResponseDidEnd(response, End::KeepOpen);
    return true;
}

std::optional<core::Value> WebDAVResourceInfoForName(std::string_view name, std::string_view contentType,
    std::optional<std::string_view> contentEncoding)
{
    std::string path = core::Bundle::main()->pathForResource(name, "", ResourceFolder);
    core::Data stored;
    if (path.empty() || !core::fs::readFile(path, stored)) {
        core::log("Warning: null data for resource: {}", name);
        return std::nullopt;
    }
    // Owned bytes: the entry outlives any change to the file.
    core::Data data(stored.view());
    core::Value::Dictionary headers;
    headers.emplace("Content-Type", std::string(contentType));
    headers.emplace("Content-Length", fmt::format("{}", data.size()));
    if (auto etag = etagForItemAtPath(path))
        headers.emplace("Etag", fmt::format("\"{}\"", *etag));
    if (auto attributes = core::fs::attributes(path))
        headers.emplace("Last-Modified", RFC1123String(attributes->modificationDate()));
    if (contentEncoding)
        headers.emplace("Content-Encoding", std::string(*contentEncoding));
    return core::Value::makeDictionary({ { "data", core::Value(std::move(data)) }, { "headers", core::Value(std::move(headers)) } });
}

void vkReplaceOccurancesOfStringsInDictionary(std::string& text,
    const std::vector<std::pair<std::string, std::string>>& replacements)
{
    for (const auto& [key, value] : replacements) {
        if (key.empty())
            continue;
        std::string result;
        size_t from = 0;
        for (size_t at = text.find(key); at != std::string::npos; at = text.find(key, from)) {
            result.append(text, from, at - from);
            result += value;
            from = at + key.size();
        }
        if (from == 0)
            continue;
        result.append(text, from);
        text = std::move(result);
    }
}
