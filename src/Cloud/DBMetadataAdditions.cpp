#include "Cloud/DBMetadataAdditions.h"

#include "DropboxSDK/DBMetadata.h"
#include "Platform/Core/Path.h"

std::string metadataName(const DBMetadata& metadata)
{
    if (!metadata.path() || metadata.path()->empty())
        return "/";
    return core::path::lastPathComponent(*metadata.path());
}

std::shared_ptr<const DBMetadata> metadataChildWithName(const DBMetadata& metadata, std::string_view name)
{
    if (!metadata.contents())
        return nullptr;
    for (const auto& child : *metadata.contents()) {
        if (child && metadataName(*child) == name)
            return child;
    }
    return nullptr;
}
