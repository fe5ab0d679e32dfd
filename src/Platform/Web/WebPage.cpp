#include "Platform/Web/WebPage.h"

#include "Platform/Core/RunLoop.h"

namespace web {

WebPage::~WebPage() = default;

void WebPage::deliver(std::function<void(WebPageClient&)> report)
{
    core::RunLoop::main().post([client = m_client, report = std::move(report)] {
        if (auto alive = client.lock())
            report(*alive);
    });
}

} // namespace web
