#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace core {

// A URL reference (RFC 3986), as the device's URL value answers it: the text
// is kept exactly as given (relativeString) and, with a base, resolved against
// it (absoluteString). Components are read from the resolved URL. Texts that
// are not URL references (spaces, controls, non-ASCII, bad "%" escapes,
// ports above 65535...) give no URL at all, so a URL in hand is always
// well-formed. An immutable value; copies are cheap.
class URL {
public:
    // The empty reference "" (a valid same-document reference).
    URL();

    static std::optional<URL> parse(std::string_view text);
    // The text resolved against `base` (RFC 3986 section 5.2); the base is
    // kept and answered by baseURL().
    static std::optional<URL> parse(std::string_view text, const URL& base);
    // "file://" and the path escaped as a path ("/t/a b#c" becomes
    // "file:///t/a%20b%23c"); a relative path is taken from the working
    // directory; a directory gets a trailing "/".
    static URL fileURL(std::string_view path, bool isDirectory = false);

    // The text as given.
    const std::string& relativeString() const { return m_text; }
    // The text resolved against the base; the text itself without a base.
    const std::string& absoluteString() const { return absolute().m_text; }
    // This URL resolved, without a base.
    URL absoluteURL() const { return absolute(); }
    std::optional<URL> baseURL() const;

    // Components of the resolved URL. The scheme, host, query and fragment
    // come as written (the host without an IP literal's brackets); the user,
    // password and host are percent-decoded; the query and fragment are not.
    std::string scheme() const;
    std::string user() const;
    std::string password() const;
    std::string host() const;
    std::optional<int> port() const;
    std::string query() const;
    std::string fragment() const;
    bool hasQuery() const;
    bool hasFragment() const;
    // Everything after "scheme:" ("//host/path?q" for "http://host/path?q").
    std::string resourceSpecifier() const;

    // The path, percent-decoded to the bytes the escapes stand for (which
    // need not be UTF-8), with a trailing "/" dropped unless the path is "/".
    std::string path() const;
    // The same for the text as given, not resolved against the base.
    std::string relativePath() const;
    // The path as written, still escaped.
    std::string escapedPath() const;
    // Whether the written path ends with "/": what path() drops.
    bool hasDirectoryPath() const;

    // The resolved URL with "." and ".." removed from its path.
    URL standardized() const;
    // standardized().path(), without making the URL when there is nothing
    // to remove.
    std::string standardizedPath() const;

    // Whether the scheme is "file" (any case).
    bool isFileURL() const;
    // path() of a file URL; empty for other URLs.
    std::string filePath() const;

    // The text, followed by " -- " and the base when there is one.
    std::string description() const;

    // Same text and same base.
    bool operator==(const URL& other) const;
    size_t hash() const;

private:
    // Where each component stands in the text.
    struct Span {
        size_t begin = 0;
        size_t size = 0;
        bool present = false;
    };
    struct Components {
        Span scheme, authority, user, password, host, path, query, fragment;
        int port = -1;
    };

    static bool split(std::string_view text, Components& parts);
    static bool splitAuthority(std::string_view text, size_t begin, size_t end, Components& parts);
    static std::string resolve(const URL& base, const URL& reference);

    URL(std::string text, const Components& parts) : m_text(std::move(text)), m_parts(parts) { }
    const URL& absolute() const { return m_absolute ? *m_absolute : *this; }
    std::string_view part(const Span& span) const;

    std::string m_text;
    Components m_parts;
    std::shared_ptr<const URL> m_base;
    // The resolved URL, when there is a base.
    std::shared_ptr<const URL> m_absolute;
};

} // namespace core

template<> struct std::hash<core::URL> {
    size_t operator()(const core::URL& url) const { return url.hash(); }
};
