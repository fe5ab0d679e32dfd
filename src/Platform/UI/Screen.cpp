#include "Platform/UI/Screen.h"

#include "Platform/Core/NotificationCenter.h"
#include "Platform/Graphics/Screen.h"
#include "Platform/UI/Checks.h"

#include <algorithm>
#include <cmath>

namespace ui {

namespace {

std::vector<std::shared_ptr<Screen>> connected;
std::optional<core::Device::Idiom> chosenIdiom;

} // namespace

Screen::Screen(bool main)
    : m_main(main)
{
}

std::shared_ptr<Screen> Screen::main()
{
    static auto screen = std::make_shared<Screen>(true);
    return screen;
}

std::vector<std::shared_ptr<Screen>> Screen::screens()
{
    std::vector<std::shared_ptr<Screen>> all { main() };
    all.insert(all.end(), connected.begin(), connected.end());
    return all;
}

std::shared_ptr<Screen> Screen::create(const gfx::Rect& bounds, float scale)
{
    auto screen = std::make_shared<Screen>(false);
    screen->setBounds(bounds);
    screen->setScale(scale);
    return screen;
}

void Screen::connect(const std::shared_ptr<Screen>& screen)
{
    requireMainThread("Screen::connect");
    if (!screen || screen->m_main || std::find(connected.begin(), connected.end(), screen) != connected.end())
        return;
    connected.push_back(screen);
    core::NotificationCenter::defaultCenter().post(didConnectNotification, screen);
}

void Screen::disconnect(const std::shared_ptr<Screen>& screen)
{
    requireMainThread("Screen::disconnect");
    auto it = std::find(connected.begin(), connected.end(), screen);
    if (it == connected.end())
        return;
    connected.erase(it);
    core::NotificationCenter::defaultCenter().post(didDisconnectNotification, screen);
}

gfx::Rect Screen::bounds() const
{
    return m_main ? gfx::Screen::main().bounds() : m_bounds;
}

float Screen::scale() const
{
    return m_main ? gfx::Screen::main().scale() : m_scale;
}

void Screen::setBounds(const gfx::Rect& bounds)
{
    requireFinite(bounds, "Screen::setBounds");
    if (m_main)
        gfx::Screen::main().setBounds(bounds);
    else
        m_bounds = bounds;
}

void Screen::setScale(float scale)
{
    if (!std::isfinite(scale) || scale <= 0)
        return;
    if (m_main)
        gfx::Screen::main().setScale(scale);
    else
        m_scale = scale;
}

core::Device::Idiom Screen::userInterfaceIdiom()
{
    return chosenIdiom ? *chosenIdiom : core::Device::current()->userInterfaceIdiom();
}

void Screen::setUserInterfaceIdiom(std::optional<core::Device::Idiom> idiom)
{
    chosenIdiom = idiom;
}

void Screen::resetForTesting()
{
    connected.clear();
    chosenIdiom.reset();
    gfx::Screen::main().reset();
}

} // namespace ui
