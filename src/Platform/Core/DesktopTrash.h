#pragma once

#include "Platform/Core/Error.h"

#include <optional>
#include <string>

// The desktop's trash, laid out as the freedesktop.org desktops share it,
// in the user's data folder ("$XDG_DATA_HOME/Trash", else
// "~/.local/share/Trash": the item in files/, a .trashinfo in info/ telling
// where it came from and when), where the desktop's file manager shows it
// and puts it back. For what a person replaced or threw away and may want
// again. An item on another mount goes to that mount's own trash,
// ".Trash-<uid>" at its top (made private when missing; its .trashinfo
// names the item relative to the top). Items are renamed in, never copied:
// one that cannot be renamed there (EXDEV across bind mounts, a mount whose
// top the user cannot write) is refused and stays where it is.
namespace core::desktopTrash {

// The trash folder in use.
std::string location();
// Puts the trash elsewhere (tests); "" goes back to the environment's.
void setLocation(std::string path);

// Moves the item at `path` into the trash as the item that stood at
// `originalPath` (its name there, and where a restore puts it), under a name
// of its own when the trash holds that name already. Answers where it lies
// in the trash; nothing, with the reason in `error`, when it could not go.
std::optional<std::string> moveItem(const std::string& path, const std::string& originalPath, Error* error = nullptr);

} // namespace core::desktopTrash
