#include "DropboxSDK/StringDropboxAdditions.h"

#include "Platform/Core/TextFolding.h"

std::string normalizedDropboxPath(std::string_view path)
{
    if (path == "/")
        return {};
    return core::lowercasedPrecomposed(path);
}

bool isEqualToDropboxPath(std::string_view path, std::string_view other)
{
    return normalizedDropboxPath(path) == normalizedDropboxPath(other);
}
