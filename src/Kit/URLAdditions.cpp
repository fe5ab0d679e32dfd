#include "Kit/URLAdditions.h"

#include "Platform/Core/Bundle.h"
#include "Platform/Core/Path.h"
#include "Platform/Core/PercentEscape.h"
#include "Platform/Core/PropertyList.h"

#include <algorithm>
#include <mutex>
#include <set>
#include <vector>

namespace {

bool keptInPath(unsigned char c)
{
    return core::isURLCharacter(c, core::EscapeSet::Component) || c == '!' || c == '*' || c == '\'' || c == '('
        || c == ')' || c == '/';
}

std::string lowercased(std::string_view text)
{
    std::string result(text);
    std::transform(result.begin(), result.end(), result.begin(),
        [](unsigned char c) { return static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c); });
    return result;
}

std::string_view trimmed(std::string_view text)
{
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t'))
        text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t'))
        text.remove_suffix(1);
    return text;
}

std::vector<std::string_view> split(std::string_view text, char separator)
{
    std::vector<std::string_view> pieces;
    size_t start = 0;
    for (size_t found; (found = text.find(separator, start)) != std::string_view::npos; start = found + 1)
        pieces.push_back(text.substr(start, found - start));
    pieces.push_back(text.substr(start));
    return pieces;
}

std::string_view withoutLeadingSlashes(std::string_view path)
{
    while (path.starts_with('/'))
        path.remove_prefix(1);
    return path;
}

// The hosts the device's own applications take over, from the bundle's
// "VKRegisteredURLs" table ("StoreHosts", "MapHostPrefix"). Read again
// whenever the main bundle changes.
struct RegisteredHosts {
    std::string bundlePath;
    std::set<std::string, std::less<>> storeHosts;
    std::string mapHostPrefix;
};

RegisteredHosts readRegisteredHosts(const core::Bundle& bundle)
{
    RegisteredHosts hosts;
    hosts.bundlePath = bundle.bundlePath();
    std::string path = bundle.pathForResource("VKRegisteredURLs", "plist");
    if (path.empty())
        return hosts;
    core::Value table = core::PropertyList::readFile(path);
    for (const core::Value& host : table["StoreHosts"].isArray() ? table["StoreHosts"].array() : core::Value::Array()) {
        if (host.isString() && !host.string().empty())
            hosts.storeHosts.insert(lowercased(host.string()));
    }
    if (table["MapHostPrefix"].isString())
        hosts.mapHostPrefix = table["MapHostPrefix"].string();
    return hosts;
}

std::shared_ptr<const RegisteredHosts> registeredHosts()
{
    static std::mutex mutex;
    static std::shared_ptr<const RegisteredHosts> cached;
    std::shared_ptr<core::Bundle> bundle = core::Bundle::main();
    {
        std::lock_guard lock(mutex);
        if (cached && cached->bundlePath == bundle->bundlePath())
            return cached;
    }
    auto hosts = std::make_shared<const RegisteredHosts>(readRegisteredHosts(*bundle));
    std::lock_guard lock(mutex);
    cached = hosts;
    return hosts;
}

} // namespace

std::string VKURLEscapePath(std::string_view path)
{
    static constexpr char digits[] = "0123456789ABCDEF";
    std::string result;
    result.reserve(path.size() + path.size() / 4);
    // Byte by byte: a name that is not UTF-8 keeps every byte, so that its
    // URL leads back to it.
    for (char byte : path) {
        auto c = static_cast<unsigned char>(byte);
        if (keptInPath(c)) {
            result += byte;
        } else {
            result += '%';
            result += digits[c >> 4];
            result += digits[c & 0xF];
        }
    }
    return result;
}

std::string escapeFilePath(std::string_view path)
{
    return VKURLEscapePath(path);
}

core::URL URLWithPath(std::string_view path)
{
    // "//x" would read as the host x; the file system sees "/x" anyway.
    std::string escaped = VKURLEscapePath(path);
    std::string_view text = escaped;
    if (text.starts_with("//"))
        text.remove_prefix(text.size() - withoutLeadingSlashes(text).size() - 1);
    return core::URL::parse(text).value_or(core::URL());
}

core::URL URLWithPath(std::string_view path, const core::URL& base)
{
    std::string escaped = VKURLEscapePath(path);
    std::string_view rest = withoutLeadingSlashes(escaped);
    if (rest.empty())
        return base;
    return core::URL::parse(rest, base).value_or(base);
}

std::optional<core::URL> parentPathURL(const core::URL& url)
{
    std::string path = url.path();
    if (path.empty() || path == "/")
        return std::nullopt;
    return URLWithPath(core::path::deletingLastPathComponent(path));
}

std::string pathEnsuringTrailingSeparator(const core::URL& url)
{
    std::string path = url.path();
    if (!path.ends_with('/'))
        path += '/';
    return path;
}

std::string escapedPathString(const core::URL& url)
{
    const std::string& text = url.absoluteString();
    bool folder = text.ends_with('/') || text.find("/?") != std::string::npos;
    return VKURLEscapePath(folder ? pathEnsuringTrailingSeparator(url) : url.path());
}

bool schemeIsSecure(const core::URL& url)
{
    std::string scheme = lowercased(url.scheme());
    return scheme == "https" || scheme == "ftps";
}

std::optional<core::Value::Dictionary> dataComponents(const core::URL& url)
{
    std::string_view text = url.absoluteString();
    if (!text.starts_with("data:"))
        return std::nullopt;
    std::vector<std::string_view> pieces = split(text.substr(5), ',');
    if (pieces.size() != 2)
        return std::nullopt;

    std::vector<std::string_view> header = split(pieces[0], ';');
    std::string_view mime = trimmed(header[0]);
    std::string_view charset = "ASCII";
    std::optional<std::string_view> encoding;
    if (header.size() > 1) {
        std::string_view second = trimmed(header[1]);
        if (second.starts_with("charset="))
            charset = second.substr(8);
        else
            encoding = second;
    }
    if (header.size() > 2)
        encoding = trimmed(header[2]);

    core::Value::Dictionary components {
        { "mime", core::Value(mime.empty() ? std::string_view("text/plain") : mime) },
        { "charset", core::Value(charset) },
        { "rawdata", core::Value(pieces[1]) },
    };
    if (encoding)
        components["encoding"] = core::Value(*encoding);
    return components;
}

bool isAppleRegisteredURL(const core::URL& url)
{
    std::string scheme = lowercased(url.scheme());
    if (scheme == "mailto" || scheme == "tel" || scheme == "sms")
        return true;
    auto hosts = registeredHosts();
    std::string host = url.host();
    if (hosts->storeHosts.contains(lowercased(host)))
        return true;
    // An empty prefix names no map service (it would match every host).
    return !hosts->mapHostPrefix.empty() && host.starts_with(hosts->mapHostPrefix)
        && lowercased(url.path()) == "/maps" && !url.query().empty();
}
