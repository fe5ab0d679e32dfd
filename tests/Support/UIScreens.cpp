#include "Support/UIScreens.h"

#include "Platform/Core/UserDefaults.h"
#include "Platform/Graphics/Screen.h"
#include "Platform/UI/Testing/Driver.h"
#include "Platform/UI/Window.h"

#include <filesystem>
#include <gtest/gtest.h>

namespace test {

void useDeviceScreen(ui::Window& window, const DeviceScreen& device)
{
    if (device.tablet)
        core::UserDefaults::setArguments({ "-DeviceIdiom", "tablet" });
    gfx::Screen::main().setBounds({ 0, 0, device.size.width, device.size.height });
    gfx::Screen::main().setScale(device.scale);
    window.setFrame({ 0, 0, device.size.width, device.size.height });
}

void saveScreen(ui::testing::Driver& driver, const std::string& directory, const std::string& name, float scale)
{
    std::filesystem::create_directories(directory);
    ui::testing::Driver::ScreenshotOptions options;
    options.scale = scale;
    options.realText = true;
    core::Error error;
    EXPECT_TRUE(driver.screenshot(directory + "/" + name + ".png", options, &error)) << error.localizedDescription();
}

} // namespace test
