#include "Kit/ObjectAdditions.h"

#include <fmt/format.h>

std::string vkDescriptionWithDetail(const core::Object& object, std::string_view detail)
{
    return fmt::format("<{}: {}; {}>", object.className(), static_cast<const void*>(&object), detail);
}

std::string vkShortDescription(const core::Object& object)
{
    return fmt::format("<{}: {}>", object.className(), static_cast<const void*>(&object));
}
