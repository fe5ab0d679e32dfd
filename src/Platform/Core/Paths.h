#pragma once

#include <string>

namespace core::paths {

// The application's home and the device layout inside it. The home is set
// once at start-up (and per test); the folders below are derived from it.
void setHome(const std::string& home);
// The application home, absolute, without a trailing slash.
std::string home();
// <home>/Documents: the public documents.
std::string documents();
// <home>/Library
std::string library();
// <home>/Library/Preferences
std::string preferences();
// <home>/Library/Caches: what the program can rebuild but keeps across
// launches (tmp/ is emptied at each quit).
std::string caches();
// <home>/tmp/ (with the trailing slash, as the device answers it), created
// 0700 on demand. Never the system's /tmp or $TMPDIR.
std::string temporaryDirectory();

} // namespace core::paths
