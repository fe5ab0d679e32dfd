#pragma once

// Finding views in the view tree a program in the desktop window writes on
// SIGUSR1 (one view a line, two spaces a level, "Class (x, y, w, h) …"):
// where a view is, in the window's points.

#include <optional>
#include <string>
#include <utility>

namespace test {

// The centre of the first view whose line contains `text`, its frame added
// up its ancestors' (none scrolled); with `after`, the first such view
// below the first line containing `after`.
std::optional<std::pair<int, int>> viewCentreInDump(const std::string& dump, const std::string& text,
    const std::string& after = {});

} // namespace test
