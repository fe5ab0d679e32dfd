#pragma once

// A screen: bounds in points and scale. The main screen is the drawing
// layer's (gfx::Screen); further screens come and go with notifications.
// The interface idiom comes from the device facts.

#include "Platform/Core/Device.h"
#include "Platform/Core/Object.h"
#include "Platform/Graphics/Geometry.h"

#include <memory>
#include <optional>
#include <vector>

namespace ui {

class Screen : public core::Object {
public:
    static constexpr const char* didConnectNotification = "ui.ScreenDidConnect";
    static constexpr const char* didDisconnectNotification = "ui.ScreenDidDisconnect";

    static std::shared_ptr<Screen> main();
    // The main screen first, then the connected ones in connection order.
    static std::vector<std::shared_ptr<Screen>> screens();
    // An external screen: connect posts didConnect, disconnect didDisconnect
    // (with the screen as sender).
    static std::shared_ptr<Screen> create(const gfx::Rect& bounds, float scale);
    static void connect(const std::shared_ptr<Screen>& screen);
    static void disconnect(const std::shared_ptr<Screen>& screen);

    gfx::Rect bounds() const;
    float scale() const;
    void setBounds(const gfx::Rect& bounds);
    void setScale(float scale);
    bool isMain() const { return m_main; }

    // The device's idiom, or the one a host chose (a desktop window picks
    // the phone's layouts below the tablet's size).
    static core::Device::Idiom userInterfaceIdiom();
    static void setUserInterfaceIdiom(std::optional<core::Device::Idiom> idiom);

    // Drops the connected screens (test environment).
    static void resetForTesting();

    explicit Screen(bool main);

private:
    bool m_main;
    gfx::Rect m_bounds;
    float m_scale = 1;
};

} // namespace ui
