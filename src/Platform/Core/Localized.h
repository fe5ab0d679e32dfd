#pragma once

#include <string>
#include <string_view>

namespace core {

// The text shown to the user for an English `key`: its translation in the
// main bundle's table (strings/<language>/<table>.plist), else the key.
std::string localized(std::string_view key, std::string_view table = "Default");

// The language of the texts: the first "AppleLanguages" entry of the
// settings, read at first use and kept for the life of the process.
std::string currentLanguage();
// Fixes the language (tests); empty reads the settings again at next use.
void setCurrentLanguage(std::string language);

} // namespace core
