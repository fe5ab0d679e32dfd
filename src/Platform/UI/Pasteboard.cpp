#include "Platform/UI/Pasteboard.h"

#include "Platform/Core/UTF8.h"
#include "Platform/Graphics/Image.h"

#include <fmt/format.h>

namespace ui {

namespace {

std::mutex registryMutex;
std::map<std::string, std::shared_ptr<Pasteboard>>& pasteboardRegistry()
{
    static std::map<std::string, std::shared_ptr<Pasteboard>> pasteboards;
    return pasteboards;
}

// Texts are kept as valid UTF-8: bad bytes become U+FFFD.
Pasteboard::Item cleaned(Pasteboard::Item item)
{
    for (auto& [type, value] : item)
        if (value.isString() && !core::utf8::isValid(value.string()))
            value = core::utf8::sanitized(value.string());
    return item;
}

} // namespace

std::shared_ptr<Pasteboard> Pasteboard::general()
{
    return named(generalName, true);
}

std::shared_ptr<Pasteboard> Pasteboard::named(const std::string& name, bool create)
{
    std::lock_guard lock(registryMutex);
    auto& pasteboards = pasteboardRegistry();
    if (auto it = pasteboards.find(name); it != pasteboards.end())
        return it->second;
    if (!create)
        return nullptr;
    auto pasteboard = std::make_shared<Pasteboard>(name);
    pasteboards.emplace(name, pasteboard);
    return pasteboard;
}

void Pasteboard::remove(const std::string& name)
{
    std::lock_guard lock(registryMutex);
    pasteboardRegistry().erase(name);
}

void Pasteboard::resetForTesting()
{
    std::lock_guard lock(registryMutex);
    pasteboardRegistry().clear();
}

Pasteboard::Pasteboard(std::string name) : m_name(std::move(name)) { }

long Pasteboard::changeCount() const
{
    std::lock_guard lock(m_mutex);
    return m_changeCount;
}

core::Value Pasteboard::firstValue(const std::string& type) const
{
    std::lock_guard lock(m_mutex);
    if (m_items.empty())
        return {};
    auto it = m_items.front().find(type);
    return it == m_items.front().end() ? core::Value() : it->second;
}

std::optional<std::string> Pasteboard::string() const
{
    core::Value value = firstValue(textType);
    if (!value.isString())
        return std::nullopt;
    return value.string();
}

void Pasteboard::setString(std::string_view text)
{
    setItems({ Item { { textType, std::string(text) } } });
}

std::vector<std::string> Pasteboard::strings() const
{
    std::vector<std::string> texts;
    for (auto& item : items())
        if (auto it = item.find(textType); it != item.end() && it->second.isString())
            texts.push_back(it->second.string());
    return texts;
}

std::optional<core::URL> Pasteboard::url() const
{
    core::Value value = firstValue(urlType);
    if (!value.isString())
        return std::nullopt;
    return core::URL::parse(value.string());
}

void Pasteboard::setURL(const core::URL& url)
{
    setItems({ Item { { urlType, url.absoluteString() } } });
}

std::shared_ptr<gfx::Image> Pasteboard::image() const
{
    return firstValue(imageType).objectAs<gfx::Image>();
}

void Pasteboard::setImage(std::shared_ptr<gfx::Image> image)
{
    if (!image)
        return setItems({});
    setItems({ Item { { imageType, core::Value(std::move(image)) } } });
}

void Pasteboard::setValue(const core::Value& value, const std::string& type)
{
    setItems({ Item { { type, value } } });
}

std::vector<Pasteboard::Item> Pasteboard::items() const
{
    std::lock_guard lock(m_mutex);
    return m_items;
}

void Pasteboard::setItems(std::vector<Item> items)
{
    for (auto& item : items)
        item = cleaned(std::move(item));
    std::lock_guard lock(m_mutex);
    m_items = std::move(items);
    ++m_changeCount;
}

std::string Pasteboard::description() const
{
    return fmt::format("<{}: {}; name = {}; changeCount = {}>", className(), static_cast<const void*>(this), m_name,
        changeCount());
}

} // namespace ui
