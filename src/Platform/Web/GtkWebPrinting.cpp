#include "Platform/Web/GtkWebPrinting.h"

#include "Platform/Core/Path.h"
#include "Platform/Core/RunLoop.h"
#include "Platform/Core/UUID.h"

#include <cerrno>
#include <cstdio>
#include <gtk/gtk.h>
#include <memory>
#include <optional>
#include <webkit2/webkit2.h>

namespace web {

void printWebViewToPDF(WebKitWebView* view, const std::string& path, WebPage::PrintCompletion completion)
{
    // Written beside the target under a name of its own, renamed when whole.
    std::string folder = core::path::deletingLastPathComponent(path);
    std::string temporary = core::path::appendingPathComponent(folder.empty() ? "." : folder,
        "." + core::uuidString() + ".printing.pdf");
    GtkPrintSettings* settings = pdfFileSettings(temporary);
    printWebView(view, settings, nullptr, [temporary, path, completion = std::move(completion)](const core::Error* failed) {
        std::optional<core::Error> error;
        if (failed)
            error = *failed;
        else if (std::rename(temporary.c_str(), path.c_str()) != 0)
            error = core::Error::posix(errno);
        if (error)
            std::remove(temporary.c_str());
        if (completion)
            completion(error ? &*error : nullptr);
    });
    g_object_unref(settings);
}

GtkPrintSettings* pdfFileSettings(const std::string& path)
{
    GtkPrintSettings* settings = gtk_print_settings_new();
    gtk_print_settings_set_printer(settings, "Print to File");
    gchar* uri = g_filename_to_uri(path.c_str(), nullptr, nullptr);
    gtk_print_settings_set(settings, GTK_PRINT_SETTINGS_OUTPUT_URI, uri);
    g_free(uri);
    gtk_print_settings_set(settings, GTK_PRINT_SETTINGS_OUTPUT_FILE_FORMAT, "pdf");
    return settings;
}

void printWebView(WebKitWebView* view, GtkPrintSettings* settings, GtkPageSetup* setup,
    WebPage::PrintCompletion completion)
{
    struct PrintJob {
        WebPage::PrintCompletion completion;
        std::optional<core::Error> error;
    };
    auto* job = new PrintJob { std::move(completion), std::nullopt };
    WebKitPrintOperation* operation = webkit_print_operation_new(view);
    if (settings)
        webkit_print_operation_set_print_settings(operation, settings);
    if (setup)
        webkit_print_operation_set_page_setup(operation, setup);
    g_signal_connect(operation, "failed", G_CALLBACK(+[](WebKitPrintOperation*, GError* error, gpointer data) {
        static_cast<PrintJob*>(data)->error = core::Error(core::Error::CocoaDomain, 512,
            std::string("The page could not be printed: ") + (error ? error->message : ""));
    }), job);
    g_signal_connect(operation, "finished", G_CALLBACK(+[](WebKitPrintOperation* operation, gpointer data) {
        std::unique_ptr<PrintJob> job(static_cast<PrintJob*>(data));
        core::RunLoop::main().post([completion = std::move(job->completion), error = job->error] {
            if (completion)
                completion(error ? &*error : nullptr);
        });
        g_object_unref(operation);
    }), job);
    webkit_print_operation_print(operation);
}

} // namespace web
