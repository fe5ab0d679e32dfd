#pragma once

// URL arithmetic for signing: the form of a URL that enters the signature
// base string, and URLs with their query taken off or parameters added.

#include "DropboxSDK/MPOAuth/MPURLRequestParameter.h"
#include "Platform/Core/URL.h"
#include "Platform/Core/Value.h"

#include <string>

// The absolute string, with "/" appended when the URL has neither a path nor
// a query ("http://h" reads "http://h/").
std::string absoluteNormalizedString(const core::URL& url);
// The URL cut before its first "?"; one without "?" comes back unchanged.
core::URL urlByRemovingQuery(const core::URL& url);
// "url?parameters": the pairs of the URL's own query first, then the given
// parameters, in order, unsorted.
core::URL urlByAddingParameters(const core::URL& url, const MPURLRequestParameter::List& parameters);
// The same with a dictionary: the pairs of the URL's query replace given
// values of the same name. With nothing to add and no "?", the URL itself.
core::URL urlByAddingParameterDictionary(const core::URL& url, const core::Value::Dictionary& parameters);
