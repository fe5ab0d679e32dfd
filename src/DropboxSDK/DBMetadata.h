#pragma once

#include "Platform/Core/Date.h"
#include "Platform/Core/Object.h"
#include "Platform/Core/Value.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace core {
class DateFormatter;
}

// A file or folder of the cloud service as one metadata answer describes
// it, a folder with its children. Immutable once built, so a record parsed
// on a worker thread may be handed to the main thread.
class DBMetadata : public core::Object {
public:
    using Contents = std::vector<std::shared_ptr<const DBMetadata>>;

    // Children nest at most this deep; deeper ones are dropped (logged once
    // per record).
    static constexpr size_t MaximumDepth = 64;

    // From a decoded JSON object. A missing key or one of the wrong kind
    // gives none, 0 or false; "contents" elements that are not objects are
    // skipped; a "modified" text not in the service's date format gives none.
    static std::shared_ptr<const DBMetadata> initWithDictionary(const core::Value& dictionary);
    // The same from the answer's JSON text (an object; else none), reading
    // "contents" one entry at a time, so that a large listing never stands
    // in memory as a tree of values next to its records.
    static std::shared_ptr<const DBMetadata> initWithJSONString(std::string_view text);
    // The archive form: a dictionary under the archive keys (children as
    // an array of such dictionaries), as encodeWithCoder writes it.
    static std::shared_ptr<const DBMetadata> initWithCoder(const core::Value::Dictionary& coder);
    void encodeWithCoder(core::Value::Dictionary& coder) const;

    // The calling thread's formatter of "modified" texts ("EEE, dd MMM yyyy
    // HH:mm:ss Z", en_US_POSIX), kept in the thread's dictionary under
    // "DBMetadataDateFormatter".
    static core::DateFormatter& dateFormatter();

    bool thumbnailExists() const { return m_thumbnailExists; }
    int64_t totalBytes() const { return m_totalBytes; }
    const std::optional<core::Date>& lastModifiedDate() const { return m_lastModifiedDate; }
    const std::optional<std::string>& path() const { return m_path; }
    bool isDirectory() const { return m_isDirectory; }
    // None for an answer without "contents" (a file), which differs from an
    // empty folder's empty list.
    const std::optional<Contents>& contents() const { return m_contents; }
    // "hash": the folder's hash, which a later metadata call sends back to
    // ask whether the folder changed. (Object::hash() is the identity hash.)
    const std::optional<std::string>& folderHash() const { return m_hash; }
    const std::optional<std::string>& humanReadableSize() const { return m_humanReadableSize; }
    const std::optional<std::string>& root() const { return m_root; }
    const std::optional<std::string>& icon() const { return m_icon; }
    int64_t revision() const { return m_revision; }
    bool isDeleted() const { return m_isDeleted; }

    // The base description, then "key:value, " for each field in a fixed order.
    std::string description() const override;

private:
    DBMetadata() = default;

    static std::shared_ptr<DBMetadata> fromDictionary(const core::Value& dictionary, size_t depth, bool& cut);
    static std::shared_ptr<const DBMetadata> fromCoder(const core::Value::Dictionary& coder, size_t depth, bool& cut);

    bool m_thumbnailExists = false;
    int64_t m_totalBytes = 0;
    std::optional<core::Date> m_lastModifiedDate;
    std::optional<std::string> m_path;
    bool m_isDirectory = false;
    std::optional<Contents> m_contents;
    std::optional<std::string> m_hash;
    std::optional<std::string> m_humanReadableSize;
    std::optional<std::string> m_root;
    std::optional<std::string> m_icon;
    int64_t m_revision = 0;
    bool m_isDeleted = false;
};
