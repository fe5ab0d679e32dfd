#pragma once

#include "Platform/Core/Error.h"

#include <optional>
#include <string>

// The error domain of RTF conversion; its one code is -1.
inline constexpr const char* RTFtoHTMLDomain = "RTFtoHTMLDomain";

// The RTF document at the path as one UTF-8 HTML document, for the web view.
// Nothing, with the error (RTFtoHTMLDomain, -1), when the path is not a
// readable file, reading fails, or the conversion fails. Runs on any thread;
// conversions share only the read-only keyword table.
std::optional<std::string> convertRTFAtPathToHTML(const std::string& path, core::Error* error = nullptr);
