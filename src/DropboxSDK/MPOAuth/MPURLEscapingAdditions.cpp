#include "DropboxSDK/MPOAuth/MPURLEscapingAdditions.h"

#include "Platform/Core/PercentEscape.h"

std::string stringByAddingURIPercentEscapesUsingEncoding(std::string_view text)
{
    return core::percentEscape(text, core::EscapeSet::Component);
}

std::string stringByAddingURIPercentEscapesUsingEncoding(const core::URL& url)
{
    return stringByAddingURIPercentEscapesUsingEncoding(url.absoluteString());
}
