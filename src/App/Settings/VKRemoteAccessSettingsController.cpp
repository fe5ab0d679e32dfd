#include "App/Settings/VKRemoteAccessSettingsController.h"

#include "App/Settings/VKRemoteAuthSettingsController.h"
#include "Shell/Settings/VKSubviewCell.h"
#include "Shell/Settings/VKSwitchCell.h"
#include "App/VKAppServerState.h"
#include "HTTP/HTTPServer.h"
#include "Kit/NetReachability.h"
#include "Platform/Core/Localized.h"
#include "Platform/Core/MainThread.h"
#include "Platform/Core/NotificationCenter.h"
#include "Platform/Core/Thread.h"
#include "Platform/Core/UserDefaults.h"

#include <fmt/format.h>

std::shared_ptr<VKRemoteAccessSettingsController> VKRemoteAccessSettingsController::remoteAccessSettingsController(
    std::weak_ptr<VKAppServerState> server)
{
    auto page = std::make_shared<VKRemoteAccessSettingsController>();
    page->m_server = std::move(server);
    page->observe();
    return page;
}

VKRemoteAccessSettingsController::VKRemoteAccessSettingsController()
{
    setTitle(core::localized("Remote Access", "Settings"));
}

void VKRemoteAccessSettingsController::observe()
{
    std::weak_ptr<core::Object> weak = weak_from_this();
    auto update = [weak] {
        if (auto self = std::static_pointer_cast<VKRemoteAccessSettingsController>(weak.lock()))
            self->updateFooterText();
    };
    // The page lives on the main thread: a change made elsewhere reaches
    // it there.
    m_observations.push_back(core::UserDefaults::standard()->observe("VKServerEnabled", [update](const core::Value&) {
        if (core::Thread::isMainThread())
            update();
        else
            core::performOnMainThread(update);
    }));
    auto& center = core::NotificationCenter::defaultCenter();
    for (const char* name : { HTTPServer::StatusDidChangeNotification, HTTPServer::NetServiceDidUpdateNotification,
             NetReachability::DidUpdateNotification })
        m_observations.push_back(center.observe(name, nullptr, [update](const core::Notification&) { update(); }));
}

std::string VKRemoteAccessSettingsController::statusText()
{
    bool enabled = core::UserDefaults::standard()->boolForKey("VKServerEnabled");
    return core::localized(enabled ? "Enabled" : "Disabled", "Settings");
}

void VKRemoteAccessSettingsController::loadTableGroups()
{
    setTableGroups({ {
        VKSwitchCell::initWithLabel(core::localized("Server Enabled", "Settings"), "VKServerEnabled"),
        VKSubviewCell::subviewCellWithLabel(core::localized("Authentication", "Settings"),
            VKRemoteAuthSettingsController::remoteAuthSettingsController(m_server)),
        VKSwitchCell::initWithLabel(core::localized("Prevent Sleep", "Settings"), "VKInsomniaEnabled"),
    } });
}

void VKRemoteAccessSettingsController::viewWillAppear(bool animated)
{
    VKTableSubviewController::viewWillAppear(animated);
    updateFooterText();
}

void VKRemoteAccessSettingsController::updateFooterText()
{
    if (!core::UserDefaults::standard()->boolForKey("VKServerEnabled")) {
        setFooterText("");
        return;
    }
    auto state = m_server.lock();
    auto server = state ? state->httpServer() : nullptr;
    auto host = server ? server->hostURL() : std::nullopt;
    auto reachability = state ? state->netReachability() : nullptr;
    if (!host || !reachability || !reachability->isReachableUsingWifi()) {
        setFooterText(core::localized("No WiFi connection detected"));
        return;
    }
    std::string text = fmt::format(fmt::runtime(core::localized("Connect via URL:\n{}")), host->absoluteString());
    if (auto announced = server->bonjourURL())
        text += "\n" + fmt::format(fmt::runtime(core::localized("\nor via Bonjour:\n{}")), announced->absoluteString());
    setFooterText(text);
}
