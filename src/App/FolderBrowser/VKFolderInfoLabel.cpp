#include "App/FolderBrowser/VKFolderInfoLabel.h"

#include "App/VKAppServerState.h"
#include "HTTP/HTTPServer.h"
#include "Kit/NetReachability.h"

#include "Platform/Core/CodePoints.h"
#include "Platform/Core/Localized.h"
#include "Platform/Core/NotificationCenter.h"
#include "Platform/UI/Application.h"
#include "Platform/UI/Fonts.h"
#include "Platform/UI/Toolbar.h"
#include "Platform/UI/Touch.h"

#include <algorithm>
#include <fmt/format.h>
#include <limits>

namespace {

// Names and addresses come from the network: shown as plain text, with
// control characters (line breaks among them) as U+FFFD.
std::string plainText(std::string_view text)
{
    std::string out;
    out.reserve(text.size());
    core::forEachCodePoint(text, [&](const core::CodePoint& point, size_t) {
        char32_t c = point.value;
        bool control = c < 0x20 || c == 0x7F || (c >= 0x80 && c <= 0x9F);
        core::appendCodePoint(out, !point.valid || control ? 0xFFFD : c);
    });
    return out;
}

std::vector<std::string_view> lines(std::string_view text)
{
    std::vector<std::string_view> result;
    size_t start = 0;
    while (true) {
        size_t end = text.find('\n', start);
        result.push_back(text.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start));
        if (end == std::string_view::npos)
            return result;
        start = end + 1;
    }
}

} // namespace

std::shared_ptr<VKFolderInfoLabel> VKFolderInfoLabel::create(const gfx::Rect& frame)
{
    return View::make<VKFolderInfoLabel>(frame);
}

VKFolderInfoLabel::VKFolderInfoLabel()
{
    auto* application = ui::Application::shared();
    bool landscape = application && ui::isLandscape(application->statusBarOrientation());
    setFont(ui::Fonts::systemFont(landscape ? LandscapeFontSize : FontSize));
    setTextAlignment(gfx::TextAlignment::Center);
    setLineBreakMode(gfx::LineBreakMode::MiddleTruncation);
    setNumberOfLines(2);
    setUserInteractionEnabled(true);
    // The tokens go with the label, so the observers never outlive it.
    auto& center = core::NotificationCenter::defaultCenter();
    auto changed = [this](const core::Notification&) {
        auto keep = shared_from_this();
        networkOrServerStatusDidChange();
    };
    for (const char* name : { NetReachability::DidUpdateNotification, HTTPServer::StatusDidChangeNotification,
             HTTPServer::NetServiceDidUpdateNotification })
        m_observations.push_back(center.observe(name, nullptr, changed));
    m_observations.push_back(center.observe(ui::Application::willChangeStatusBarOrientationNotification, nullptr,
        [this](const ui::Application::OrientationChange& change) { orientationWillChange(int(change.orientation)); }));
}

void VKFolderInfoLabel::setInfo(std::string info)
{
    m_info = std::move(info);
    if (m_state == Info)
        showText(m_info);
}

void VKFolderInfoLabel::setTouchesCycleState(bool cycles)
{
    m_touchesCycleState = cycles;
    setUserInteractionEnabled(cycles);
}

void VKFolderInfoLabel::cycleState()
{
    auto delegate = m_server.lock();
    auto server = delegate ? delegate->httpServer() : nullptr;
    auto reachability = delegate ? delegate->netReachability() : nullptr;
    bool announced = server && server->isStarted() && reachability && reachability->isReachableUsingWifi()
        && server->bonjourURL();
    int highest = announced ? AnnouncedAddress : HostAddress;
    setState(m_state + 1 > highest ? Info : m_state + 1);
}

// The address a computer types: the whole URL on the default port, else
// host and port.
std::string VKFolderInfoLabel::addressText(int state) const
{
    auto delegate = m_server.lock();
    auto server = delegate ? delegate->httpServer() : nullptr;
    auto reachability = delegate ? delegate->netReachability() : nullptr;
    if (!server || !server->isStarted())
        return core::localized("Server Stopped");
    if (!reachability || !reachability->isReachableUsingWifi())
        return core::localized("No WiFi Connection");
    auto address = [&](const core::URL& url) {
        return plainText(server->usingDefaultPort()
                ? url.absoluteString()
                : fmt::format("{}:{}", url.host(), url.port().value_or(server->port())));
    };
    auto host = server->hostURL();
    auto announced = server->bonjourURL();
    switch (state) {
    case HostAddress:
        return host ? address(*host) : core::localized("No Network Detected");
    case AnnouncedAddress: {
        if (!announced)
            return core::localized("No Network Detected");
        std::string text = address(*announced);
        if (server->usingDefaultPort() && ui::Fonts::sizeOfString(text, font()).width > maximumWidth())
            text = plainText(announced->host());
        return text;
    }
    default: {
        std::string text = host ? address(*host) : std::string();
        if (announced)
            text += (text.empty() ? "" : "\n") + address(*announced);
        return text;
    }
    }
}

void VKFolderInfoLabel::setState(int state)
{
    m_state = state;
    showText(state == HostAddress || state == AnnouncedAddress || state == BothAddresses ? addressText(state) : m_info);
}

void VKFolderInfoLabel::showText(const std::string& text)
{
    setText(text);
    sizeToFit();
    // A toolbar places its items by their widths: it centres the label anew.
    if (auto* toolbar = dynamic_cast<ui::Toolbar*>(superview()))
        toolbar->setNeedsLayout();
}

void VKFolderInfoLabel::networkOrServerStatusDidChange()
{
    if (m_state >= HostAddress && m_state <= BothAddresses)
        setState(m_state);
}

void VKFolderInfoLabel::orientationWillChange(int orientation)
{
    setFont(ui::Fonts::systemFont(ui::isLandscape(ui::Orientation(orientation)) ? LandscapeFontSize : FontSize));
}

float VKFolderInfoLabel::maximumWidth() const
{
    auto* toolbar = dynamic_cast<ui::Toolbar*>(superview());
    if (!toolbar)
        return std::numeric_limits<float>::infinity();
    const auto& siblings = toolbar->subviews();
    auto it = std::find_if(siblings.begin(), siblings.end(), [this](auto& view) { return view.get() == this; });
    gfx::Rect bar = toolbar->bounds();
    float left = it == siblings.begin() || it == siblings.end() ? bar.minX() : (*(it - 1))->frame().maxX();
    float right = it == siblings.end() || it + 1 == siblings.end() ? bar.maxX() : (*(it + 1))->frame().minX();
    // A label wider than its room pushed the later items past the bar's
    // end: that much of the distance is not room.
    float overflow = siblings.empty() ? 0 : std::max(0.0f, siblings.back()->frame().maxX() - (bar.maxX() - ui::Toolbar::Edge));
    return right - left - overflow - 2 * NeighbourMargin;
}

gfx::Size VKFolderInfoLabel::sizeThatFits(gfx::Size size) const
{
    float width = 0, height = 0;
    std::string shown = text();
    for (auto line : lines(shown)) {
        if (line.empty())
            continue;
        gfx::Size measured = ui::Fonts::sizeOfString(line, font());
        width = std::max(width, measured.width);
        height += measured.height;
    }
    width = std::max(width, size.width);
    float room = maximumWidth();
    if (room > 0)
        width = std::min(width, room);
    return { width, std::max(height, size.height) };
}

void VKFolderInfoLabel::touchesEnded(const ui::TouchSet& touches, const ui::Event&)
{
    if (!m_touchesCycleState || touches.empty())
        return;
    if (bounds().contains(touches.front()->locationInView(this)))
        cycleState();
}
