#pragma once

// A file a store cannot read is kept for a person to look at and never
// written over: it is renamed out of the way, and the store starts afresh.

#include <initializer_list>
#include <optional>
#include <string>

namespace core::fs {

// Renames `path` to "<path>.corrupt", else to the first free of
// "<path>.corrupt-2" … "-1000", never replacing what is there. Each of
// `sideSuffixes` found beside it (a database's "-journal") follows as the
// new name with the suffix. The new path; nothing (errno kept) when the
// file could not be moved.
std::optional<std::string> moveAsideAsDamaged(const std::string& path,
    std::initializer_list<const char*> sideSuffixes = {});

} // namespace core::fs
