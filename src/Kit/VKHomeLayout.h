#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>

// Where the private store lies in the home: the public documents
// (Documents), the private documents (Library/Documents), the cloud mirrors
// (Library/Servers) and the metadata beside the settings
// (Library/Preferences/Metadata: downloads, trash, caches of thumbnails and
// indexes). The platform's own folders (caches, tmp) are core::paths'.
//
// A plain value: the paths are fixed when it is made and only read after,
// so any thread may ask. The program lays out its home once at start-up and
// makes that layout current; the file model, the server, the cloud layer and
// the downloads ask current(), the screens ask the application, which
// answers from the same layout.
class VKHomeLayout {
public:
    // The folders under `home` (absolute), nothing made on disk.
    explicit VKHomeLayout(std::string home);
    // The folders under `home`, made where missing; the two older layouts
    // are moved over the first time the folder each fills is made.
    static VKHomeLayout layOut(std::string home);

    // The layout made current at start-up; without one, the current home's
    // (core::paths), laid out on first use (tests, tools).
    static std::shared_ptr<const VKHomeLayout> current();
    // Null lays out the current home again at the next current().
    static void setCurrent(std::shared_ptr<const VKHomeLayout> layout);

    const std::string& homeDirectory() const { return m_homeDirectory; }
    const std::string& documentsDirectory() const { return m_documentsDirectory; }
    const std::string& publicDirectory() const { return m_publicDirectory; }
    const std::string& metadataDirectory() const { return m_metadataDirectory; }
    const std::string& serversDirectory() const { return m_serversDirectory; }
    // Where the platform puts files handed over by other applications; never
    // made here.
    std::string inboxDirectory() const;

    // <metadata>/<name> and <servers>/<name>, made (with their parents) when
    // missing; the path is answered either way, a failure logged.
    std::string metadataSubdirectory(std::string_view name) const;
    std::string serversSubdirectory(std::string_view name) const;
    std::string downloadsDirectory() const { return metadataSubdirectory("Downloads"); }
    std::string trashDirectory() const { return metadataSubdirectory("Trash"); }

    // The root a stored path belongs to: the private or public documents, or
    // the mirror folder of one cloud service. Nothing (logged) otherwise.
    std::optional<std::string> rootDirectoryForPath(std::string_view path) const;
    // "Documents", "Public" (translated), the cloud service's folder name, or "".
    std::string localizedPrefixForPath(std::string_view path) const;

private:
    void moveFromFirstLayout() const;
    void moveFromSecondLayout() const;

    std::string m_homeDirectory;
    std::string m_documentsDirectory;
    std::string m_publicDirectory;
    std::string m_metadataDirectory;
    std::string m_serversDirectory;
};
