#pragma once

// Which addresses a web view lets reach its engine and which files its page
// may read. Known schemes only; a file only inside the bundle's resources
// or the home (links resolved as far as they exist, so a link cannot lead
// out); a load the app asks for also only inside the file folders, when
// there are any. The engine is told the folders under both their written
// and their real paths, as pages name files by the paths they were loaded
// from. Owned by the web view.

#include "Platform/Core/Error.h"
#include "Platform/Core/URL.h"

#include <optional>
#include <string>
#include <vector>

namespace web {

class WebFileAccess {
public:
    // Whether a file may be shown: inside the bundle's resources or the home.
    static bool isReadableFile(const std::string& path);
    // Why a load must not reach the engine, if it must not.
    static std::optional<core::Error> refusal(const core::URL& url);
    // The same for a load the app asks for, which must also keep to the
    // folders (what the page reaches by itself, frames included, the
    // engine's rule stops without a report).
    std::optional<core::Error> loadRefusal(const core::URL& url) const;

    const std::optional<std::vector<std::string>>& folders() const { return m_folders; }
    void setFolders(std::optional<std::vector<std::string>> folders) { m_folders = std::move(folders); }
    // The folders as the engine is to hear them (none: any readable file).
    std::optional<std::vector<std::string>> pageFolders() const;

private:
    std::optional<std::vector<std::string>> m_folders;
};

} // namespace web
