#include "Platform/Core/Localized.h"

#include "Platform/Core/Bundle.h"
#include "Platform/Core/UserDefaults.h"

#include <mutex>

namespace core {

namespace {

std::mutex languageMutex;
std::string language;

} // namespace

std::string currentLanguage()
{
    {
        std::lock_guard lock(languageMutex);
        if (!language.empty())
            return language;
    }
    // Read outside the lock: the settings store may itself want texts.
    Value first = UserDefaults::standard()->object("AppleLanguages")[0];
    std::string found = first.isString() && !first.string().empty() ? first.string() : std::string("en");
    std::lock_guard lock(languageMutex);
    if (language.empty())
        language = found;
    return language;
}

void setCurrentLanguage(std::string value)
{
    std::lock_guard lock(languageMutex);
    language = std::move(value);
}

std::string localized(std::string_view key, std::string_view table)
{
    return Bundle::main()->localizedString(key, table, currentLanguage());
}

} // namespace core
