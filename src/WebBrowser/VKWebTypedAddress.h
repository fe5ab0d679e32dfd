#pragma once

// What an address typed into the browser's bar stands for: "http://" is put
// in front unless it starts with a scheme ("^[a-z]+://", any case); a host
// in another script becomes its ASCII form and other non-ASCII characters
// are escaped, so that "bücher.example/straße" loads. None when no URL can
// be made of it (spaces, a bad port...): the browser searches for it then.

#include "Platform/Core/URL.h"

#include <optional>
#include <string_view>

std::optional<core::URL> VKWebURLFromTypedAddress(std::string_view text);
