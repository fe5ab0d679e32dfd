#include "Platform/Web/WebPrintFormatter.h"

#include "Platform/Core/RunLoop.h"
#include "Platform/Web/WebView.h"

namespace web {

std::shared_ptr<WebPrintFormatter> WebPrintFormatter::create(const std::shared_ptr<WebView>& view)
{
    auto formatter = std::make_shared<WebPrintFormatter>();
    formatter->setView(view);
    return formatter;
}

std::shared_ptr<WebView> WebPrintFormatter::webView() const
{
    return std::dynamic_pointer_cast<WebView>(view());
}

void WebPrintFormatter::printToPDF(const std::string& path, std::function<void(const core::Error* error)> completion)
{
    if (auto view = webView()) {
        view->printToPDF(path, std::move(completion));
        return;
    }
    core::RunLoop::main().post([completion = std::move(completion)] {
        core::Error error(core::Error::CocoaDomain, 4, "There is no page to print.");
        if (completion)
            completion(&error);
    });
}

} // namespace web
