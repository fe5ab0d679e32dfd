#include "Platform/Core/Path.h"

#include "Platform/Core/Paths.h"

namespace core::path {

namespace {

// Whether `clean` would give the path back unchanged, as most paths are.
bool isClean(std::string_view path)
{
    return path.find("//") == std::string_view::npos && !(path.size() > 1 && path.back() == '/');
}

// Doubled separators collapsed, the trailing one dropped (the root keeps its "/").
std::string clean(std::string_view path)
{
    if (isClean(path))
        return std::string(path);
    std::string result;
    result.reserve(path.size());
    for (char c : path) {
        if (c == '/' && !result.empty() && result.back() == '/')
            continue;
        result.push_back(c);
    }
    if (result.size() > 1 && result.back() == '/')
        result.pop_back();
    return result;
}

// Where the last component of a cleaned path begins.
size_t lastComponentStart(std::string_view cleaned)
{
    auto slash = cleaned.rfind('/');
    return slash == std::string::npos ? 0 : slash + 1;
}

// The position of the extension's dot in a cleaned path, or npos.
size_t extensionDot(std::string_view cleaned)
{
    size_t start = lastComponentStart(cleaned);
    auto dot = cleaned.rfind('.');
    if (dot == std::string::npos || dot <= start || dot + 1 == cleaned.size())
        return std::string::npos;
    return dot;
}

bool hasComponentPrefix(std::string_view path, std::string_view prefix)
{
    if (!path.starts_with(prefix))
        return false;
    return path.size() == prefix.size() || prefix.ends_with('/') || path[prefix.size()] == '/';
}

} // namespace

std::string lastPathComponent(std::string_view path)
{
    if (!isClean(path))
        return lastPathComponent(clean(path));
    if (path == "/")
        return std::string(path);
    return std::string(path.substr(lastComponentStart(path)));
}

std::string pathExtension(std::string_view path)
{
    if (!isClean(path))
        return pathExtension(clean(path));
    auto dot = extensionDot(path);
    return dot == std::string_view::npos ? std::string() : std::string(path.substr(dot + 1));
}

std::string deletingLastPathComponent(std::string_view path)
{
    std::string cleaned = clean(path);
    auto slash = cleaned.rfind('/');
    if (slash == std::string::npos)
        return {};
    if (slash == 0)
        return "/";
    cleaned.resize(slash);
    return cleaned;
}

std::string deletingPathExtension(std::string_view path)
{
    std::string cleaned = clean(path);
    auto dot = extensionDot(cleaned);
    if (dot != std::string::npos)
        cleaned.resize(dot);
    return cleaned;
}

std::string appendingPathComponent(std::string_view path, std::string_view component)
{
    if (path.empty())
        return clean(component);
    std::string joined;
    joined.reserve(path.size() + 1 + component.size());
    joined += path;
    joined += '/';
    joined += component;
    return isClean(joined) ? joined : clean(joined);
}

std::string appendingPathExtension(std::string_view path, std::string_view extension)
{
    std::string cleaned = clean(path);
    if (cleaned.empty() || cleaned == "/" || extension.empty() || extension.find('/') != std::string_view::npos)
        return cleaned;
    cleaned += '.';
    cleaned += extension;
    return cleaned;
}

std::vector<std::string> pathComponents(std::string_view path)
{
    std::vector<std::string> components;
    if (path.starts_with('/'))
        components.emplace_back("/");
    size_t start = 0;
    while (start < path.size()) {
        size_t end = path.find('/', start);
        if (end == std::string_view::npos)
            end = path.size();
        if (end > start)
            components.emplace_back(path.substr(start, end - start));
        start = end + 1;
    }
    return components;
}

std::string pathWithComponents(const std::vector<std::string>& components)
{
    std::string joined;
    for (const auto& component : components) {
        if (component.empty())
            continue;
        if (!joined.empty())
            joined += '/';
        joined += component;
    }
    return clean(joined);
}

std::string standardizingPath(std::string_view path)
{
    if (path.empty())
        return {};
    std::string expanded = expandingTildeInPath(path);
    bool absolute = isAbsolute(expanded);
    std::vector<std::string_view> kept;
    std::string_view rest(expanded);
    size_t start = 0;
    while (start < rest.size()) {
        size_t end = rest.find('/', start);
        if (end == std::string_view::npos)
            end = rest.size();
        std::string_view component = rest.substr(start, end - start);
        start = end + 1;
        if (component.empty() || component == ".")
            continue;
        if (component == "..") {
            if (!kept.empty() && kept.back() != "..")
                kept.pop_back();
            else if (!absolute)
                kept.push_back(component);
            continue;
        }
        kept.push_back(component);
    }
    std::string result = absolute ? "/" : "";
    for (size_t i = 0; i < kept.size(); ++i) {
        if (i > 0)
            result += '/';
        result += kept[i];
    }
    return result.empty() ? "." : result;
}

std::string abbreviatingWithTildeInPath(std::string_view path)
{
    std::string home = paths::home();
    if (home == "/" || !hasComponentPrefix(path, home))
        return std::string(path);
    return "~" + std::string(path.substr(home.size()));
}

std::string expandingTildeInPath(std::string_view path)
{
    if (path == "~" || path.starts_with("~/"))
        return paths::home() + std::string(path.substr(1));
    return std::string(path);
}

bool isAbsolute(std::string_view path)
{
    return path.starts_with('/');
}

bool isWithin(std::string_view path, std::string_view directory)
{
    if (path.empty() || directory.empty())
        return false;
    return hasComponentPrefix(standardizingPath(path), standardizingPath(directory));
}

} // namespace core::path
