#pragma once

#include "App/FolderBrowser/VKBrowserOperation.h"
#include "Platform/Core/Error.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

class VKZipArchiver;
class VKZipUnarchiver;

// What the folder browser's zip and unzip do on their worker, apart from the
// screen: the names they give, the archive written and the archive expanded.
//
// Nothing partial ever stands under a final name, whether the work fails, is
// cancelled or the program dies: the archive is written (by the archiver)
// and an archive is expanded in the staging folder (VKStagingFolder), whose
// leftovers the next launch removes, and each takes a free final name by a
// rename that never replaces anything, only once it is whole. Both work for one run of
// the class-wide operation: a cancel of that run, or a newer run, stops them
// and their progress goes to that run only.
class VKFolderZipWork {
public:
    using Run = VKBrowserOperation::Run;
    static constexpr int CompressionLevel = 9;

    // The archive's name for the items: the one item's name without its
    // extension (folders too) and ".zip", else "Archive.zip".
    static std::string archiveNameForItems(const std::vector<std::string>& paths);
    // The name an archive expands to when it does not hold exactly one item:
    // its name without ".zip" and without a package extension before it
    // ("Essay.pages.zip" → "Essay"), never empty or hidden.
    static std::string destinationNameForArchive(const std::string& archivePath);

    // Adds every item with all below it, deflated at CompressionLevel and
    // named from the archiver's root, and closes the archive under a free
    // name. Progress counts `totalBytes` for the run. The archive's final
    // path, or nothing: failed or cancelled, no file is left, and `error`
    // says why when the system said.
    static std::optional<std::string> archiveItems(VKZipArchiver& archiver, const std::vector<std::string>& items,
        uint64_t totalBytes, Run run, core::Error* error = nullptr);

    // A new empty folder in the staging folder to expand the archive into;
    // nothing when none can be made.
    static std::optional<std::string> makeExpansionFolder(const std::string& archivePath, core::Error* error = nullptr);

    struct Expansion {
        bool success = false;
        // What now stands under a final name beside the archive; empty when
        // nothing does.
        std::string path;
        // Why it failed, when the archive or the system said.
        core::Error error;
    };
    // Expands the archive into `folder` (from makeExpansionFolder), then
    // moves what it holds beside the archive: a single item under its own
    // name, several as the folder itself under destinationNameForArchive,
    // free names either way. Progress counts the uncompressed bytes for the
    // run. A failure or a cancel removes the folder and leaves nothing; a
    // single item that cannot be moved up stays in the folder, which then
    // takes the destination name, and the expansion counts as failed.
    static Expansion expandArchive(VKZipUnarchiver& unarchiver, const std::string& folder, Run run);

private:
    // Renames without replacing to `wanted` or, while it is taken, the next
    // free name beside it; the name taken, or nothing.
    static std::optional<std::string> moveToFreeName(const std::string& from, const std::string& wanted);
};
