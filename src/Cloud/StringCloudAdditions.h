#pragma once

#include <optional>
#include <string>
#include <string_view>

// The cloud path of a local path in the mirror: below the servers folder the
// first component is the service's key and the rest, after a "/", is the
// path in the service ("<servers>/Dropbox/A/b.txt" → "/A/b.txt"; the
// service's own folder → "/"). Nothing for the servers folder itself and for
// anything outside it, a sibling such as "<servers>2/x" included.
std::optional<std::string> stringByConvertingToCloudPath(std::string_view path);
