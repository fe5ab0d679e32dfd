#pragma once

#include "Platform/Core/Error.h"

#include <string>

// Why file work failed, in the words an alert gives: the system's reason
// ("the disk is full", "permission denied", "it is not a regular file"), an archive's refusal ("its
// entries overlap (a zip bomb)"), else the system's own text, lower case;
// "" when there is no reason.
std::string VKFailureReason(const core::Error& error);
// "<text>: <reason>", or the text alone when there is no reason.
std::string VKTextWithFailureReason(const std::string& text, const core::Error& error);
