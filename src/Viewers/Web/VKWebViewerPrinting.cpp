#include "Viewers/Web/VKWebViewerPrinting.h"

#include "Viewers/Web/VKWebViewController.h"

#include "Shell/Interface/AlertViewAdditions.h"
#include "Shell/Interface/VKAlertView.h"
#include "FileModel/VKFileResource.h"
#include "Platform/Core/Localized.h"
#include "Platform/Core/Log.h"
#include "Platform/UI/Application.h"
#include "Platform/UI/PrintInteractionController.h"
#include "Platform/Web/WebPrintFormatter.h"

#include <fmt/format.h>

namespace {

void showFailedToPrint(const std::string& name)
{
    showAlertViewWithTitle(core::localized("Warning"),
        fmt::format(fmt::runtime(core::localized("Failed to print \"{}\"")), name), core::localized("OK"));
}

} // namespace

VKWebViewerPrinting::~VKWebViewerPrinting()
{
    release();
}

bool VKWebViewerPrinting::isPrintingView(const web::WebView& view) const
{
    return m_view && &view == m_view.get();
}

std::shared_ptr<ui::PrintFormatter> VKWebViewerPrinting::formatter() const
{
    return m_formatter;
}

void VKWebViewerPrinting::start()
{
    if (!m_viewer.resource() || m_view)
        return;
    m_view = VKWebView::create(m_viewer.view()->bounds());
    m_view->setDelegate(std::static_pointer_cast<web::WebViewDelegate>(m_viewer.sharedAs<VKWebViewController>()));
    m_view->setScalesPageToFit(true);
    m_alert = VKAlertView::create(core::localized("Printing"), core::localized("Preparing document..."),
        std::static_pointer_cast<ui::AlertViewDelegate>(m_viewer.sharedAs<VKWebViewController>()),
        core::localized("Cancel"));
    m_alert->addActivityIndicator();
    m_alert->show();
    m_viewer.loadDocument(*m_view);
}

void VKWebViewerPrinting::didFinishLoad()
{
    m_view->setDelegate({});
    dismissAlert();
    showPanel();
}

void VKWebViewerPrinting::didFailLoad()
{
    release();
    dismissAlert();
    const auto& resource = m_viewer.resource();
    showFailedToPrint(resource ? resource->name() : std::string());
}

void VKWebViewerPrinting::release()
{
    if (!m_view)
        return;
    m_view->setDelegate({});
    m_view->cancelRTFConversion();
    if (m_view->isLoading())
        m_view->stopLoading();
    m_view.reset();
}

void VKWebViewerPrinting::dismissAlert()
{
    if (!m_alert)
        return;
    auto alert = std::move(m_alert);
    alert->setDelegate({});
    alert->dismiss(0, true);
}

void VKWebViewerPrinting::alertClicked(ui::AlertView& alert)
{
    if (&alert != m_alert.get())
        return;
    // Cancelled before the document was ready: the job ends silently.
    m_alert.reset();
    release();
}

void VKWebViewerPrinting::showPanel()
{
    if (!m_view)
        return;
    auto& printer = ui::PrintInteractionController::shared();
    m_formatter = m_view->printFormatter();
    printer.setPrintingItem({});
    printer.setPrintFormatter(m_formatter);
    auto* application = ui::Application::shared();
    if (application)
        application->setStatusBarStyle(ui::Application::StatusBarStyle::Default, true);
    std::weak_ptr<VKWebViewController> weak = m_viewer.sharedAs<VKWebViewController>();
    std::string name = m_viewer.resource()->name();
    bool shown = printer.present(true, [weak, name](ui::PrintInteractionController& controller, bool,
                                           const core::Error* error) {
        if (error)
            core::log("printController error {}", error->description());
        if (auto formatter = controller.printFormatter())
            formatter->setView(nullptr);
        controller.setPrintFormatter(nullptr);
        auto self = weak.lock();
        if (self) {
            self->m_printing.m_formatter.reset();
            self->m_printing.release();
        }
        if (error)
            showFailedToPrint(name);
        if (auto* app = ui::Application::shared(); app && self)
            app->setStatusBarStyle(self->statusBarStyle(), true);
    });
    if (!shown) {
        m_formatter.reset();
        release();
        if (application)
            application->setStatusBarStyle(m_viewer.statusBarStyle(), true);
    }
}
