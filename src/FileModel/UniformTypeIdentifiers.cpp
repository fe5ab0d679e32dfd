#include "FileModel/UniformTypeIdentifiers.h"

#include "Platform/Core/Bundle.h"
#include "Platform/Core/Log.h"
#include "Platform/Core/PropertyList.h"

#include <fmt/format.h>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <vector>

namespace {

constexpr std::string_view DynamicPrefix = "dyn.";

struct TypeTable {
    std::map<std::string, std::string, std::less<>> identifiers;
    std::map<std::string, std::vector<std::string>, std::less<>> parents;
};

std::shared_ptr<const TypeTable> readTable()
{
    auto table = std::make_shared<TypeTable>();
    std::string path = core::Bundle::main()->pathForResource("UTTypes", "plist");
    core::Value contents = path.empty() ? core::Value() : core::PropertyList::readFile(path);
    if (!contents["Extensions"].isDictionary() || !contents["ConformsTo"].isDictionary()) {
        core::log("Warning, uniform type table unavailable: {}", path.empty() ? "no UTTypes.plist" : path);
        return table;
    }
    for (const auto& [extension, identifier] : contents["Extensions"].dictionary())
        table->identifiers.emplace(extension, identifier.toString());
    for (const auto& [identifier, parents] : contents["ConformsTo"].dictionary()) {
        auto& list = table->parents[identifier];
        for (size_t i = 0; i < parents.count(); ++i)
            list.push_back(parents[i].toString());
    }
    return table;
}

std::shared_ptr<const TypeTable> table()
{
    static std::mutex mutex;
    static std::shared_ptr<const TypeTable> loaded;
    std::lock_guard lock(mutex);
    if (!loaded)
        loaded = readTable();
    return loaded;
}

} // namespace

std::optional<std::string> UTTypePreferredIdentifierForExtension(std::string_view extension)
{
    if (extension.empty())
        return std::nullopt;
    std::string lowered(extension);
    for (char& c : lowered) {
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    }
    auto types = table();
    auto found = types->identifiers.find(lowered);
    if (found != types->identifiers.end())
        return found->second;
    // Hexadecimal keeps any bytes of the extension out of the identifier's syntax.
    std::string dynamic(DynamicPrefix);
    for (unsigned char c : lowered)
        dynamic += fmt::format("{:02x}", c);
    return dynamic;
}

bool UTTypeConformsTo(std::string_view identifier, std::string_view conformsTo)
{
    if (identifier == conformsTo)
        return true;
    if (identifier.starts_with(DynamicPrefix))
        return conformsTo == "public.data" || conformsTo == "public.item";
    auto types = table();
    std::vector<std::string_view> pending { identifier };
    std::set<std::string_view> seen { identifier };
    while (!pending.empty()) {
        std::string_view current = pending.back();
        pending.pop_back();
        auto found = types->parents.find(current);
        if (found == types->parents.end())
            continue;
        for (const auto& parent : found->second) {
            if (parent == conformsTo)
                return true;
            if (seen.insert(parent).second)
                pending.push_back(parent);
        }
    }
    return false;
}
