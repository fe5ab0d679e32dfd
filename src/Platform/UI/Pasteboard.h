#pragma once

// A pasteboard: items of typed values (strings, URLs, images, raw data),
// kept in this process. The general one and named ones are shared by name;
// every write bumps the change count. Unlike the rest of the toolkit a
// pasteboard may be used from any thread: each one guards itself.

#include "Platform/Core/Object.h"
#include "Platform/Core/URL.h"
#include "Platform/Core/Value.h"

#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace gfx {
class Image;
}

namespace ui {

class Pasteboard : public core::Object {
public:
    static constexpr const char* generalName = "ui.pasteboard.general";
    static constexpr const char* findName = "ui.pasteboard.find";
    // Types of the values set through the typed setters.
    static constexpr const char* textType = "public.utf8-plain-text";
    static constexpr const char* urlType = "public.url";
    static constexpr const char* imageType = "public.image";

    // One item: type → value. Images travel as core::Value objects.
    using Item = std::map<std::string, core::Value>;

    static std::shared_ptr<Pasteboard> general();
    // The pasteboard called `name`; made when `create`, else null when none is.
    static std::shared_ptr<Pasteboard> named(const std::string& name, bool create);
    static void remove(const std::string& name);
    // Drops every pasteboard (test environment).
    static void resetForTesting();

    const std::string& name() const { return m_name; }
    long changeCount() const;

    // The first item's text (invalid UTF-8 set here became U+FFFD).
    std::optional<std::string> string() const;
    void setString(std::string_view text);
    std::vector<std::string> strings() const;
    std::optional<core::URL> url() const;
    void setURL(const core::URL& url);
    std::shared_ptr<gfx::Image> image() const;
    void setImage(std::shared_ptr<gfx::Image> image);

    // A typed value for the first item.
    void setValue(const core::Value& value, const std::string& type);

    std::vector<Item> items() const;
    void setItems(std::vector<Item> items);

    explicit Pasteboard(std::string name);
    std::string description() const override;

private:
    core::Value firstValue(const std::string& type) const;

    const std::string m_name;
    mutable std::mutex m_mutex;
    std::vector<Item> m_items;
    long m_changeCount = 0;
};

} // namespace ui
