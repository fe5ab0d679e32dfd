#pragma once

// Which loads a web-document viewer lets into its web view: the document
// itself (its own file, its conversion, its zip), the web view's private
// schemes, and files of the public folder (and, outside guest mode, of the
// private one), decided on whole path components after ".." is applied and
// again with links resolved, so neither "Public/../…", a sibling named
// "Publicity" nor a link out of the public folder reaches private files.
// A path that differs from an existing file only by case is loaded again
// with the real path. Anything else either goes to the app (another host,
// another scheme) or is refused as unsupported.

#include "Platform/Core/URL.h"

#include <string>
#include <vector>

class VKWebLinkPolicy {
public:
    enum class Verdict {
        Document, // the document itself, or a private scheme: loads
        OpenElsewhere, // another host or scheme: the app's to open
        ReloadWithRealPath, // `path` is the file's real spelling
        LoadFile, // another allowed file (`path`): it becomes the document
        Unsupported,
    };
    struct Decision {
        Verdict verdict;
        std::string path;
    };

    // The document's own paths, which always load.
    std::vector<std::string> documentPaths;
    std::string publicFolder;
    std::string privateFolder;
    bool guest = false;

    Decision decide(const core::URL& url) const;
    // Inside `folder` as written and with links resolved.
    static bool isInsideFolder(const std::string& path, const std::string& folder);
};
