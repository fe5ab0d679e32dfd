#pragma once

#include "Platform/Core/Object.h"
#include "Platform/Core/Value.h"

#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>

namespace core {

// A folder of resources with an Info.plist: the application's bundle is
// `resources/`, found through $TANDRY_RESOURCES, beside the executable, or
// in the source tree. Resource names are plain file names: one holding "/",
// "..", or NUL names nothing.
class Bundle : public Object {
public:
    static std::shared_ptr<Bundle> bundleWithPath(const std::string& path);
    static std::shared_ptr<Bundle> main();
    // Replaces the main bundle (tests, fixtures); null finds it again.
    static void setMainForTesting(std::shared_ptr<Bundle> bundle);

    const std::string& bundlePath() const { return m_path; }
    // The Info.plist dictionary (empty when there is none), read once.
    Value infoDictionary() const;
    Value objectForInfoDictionaryKey(std::string_view key) const;
    std::string bundleIdentifier() const;

    // The path of <subdirectory>/<name>.<type> when that file exists, else
    // empty. An empty type takes the name as it stands.
    std::string pathForResource(std::string_view name, std::string_view type, std::string_view subdirectory = {}) const;

    // The translation of `key` in strings/<language>/<table>.plist, else in
    // the English table, else the key itself.
    std::string localizedString(std::string_view key, std::string_view table, std::string_view language) const;

    std::string description() const override;

private:
    explicit Bundle(std::string path);
    Value stringTable(const std::string& language, const std::string& table) const;

    std::string m_path;
    mutable std::mutex m_mutex;
    mutable bool m_infoRead = false;
    mutable Value m_info;
    mutable std::map<std::string, Value, std::less<>> m_tables;
};

} // namespace core
