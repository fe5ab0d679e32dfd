#include "Platform/Web/WebViewPlacement.h"

namespace web {

namespace {

WebViewPlacement::Provider& provider()
{
    static WebViewPlacement::Provider instance;
    return instance;
}

} // namespace

void WebViewPlacement::setProvider(Provider newProvider)
{
    provider() = std::move(newProvider);
}

std::shared_ptr<WebViewPlacement> WebViewPlacement::placementFor(ui::Window& window)
{
    return provider() ? provider()(window) : nullptr;
}

} // namespace web
