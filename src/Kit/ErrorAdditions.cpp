#include "Kit/ErrorAdditions.h"

core::Error errorWithDomain(std::string domain, int64_t code, std::optional<std::string> localizedDescription)
{
    core::Value::Dictionary userInfo;
    if (localizedDescription)
        userInfo[core::Error::LocalizedDescriptionKey] = std::move(*localizedDescription);
    return core::Error(std::move(domain), code, std::move(userInfo));
}

core::Error errorWithPOSIXCode(int code, std::optional<std::string> localizedDescription, core::Value::Dictionary userInfo)
{
    if (localizedDescription)
        userInfo[core::Error::LocalizedDescriptionKey] = std::move(*localizedDescription);
    return core::Error(core::Error::POSIXDomain, code, std::move(userInfo));
}
