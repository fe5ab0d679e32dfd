#pragma once

#include <string>
#include <string_view>
#include <vector>

// Path-string arithmetic with the device's semantics: purely lexical, no file
// system access. Results carry no trailing "/" (except the root itself) and no
// doubled separators. "~" stands for the application home (core::paths::home()),
// never the user's.
namespace core::path {

// "/a/b/" → "b"; "/" → "/"; "" → "".
std::string lastPathComponent(std::string_view path);
// "a.tar.gz" → "gz"; ".profile", "a." and "/a/" → "".
std::string pathExtension(std::string_view path);
// "/a/b/" → "/a"; "/a" → "/"; "a" → "".
std::string deletingLastPathComponent(std::string_view path);
// "/a/b.txt" → "/a/b"; ".profile" unchanged.
std::string deletingPathExtension(std::string_view path);
// "/a/" + "b" → "/a/b"; "" + "b" → "b".
std::string appendingPathComponent(std::string_view path, std::string_view component);
// "a" + "txt" → "a.txt". The root, an empty path and an extension holding "/"
// cannot take one: the path comes back cleaned but without it.
std::string appendingPathExtension(std::string_view path, std::string_view extension);
// "/a//b/" → {"/", "a", "b"}; "a/b" → {"a", "b"}.
std::vector<std::string> pathComponents(std::string_view path);
// The inverse of pathComponents.
std::string pathWithComponents(const std::vector<std::string>& components);
// Expands "~", drops "." and empty components and resolves ".." against the
// component before it ("/a/./b/../c" → "/a/c"; ".." above the root stays at
// the root; a relative path keeps its leading ".."). Links are not resolved.
std::string standardizingPath(std::string_view path);
// "<home>/x" → "~/x", "<home>" → "~"; anything else (also "<home>-old/x") unchanged.
std::string abbreviatingWithTildeInPath(std::string_view path);
// "~" → "<home>", "~/x" → "<home>/x"; anything else (also "~user") unchanged.
std::string expandingTildeInPath(std::string_view path);
bool isAbsolute(std::string_view path);
// Whether `path` is `directory` or lies below it, comparing whole components
// of both standardized paths: "/a/b" is within "/a", "/ab" is not, and
// "/a/../etc" is not within "/a". Lexical: links are not resolved.
bool isWithin(std::string_view path, std::string_view directory);

} // namespace core::path
