#pragma once

// Where the desktop keeps the user's pictures: $XDG_PICTURES_DIR when set;
// else the XDG_PICTURES_DIR line of ${XDG_CONFIG_HOME:-~/.config}/user-dirs.dirs,
// read as text, never through a shell ("$HOME/" at its start expanded,
// anything else must be absolute); else ~/Pictures. The photo album and the
// picker's library both start here.

#include <string>
#include <string_view>

namespace ui {

class PicturesFolder {
public:
    static std::string path();
    // The folder a user-dirs.dirs text names, or "" when it names none
    // usable.
    static std::string fromUserDirs(std::string_view text, const std::string& home);
};

} // namespace ui
