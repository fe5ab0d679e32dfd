#pragma once

#include "Platform/Core/Error.h"
#include "Platform/Core/Value.h"

#include <cstdint>
#include <optional>
#include <string>

// Errors with a localized description, as the system reports its failures.

core::Error errorWithDomain(std::string domain, int64_t code, std::optional<std::string> localizedDescription);

// An error in the POSIX domain. The description, when given, joins a copy of
// the user info (or forms the user info alone).
core::Error errorWithPOSIXCode(int code, std::optional<std::string> localizedDescription,
    core::Value::Dictionary userInfo = {});
