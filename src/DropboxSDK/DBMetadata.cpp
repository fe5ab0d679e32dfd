#include "DropboxSDK/DBMetadata.h"

#include "DropboxSDK/DBRecordFields.h"
#include "Kit/JSON/JSONArrayMember.h"
#include "Kit/JSON/KWJsonParser.h"
#include "Kit/NumberAdditions.h"
#include "Platform/Core/DateFormatter.h"
#include "Platform/Core/Log.h"
#include "Platform/Core/Thread.h"

#include <fmt/format.h>

namespace {

constexpr const char* DateFormatterKey = "DBMetadataDateFormatter";

// A thread's formatter as its dictionary holds it.
class DateFormatterHolder : public core::Object {
public:
    core::DateFormatter formatter = core::DateFormatter::posix("EEE, dd MMM yyyy HH:mm:ss Z");
};

int64_t int64Field(const core::Value::Dictionary& coder, const char* key)
{
    auto found = coder.find(key);
    return found == coder.end() ? 0 : vkSInt64Value(found->second);
}

bool boolField(const core::Value::Dictionary& coder, const char* key)
{
    auto found = coder.find(key);
    return found != coder.end() && found->second.toBool();
}

} // namespace

core::DateFormatter& DBMetadata::dateFormatter()
{
    auto& dictionary = core::Thread::current()->threadDictionary();
    auto found = dictionary.find(DateFormatterKey);
    if (found != dictionary.end()) {
        if (auto holder = found->second.objectAs<DateFormatterHolder>())
            return holder->formatter;
    }
    auto holder = std::make_shared<DateFormatterHolder>();
    dictionary.insert_or_assign(DateFormatterKey, core::Value(holder));
    return holder->formatter;
}

std::shared_ptr<const DBMetadata> DBMetadata::initWithDictionary(const core::Value& dictionary)
{
    bool cut = false;
    auto metadata = fromDictionary(dictionary, 0, cut);
    if (cut)
        core::log("DBMetadata: contents nested deeper than {} levels were dropped", MaximumDepth);
    return metadata;
}

std::shared_ptr<const DBMetadata> DBMetadata::initWithJSONString(std::string_view text)
{
    auto split = JSONSplitArrayMember(text, "contents");
    if (!split) {
        auto value = KWJsonParser().objectWithString(text);
        return value && value->isDictionary() ? initWithDictionary(*value) : nullptr;
    }
    auto top = KWJsonParser().objectWithString(split->rest);
    if (!top || !top->isDictionary())
        return nullptr;
    bool cut = false;
    top->mutableDictionary().erase("contents");
    auto metadata = fromDictionary(*top, 0, cut);
    Contents children;
    children.reserve(split->elements.size());
    // Each entry stands two levels down in the whole answer.
    KWJsonParser entryParser;
    entryParser.setMaxDepth(entryParser.maxDepth() > 2 ? entryParser.maxDepth() - 2 : 1);
    for (std::string_view element : split->elements) {
        auto child = entryParser.fragmentWithString(element);
        if (!child)
            return nullptr;
        if (child->isDictionary())
            children.push_back(fromDictionary(*child, 1, cut));
    }
    metadata->m_contents = std::move(children);
    if (cut)
        core::log("DBMetadata: contents nested deeper than {} levels were dropped", MaximumDepth);
    return metadata;
}

std::shared_ptr<DBMetadata> DBMetadata::fromDictionary(const core::Value& dictionary, size_t depth, bool& cut)
{
    auto metadata = std::shared_ptr<DBMetadata>(new DBMetadata);
    metadata->m_thumbnailExists = dictionary["thumb_exists"].toBool();
    metadata->m_totalBytes = vkSInt64Value(dictionary["bytes"]);
    const core::Value& modified = dictionary["modified"];
    if (modified.isString())
        metadata->m_lastModifiedDate = dateFormatter().parse(modified.string());
    metadata->m_path = db::stringField(dictionary["path"]);
    metadata->m_isDirectory = dictionary["is_dir"].toBool();
    const core::Value& contents = dictionary["contents"];
    if (!contents.isNull()) {
        Contents children;
        if (depth + 1 >= MaximumDepth) {
            cut = cut || contents.count() > 0;
        } else if (contents.isArray()) {
            children.reserve(contents.count());
            for (const auto& child : contents.array()) {
                if (child.isDictionary())
                    children.push_back(fromDictionary(child, depth + 1, cut));
            }
        }
        metadata->m_contents = std::move(children);
    }
    metadata->m_hash = db::stringField(dictionary["hash"]);
    metadata->m_humanReadableSize = db::stringField(dictionary["size"]);
    metadata->m_root = db::stringField(dictionary["root"]);
    metadata->m_icon = db::stringField(dictionary["icon"]);
    metadata->m_revision = vkSInt64Value(dictionary["revision"]);
    metadata->m_isDeleted = dictionary["is_deleted"].toBool();
    return metadata;
}

std::shared_ptr<const DBMetadata> DBMetadata::initWithCoder(const core::Value::Dictionary& coder)
{
    bool cut = false;
    auto metadata = fromCoder(coder, 0, cut);
    if (cut)
        core::log("DBMetadata: archived contents nested deeper than {} levels were dropped", MaximumDepth);
    return metadata;
}

std::shared_ptr<const DBMetadata> DBMetadata::fromCoder(const core::Value::Dictionary& coder, size_t depth, bool& cut)
{
    auto metadata = std::shared_ptr<DBMetadata>(new DBMetadata);
    metadata->m_thumbnailExists = boolField(coder, "thumbnailExists");
    metadata->m_totalBytes = int64Field(coder, "totalBytes");
    if (auto date = coder.find("lastModifiedDate"); date != coder.end() && date->second.isDate())
        metadata->m_lastModifiedDate = date->second.date();
    metadata->m_path = db::stringField(coder, "path");
    metadata->m_isDirectory = boolField(coder, "isDirectory");
    if (auto contents = coder.find("contents"); contents != coder.end()) {
        Contents children;
        if (depth + 1 >= MaximumDepth) {
            cut = cut || contents->second.count() > 0;
        } else if (contents->second.isArray()) {
            for (const auto& child : contents->second.array()) {
                if (child.isDictionary())
                    children.push_back(fromCoder(child.dictionary(), depth + 1, cut));
            }
        }
        metadata->m_contents = std::move(children);
    }
    metadata->m_hash = db::stringField(coder, "hash");
    metadata->m_humanReadableSize = db::stringField(coder, "humanReadableSize");
    metadata->m_root = db::stringField(coder, "root");
    metadata->m_icon = db::stringField(coder, "icon");
    metadata->m_revision = int64Field(coder, "revision");
    metadata->m_isDeleted = boolField(coder, "isDeleted");
    return metadata;
}

void DBMetadata::encodeWithCoder(core::Value::Dictionary& coder) const
{
    coder["thumbnailExists"] = m_thumbnailExists;
    coder["totalBytes"] = m_totalBytes;
    if (m_lastModifiedDate)
        coder["lastModifiedDate"] = *m_lastModifiedDate;
    db::encodeString(coder, "path", m_path);
    coder["isDirectory"] = m_isDirectory;
    if (m_contents) {
        core::Value::Array children;
        children.reserve(m_contents->size());
        for (const auto& child : *m_contents) {
            core::Value::Dictionary archived;
            child->encodeWithCoder(archived);
            children.emplace_back(std::move(archived));
        }
        coder["contents"] = core::Value(std::move(children));
    }
    db::encodeString(coder, "hash", m_hash);
    db::encodeString(coder, "humanReadableSize", m_humanReadableSize);
    db::encodeString(coder, "root", m_root);
    db::encodeString(coder, "icon", m_icon);
    coder["revision"] = m_revision;
    coder["isDeleted"] = m_isDeleted;
}

std::string DBMetadata::description() const
{
    auto text = [](const std::optional<std::string>& value) { return value ? *value : std::string("(null)"); };
    std::string contents = "(null)";
    if (m_contents) {
        contents = "(";
        for (size_t i = 0; i < m_contents->size(); ++i)
            contents += (i ? ", " : "") + (*m_contents)[i]->description();
        contents += ")";
    }
    return fmt::format("{}, thumbnailExists:{}, totalBytes:{}, lastModifiedDate:{}, path:{}, isDirectory:{}, "
                       "contents:{}, hash:{}, humanReadableSize:{}, root:{}, icon:{}, revision:{}, isDeleted:{}, ",
        core::Object::description(), int(m_thumbnailExists), m_totalBytes,
        m_lastModifiedDate ? m_lastModifiedDate->description() : std::string("(null)"), text(m_path),
        int(m_isDirectory), contents, text(m_hash), text(m_humanReadableSize), text(m_root), text(m_icon),
        m_revision, int(m_isDeleted));
}
