#pragma once

#include <string>
#include <string_view>

// Cloud paths as the service compares them: case and Unicode composition do
// not tell two paths apart.

// "" for "/", otherwise the path lower-cased and precomposed (NFC), so that
// "/Photos/Été" written with combining accents equals "/photos/été".
std::string normalizedDropboxPath(std::string_view path);
// Whether the normalised forms are equal.
bool isEqualToDropboxPath(std::string_view path, std::string_view other);
