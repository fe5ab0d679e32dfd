#pragma once

#include "Platform/Core/Data.h"
#include "Platform/Core/Error.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace core {

// The user's extended attributes of a file-system item, addressed by path.
// Names are the system's own ("com.kestrova.tandry.UUID"); on disk they live
// in Linux's "user." namespace, and only that namespace is seen here.
//
// Path calls rather than descriptors: Linux cannot open a symbolic link
// itself, and opening a FIFO to reach its attributes would block. With
// NoFollow a final link is acted on itself; Linux keeps no user attributes
// on links, so reading one finds nothing and writing one fails (EPERM).
//
// Failures set the error (POSIX domain, errno) so that callers can tell a
// full disk from a refused name; nothing throws.
class ExtendedAttributes {
public:
    // Option bits, numbered as the system passes them on.
    enum Options : int {
        NoFollow = 1,
        CreateOnly = 2, // setting fails with EEXIST when the attribute exists
        ReplaceOnly = 4, // setting fails with ENODATA when it does not
    };

    static constexpr std::string_view NamespacePrefix = "user.";
    // The kernel's bound on a whole name, prefix included.
    static constexpr size_t MaximumNameLength = 255;

    // The item's attribute names, without the prefix; empty when it has none.
    static std::optional<std::vector<std::string>> names(const std::string& path, int options = 0,
        Error* error = nullptr);
    // One attribute's bytes; nothing (ENODATA) when the item has no such one.
    static std::optional<Data> value(const std::string& path, std::string_view name, int options = 0,
        Error* error = nullptr);
    static bool setValue(const std::string& path, std::string_view name, std::string_view value, int options = 0,
        Error* error = nullptr);
    static bool remove(const std::string& path, std::string_view name, int options = 0, Error* error = nullptr);

    // The same on an open file (`path` only names it in errors): no path
    // walk per call, for copies of many small files.
    static std::optional<std::vector<std::string>> names(int descriptor, const std::string& path,
        Error* error = nullptr);
    // The names of the item called `name` inside the open `folder` (a final
    // link itself, as NoFollow), `path` being where it is: the folder's own
    // path is not walked again for each member of a listing.
    static std::optional<std::vector<std::string>> names(int folder, const std::string& name, const std::string& path,
        Error* error = nullptr);
    static std::optional<Data> value(int descriptor, const std::string& path, std::string_view name,
        Error* error = nullptr);
    static bool setValue(int descriptor, const std::string& path, std::string_view name, std::string_view value,
        Error* error = nullptr);
};

} // namespace core
