#pragma once

#include "WebDAV/WebDAVPropertyName.h"

#include "Platform/Core/Date.h"
#include "Platform/Core/Error.h"
#include "Platform/Core/FileSystem.h"
#include "Platform/Core/Object.h"
#include "Platform/Core/URL.h"
#include "Platform/Core/Value.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// One property and its value, in the order a table was made.
struct WebDAVPropertyEntry {
    WebDAVPropertyNameRef name;
    core::Value value;
};
using WebDAVPropertyTable = std::vector<WebDAVPropertyEntry>;

class WebDAVResource;
using WebDAVResourceRef = std::shared_ptr<WebDAVResource>;
using WebDAVResourceList = std::vector<WebDAVResourceRef>;
using WebDAVPropertyNameList = std::vector<WebDAVPropertyNameRef>;

// An existing file or folder as the WebDAV engine sees it: its request URI
// (a path; a collection's ends with "/"), the local path the server mapped
// it to, its live properties (computed) and its dead properties (kept in
// extended attributes of the item, so copies with attributes carry them).
// Made per request and short-lived.
class WebDAVResource : public core::Object {
public:
    static constexpr const char* ErrorDomain = "WebDAVResourceErrorDomain";
    static constexpr const char* StatusKey = "WebDAVStatus";
    // Below this many free bytes no property is stored.
    static constexpr uint64_t MinimumAvailableBytes = 102400;

    // While one lives on a thread, the items there are read as one snapshot:
    // a resource made then keeps the attributes read when it was made, and
    // the quota figures are read once. For answers that only read and list
    // many items (PROPFIND), so that each item costs one look.
    class Snapshot {
    public:
        Snapshot();
        ~Snapshot();
        Snapshot(const Snapshot&) = delete;
        Snapshot& operator=(const Snapshot&) = delete;

    private:
        friend class WebDAVResource;
        static Snapshot*& current();

        Snapshot* m_outer = nullptr;
        std::optional<std::optional<uint64_t>> m_availableBytes;
        std::optional<uint64_t> m_usedBytes;
        // The quota properties' texts, the same for every item.
        std::optional<std::string> m_quotaTexts[4];
        // The folder listed, held open: its members are looked up by name
        // in it rather than by their whole paths.
        int m_folder = -1;
        std::string m_folderPath;
    };

    // Nothing when nothing exists at the local path. A folder's URI gains
    // its trailing "/".
    static WebDAVResourceRef resourceWithURI(const core::URL& uri, const std::string& localPath);
    // The resource, else the lock-null resource of a URI locked before its
    // item existed, else nothing.
    static WebDAVResourceRef resourceWithURIMaybeNull(const core::URL& uri, const std::string& localPath);

    static const std::vector<std::string>& collectionLivePropertyNames();
    static const std::vector<std::string>& fileLivePropertyNames();
    static bool isLivePropertyName(std::string_view name);
    static bool isWritableLivePropertyName(std::string_view name);
    // An error of this engine: the HTTP status as code, its text under
    // "WebDAVStatus" (and as description).
    static core::Error errorWithStatus(int code, std::string status);

    const core::URL& URI() const { return m_uri; }
    const std::string& path() const { return m_path; }
    std::string name() const;

    virtual bool isCollection() const;
    // Whether the item itself is a symbolic link (its target exists).
    bool isSymbolicLink() const { return m_isSymbolicLink; }
    bool isPackage() const;
    bool isAppleDouble() const;
    bool isReadable() const;
    bool isWritable() const;
    uint64_t fileSize() const;
    // Whether the item (through a link, what it leads to) is a FIFO, socket
    // or device: listed, never read or sent.
    bool isSpecialFile() const;
    std::optional<core::Date> fileModificationDate() const;
    // Nothing for a collection. With `fd`, the file held open at the path:
    // its start is read through it.
    std::optional<std::string> mimeType(int fd = -1) const;
    // The type a file is served and listed with: its MIME type, or
    // "application/octet-stream" where that is not a media type ("unknown").
    // With `fd`, the file held open at the path: its start is read through it.
    static std::string contentTypeForFile(const std::string& path, int fd = -1);
    // The entity tag in quotation marks.
    std::optional<std::string> etag() const;

    // "1": the direct members; "infinity" (any case): all members at any
    // depth; links are listed, never entered. Lock-null members follow.
    // Nothing for another depth, a file or a folder that cannot be read.
    virtual std::optional<WebDAVResourceList> subresourcesToDepth(std::string_view depth) const;

    virtual WebDAVPropertyNameList propertyNames() const;
    WebDAVPropertyTable properties() const { return propertiesForNames(nullptr); }
    // With names: their live values, and every dead property when the live
    // ones did not answer them all. Without: everything.
    virtual WebDAVPropertyTable propertiesForNames(const WebDAVPropertyNameList* names) const;
    virtual core::Value propertyForName(const WebDAVPropertyName& name) const;
    virtual std::optional<WebDAVPropertyNameList> deadPropertyNames() const;
    virtual std::optional<WebDAVPropertyTable> deadProperties() const;

    virtual bool canSetProperty(const core::Value& value, const WebDAVPropertyName& name, core::Error* error = nullptr) const;
    // A refused store reports why (the POSIX error of the attribute call), so
    // that a full disk can be told from a refusal.
    virtual bool setProperty(const core::Value& value, const WebDAVPropertyName& name, core::Error* error = nullptr);
    virtual bool canRemovePropertyWithName(const WebDAVPropertyName& name, core::Error* error = nullptr) const;
    virtual bool removePropertyWithName(const WebDAVPropertyName& name, core::Error* error = nullptr);

    // Folders that are not packages sort before everything else.
    int isCollectionComparison(const core::Object& other) const;

    bool isEqual(const core::Object& other) const override;
    size_t hash() const override;
    std::string description() const override;

protected:
    WebDAVResource(core::URL uri, std::string localPath) : m_uri(std::move(uri)), m_path(std::move(localPath)) { }
    // The URI's path standardised, beginning with "/".
    static std::string standardizedPath(const core::URL& uri);
    // resourceWithURI for a path standardised already (decoded, beginning
    // with "/", no dot segments).
    // With `folder`, an open descriptor of a folder and `nameInFolder` the
    // item's path relative to it, looked up there.
    static WebDAVResourceRef resourceWithStandardizedPath(std::string path, const std::string& localPath,
        int folder = -1, const std::string* nameInFolder = nullptr);

private:
    std::optional<core::fs::Attributes> attributes() const;
    std::optional<std::vector<std::string>> deadPropertyKeys() const;

    core::URL m_uri;
    std::string m_path;
    mutable std::optional<bool> m_isCollection;
    bool m_isSymbolicLink = false;
    // Read when the resource was made inside a snapshot, used only in one.
    std::optional<core::fs::Attributes> m_snapshotAttributes;
};
