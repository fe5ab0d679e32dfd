#include "Cloud/StringCloudAdditions.h"

#include "Kit/StringAdditions.h"
#include "Kit/VKHomeLayout.h"

std::optional<std::string> stringByConvertingToCloudPath(std::string_view path)
{
    // Whole components only: "<servers>2" is not below "<servers>".
    auto relative = stringByAbbreviatingRelativeToPath(path, VKHomeLayout::current()->serversDirectory());
    if (!relative || relative->empty())
        return std::nullopt;
    auto separator = relative->find('/');
    if (separator == std::string::npos)
        return std::string("/");
    return relative->substr(separator);
}
