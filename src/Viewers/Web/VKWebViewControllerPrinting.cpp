// Printing a web document: a second web view, never shown, loads the
// document as the viewer did while "Preparing document..." shows; its print
// formatter then goes to the print panel.

#include "Viewers/Web/VKWebViewController.h"

#include "Shell/Interface/AlertViewAdditions.h"
#include "Shell/Interface/VKActionSheet.h"
#include "Shell/Interface/VKAlertView.h"
#include "FileModel/VKFileResource.h"
#include "Platform/Core/Localized.h"
#include "Platform/Core/Log.h"
#include "Platform/UI/Application.h"
#include "Platform/UI/PrintInteractionController.h"
#include "Platform/Web/WebPrintFormatter.h"

#include <fmt/format.h>

void VKWebViewController::actionSheetClickedButtonWithTag(VKActionSheet& sheet, int tag)
{
    if (tag == PrintButtonTag)
        printFile(shared_from_this());
    else
        VKDocumentViewController::actionSheetClickedButtonWithTag(sheet, tag);
}

std::shared_ptr<ui::PrintFormatter> VKWebViewController::printFormatter()
{
    // Offered while a document shows; what prints is the hidden view's page.
    if (m_printingFormatter)
        return m_printingFormatter;
    return m_webView && contentDidLoad() ? m_webView->printFormatter() : nullptr;
}

void VKWebViewController::printFile(const std::shared_ptr<core::Object>&)
{
    if (!resource() || m_tempPrintingView)
        return;
    m_tempPrintingView = VKWebView::create(view()->bounds());
    m_tempPrintingView->setDelegate(std::static_pointer_cast<web::WebViewDelegate>(sharedAs<VKWebViewController>()));
    m_tempPrintingView->setScalesPageToFit(true);
    m_printingAlertView = VKAlertView::create(core::localized("Printing"), core::localized("Preparing document..."),
        std::static_pointer_cast<ui::AlertViewDelegate>(sharedAs<VKWebViewController>()), core::localized("Cancel"));
    m_printingAlertView->addActivityIndicator();
    m_printingAlertView->show();
    loadDocument(*m_tempPrintingView);
}

void VKWebViewController::releasePrintingView()
{
    if (!m_tempPrintingView)
        return;
    m_tempPrintingView->setDelegate({});
    m_tempPrintingView->cancelRTFConversion();
    if (m_tempPrintingView->isLoading())
        m_tempPrintingView->stopLoading();
    m_tempPrintingView.reset();
}

void VKWebViewController::dismissPrintingAlertView()
{
    if (!m_printingAlertView)
        return;
    auto alert = std::move(m_printingAlertView);
    alert->setDelegate({});
    alert->dismiss(0, true);
}

void VKWebViewController::clickedButton(ui::AlertView& alert, int)
{
    if (&alert != m_printingAlertView.get())
        return;
    // Cancelled before the document was ready: the job ends silently.
    m_printingAlertView.reset();
    releasePrintingView();
}

void VKWebViewController::showPrintInteractionController()
{
    if (!m_tempPrintingView)
        return;
    auto& printer = ui::PrintInteractionController::shared();
    m_printingFormatter = m_tempPrintingView->printFormatter();
    printer.setPrintingItem({});
    printer.setPrintFormatter(m_printingFormatter);
    auto* application = ui::Application::shared();
    if (application)
        application->setStatusBarStyle(ui::Application::StatusBarStyle::Default, true);
    std::weak_ptr<VKWebViewController> weak = sharedAs<VKWebViewController>();
    std::string name = resource()->name();
    bool shown = printer.present(true, [weak, name](ui::PrintInteractionController& controller, bool,
                                           const core::Error* error) {
        if (error)
            core::log("printController error {}", error->description());
        if (auto formatter = controller.printFormatter())
            formatter->setView(nullptr);
        controller.setPrintFormatter(nullptr);
        auto self = weak.lock();
        if (self) {
            self->m_printingFormatter.reset();
            self->releasePrintingView();
        }
        if (error)
            showAlertViewWithTitle(core::localized("Warning"),
                fmt::format(fmt::runtime(core::localized("Failed to print \"{}\"")), name), core::localized("OK"));
        if (auto* app = ui::Application::shared(); app && self)
            app->setStatusBarStyle(self->statusBarStyle(), true);
    });
    if (!shown) {
        m_printingFormatter.reset();
        releasePrintingView();
        if (application)
            application->setStatusBarStyle(statusBarStyle(), true);
    }
}
