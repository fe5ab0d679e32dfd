#include "RTF/GroupState.h"

#include <utility>

namespace rtf {

void GroupState::declare(size_t property, std::string declaration)
{
    if (declaration.empty())
        return;
    if (declarations[property].empty())
        order[declarationCount++] = static_cast<uint8_t>(property);
    declarations[property] = std::move(declaration);
}

std::string GroupState::style() const
{
    std::string result;
    for (size_t i = 0; i < declarationCount; ++i)
        result += declarations[order[i]];
    return result;
}

} // namespace rtf
