#pragma once

// The browser's address field: it shows the page's address without its
// scheme while not edited, and holds a stop / reload button at its right end
// that shows only while the field is not edited, once reload is on or a
// load started. A tap on it sends StopEvent while loading, else
// ReloadEvent when reload is on.

#include "Platform/Core/URL.h"
#include "Platform/UI/TextField.h"

#include <memory>
#include <optional>

namespace ui {
class Button;
}

class VKWebLocationField : public ui::TextField {
public:
    // Application-defined control events.
    static constexpr unsigned StopEvent = 1u << 25;
    static constexpr unsigned ReloadEvent = 1u << 24;
    static constexpr float Height = 31;

    static std::shared_ptr<VKWebLocationField> create(const gfx::Rect& frame = {});
    VKWebLocationField();

    const std::optional<core::URL>& URL() const { return m_url; }
    // Shown as the address without "scheme:" and "//" unless the field is
    // being edited.
    void setURL(std::optional<core::URL> url);

    bool isLoading() const { return m_loading; }
    void setLoading(bool loading);
    bool isReloadEnabled() const { return m_reloadEnabled; }
    void setReloadEnabled(bool enabled);

    ui::Button& rightButton() const { return *m_rightButton; }
    void rightButtonTapped();

    // The address as the field shows it: the resource specifier less a
    // leading "//".
    static std::string displayText(const core::URL& url);

private:
    std::optional<core::URL> m_url;
    std::shared_ptr<ui::Button> m_rightButton;
    bool m_loading = false;
    bool m_reloadEnabled = false;
};
