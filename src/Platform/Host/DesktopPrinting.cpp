#include "Platform/Host/DesktopPrinting.h"

#include "Platform/Core/Data.h"
#include "Platform/Core/Error.h"
#include "Platform/Core/Localized.h"
#include "Platform/Core/Log.h"
#include "Platform/Core/RunLoop.h"
#include "Platform/Core/URL.h"
#include "Platform/Graphics/CairoContext.h"
#include "Platform/Graphics/Image.h"
#include "Platform/UI/AlertView.h"
#include "Platform/Host/GuardedCallback.h"
#include "Platform/UI/PrintFormatter.h"
#include "Platform/UI/PrintInteractionController.h"
#include "Platform/UI/Renderer.h"
#include "Platform/UI/View.h"
#include "Platform/Web/GtkWebPage.h"
#include "Platform/Web/WebPrintFormatter.h"
#include "Platform/Web/WebView.h"

#include <algorithm>
#include <cmath>
#include <gtk/gtk.h>
#include <gtk/gtkunixprint.h>
#include <poppler.h>
#include <variant>

namespace ui {

namespace {

GtkWindow* parentWindow = nullptr;
std::string exportPath;

// One presentation of the panel as its job sees it: the controller it
// completes, and the dialog and operation it runs while they live, so that
// dismissing the panel closes the dialog and a later answer neither prints
// nor completes another presentation.
struct Presentation {
    std::weak_ptr<core::Object> controller;
    bool dismissed = false;
    GWeakRef dialog;
    GWeakRef operation;

    explicit Presentation(std::weak_ptr<core::Object> owner)
        : controller(std::move(owner))
    {
        g_weak_ref_init(&dialog, nullptr);
        g_weak_ref_init(&operation, nullptr);
    }
    ~Presentation()
    {
        g_weak_ref_clear(&dialog);
        g_weak_ref_clear(&operation);
    }
    Presentation(const Presentation&) = delete;
    Presentation& operator=(const Presentation&) = delete;

    void dismiss()
    {
        dismissed = true;
        if (auto* running = static_cast<GtkPrintOperation*>(g_weak_ref_get(&operation))) {
            gtk_print_operation_cancel(running);
            g_object_unref(running);
        }
        if (auto* shown = static_cast<GtkWidget*>(g_weak_ref_get(&dialog))) {
            g_weak_ref_set(&dialog, nullptr);
            // Answered as Escape would, so that GTK ends its operation.
            gtk_dialog_response(GTK_DIALOG(shown), GTK_RESPONSE_CANCEL);
            g_object_unref(shown);
        }
    }
};

void watchDialog(const std::shared_ptr<Presentation>& presentation, GtkWidget* widget)
{
    g_weak_ref_set(&presentation->dialog, widget);
    // A destroyed dialog answers nothing more, though it may live on.
    g_signal_connect_data(widget, "destroy", G_CALLBACK(+[](GtkWidget*, gpointer data) {
        if (auto owner = static_cast<std::weak_ptr<Presentation>*>(data)->lock())
            g_weak_ref_set(&owner->dialog, nullptr);
    }), new std::weak_ptr<Presentation>(presentation),
        [](gpointer data, GClosure*) { delete static_cast<std::weak_ptr<Presentation>*>(data); }, GConnectFlags(0));
}

std::vector<GtkWidget*> printDialogs()
{
    std::vector<GtkWidget*> found;
    GList* windows = gtk_window_list_toplevels();
    for (GList* item = windows; item; item = item->next)
        if (GTK_IS_PRINT_UNIX_DIALOG(item->data))
            found.push_back(GTK_WIDGET(item->data));
    g_list_free(windows);
    return found;
}

// One sheet's worth: a PDF page, an image, a band of a view, or a page a
// formatter lays out itself.
struct Sheet {
    PopplerPage* page = nullptr;
    std::shared_ptr<gfx::Image> image;
    std::shared_ptr<View> view;
    int band = 0;
    std::shared_ptr<PrintFormatter> formatter;
};

struct Job {
    std::shared_ptr<Presentation> presentation;
    std::vector<PopplerDocument*> documents;
    std::vector<std::shared_ptr<gfx::Image>> images;
    std::shared_ptr<View> view;
    std::shared_ptr<PrintFormatter> formatter;
    std::vector<Sheet> sheets;
    bool finished = false;
    // A reference to the operation kept while it runs on its own.
    bool held = false;

    ~Job()
    {
        for (auto& sheet : sheets)
            if (sheet.page)
                g_object_unref(sheet.page);
        for (auto* document : documents)
            g_object_unref(document);
    }

    void add(const core::Value& item)
    {
        PopplerDocument* document = nullptr;
        if (item.isData()) {
            const core::Data& data = item.data();
            if (data.size() >= 4 && std::string_view(data.chars(), 4) == "%PDF") {
                GBytes* bytes = g_bytes_new(data.bytes(), data.size());
                document = poppler_document_new_from_bytes(bytes, nullptr, nullptr);
                g_bytes_unref(bytes);
            } else if (auto image = gfx::Image::imageWithData(data)) {
                images.push_back(image);
            }
        } else if (item.isString()) {
            auto url = core::URL::parse(item.string());
            if (!url || !url->isFileURL())
                return;
            std::string path = url->filePath();
            std::string lower = path;
            std::transform(lower.begin(), lower.end(), lower.begin(), [](unsigned char c) { return char(std::tolower(c)); });
            if (lower.size() > 4 && lower.compare(lower.size() - 4, 4, ".pdf") == 0) {
                gchar* uri = g_filename_to_uri(path.c_str(), nullptr, nullptr);
                if (uri)
                    document = poppler_document_new_from_file(uri, nullptr, nullptr);
                g_free(uri);
            } else if (auto image = gfx::Image::imageWithContentsOfFile(path)) {
                images.push_back(image);
            }
        }
        if (document) {
            documents.push_back(document);
            for (int i = 0; i < poppler_document_get_n_pages(document); ++i)
                sheets.push_back({ poppler_document_get_page(document, i), nullptr, nullptr, 0, nullptr });
        } else if (!images.empty() && (sheets.empty() || sheets.back().image != images.back())) {
            sheets.push_back({ nullptr, images.back(), nullptr, 0, nullptr });
        }
    }
};

void showError(const std::string& message)
{
    auto alert = AlertView::create(core::localized("Cannot Print", "Toolkit"), message, {}, core::localized("OK", "Toolkit"));
    alert->show();
}

// A view's bands: the sheet's width holds the view's width.
int bandsOf(const View& view, double width, double height)
{
    gfx::Rect b = view.bounds();
    if (b.width() <= 0 || b.height() <= 0 || width <= 0 || height <= 0)
        return 0;
    double bandHeight = height * b.width() / width;
    return std::max(1, int(std::ceil(b.height() / bandHeight - 1e-6)));
}

void onBeginPrint(GtkPrintOperation* operation, GtkPrintContext* context, gpointer data)
{
    auto* job = static_cast<Job*>(data);
    gfx::Size page { float(gtk_print_context_get_width(context)), float(gtk_print_context_get_height(context)) };
    if (int pages = job->formatter ? job->formatter->pageCount(page) : 0; pages > 0) {
        for (int i = 0; i < pages; ++i)
            job->sheets.push_back({ nullptr, nullptr, nullptr, i, job->formatter });
    } else if (job->view) {
        int bands = bandsOf(*job->view, gtk_print_context_get_width(context), gtk_print_context_get_height(context));
        for (int i = 0; i < bands; ++i)
            job->sheets.push_back({ nullptr, nullptr, job->view, i, nullptr });
    }
    gtk_print_operation_set_n_pages(operation, std::max<int>(1, int(job->sheets.size())));
}

void onDrawPage(GtkPrintOperation*, GtkPrintContext* context, gint index, gpointer data)
{
    auto* job = static_cast<Job*>(data);
    if (index < 0 || size_t(index) >= job->sheets.size())
        return;
    Sheet& sheet = job->sheets[size_t(index)];
    cairo_t* cr = gtk_print_context_get_cairo_context(context);
    double width = gtk_print_context_get_width(context), height = gtk_print_context_get_height(context);
    double dpi = gtk_print_context_get_dpi_x(context);
    float pixels = float(dpi > 0 ? dpi / 72 : 1);
    auto fitted = [&](double w, double h) {
        double s = std::min(width / w, height / h);
        return std::tuple<double, double, double>(s, (width - w * s) / 2, (height - h * s) / 2);
    };
    cairo_save(cr);
    if (sheet.page) {
        double w = 0, h = 0;
        poppler_page_get_size(sheet.page, &w, &h);
        if (w > 0 && h > 0) {
            auto [s, x, y] = fitted(w, h);
            cairo_translate(cr, x, y);
            cairo_scale(cr, s, s);
            poppler_page_render_for_printing(sheet.page, cr);
        }
    } else if (sheet.image) {
        gfx::Size size = sheet.image->size();
        if (size.width > 0 && size.height > 0) {
            auto [s, x, y] = fitted(size.width, size.height);
            gfx::CairoContext drawing(cr, gfx::AffineTransform::identity(), pixels);
            drawing.drawImage({ float(x), float(y), float(size.width * s), float(size.height * s) }, *sheet.image);
        }
    } else if (sheet.formatter) {
        cairo_rectangle(cr, 0, 0, width, height);
        cairo_clip(cr);
        gfx::CairoContext drawing(cr, gfx::AffineTransform::identity(), pixels);
        sheet.formatter->drawPage(drawing, sheet.band, { float(width), float(height) });
    } else if (sheet.view) {
        gfx::Rect b = sheet.view->bounds();
        float s = float(width / b.width());
        float bandHeight = float(height) / s;
        gfx::AffineTransform t = gfx::AffineTransform::translation(0, -bandHeight * float(sheet.band))
                                     .concatenating(gfx::AffineTransform::scale(s, s));
        cairo_rectangle(cr, 0, 0, width, height);
        cairo_clip(cr);
        gfx::CairoContext drawing(cr, t, s * pixels);
        RenderOptions options;
        options.realText = true;
        Renderer::render(*sheet.view, drawing, options);
    }
    cairo_restore(cr);
}

// The panel's outcome: done, cancelled, or failed with `message` (logged
// and shown under "Cannot Print"). A dismissed panel completed already.
void complete(const Presentation& presentation, bool done, const std::string* message = nullptr, int code = -1)
{
    if (presentation.dismissed)
        return;
    auto object = presentation.controller.lock();
    auto* controller = static_cast<PrintInteractionController*>(object.get());
    if (message) {
        core::log("Printing failed: {}", *message);
        showError(*message);
        core::Error error("ui.DesktopPrinting", code, *message);
        if (controller)
            controller->finish(false, &error);
        return;
    }
    if (controller)
        controller->finish(done, nullptr);
}

void finishJob(GtkPrintOperation* operation, GtkPrintOperationResult result, Job& job)
{
    if (result == GTK_PRINT_OPERATION_RESULT_ERROR) {
        GError* gerror = nullptr;
        gtk_print_operation_get_error(operation, &gerror);
        std::string message = gerror && gerror->message ? gerror->message : "The print operation failed.";
        complete(*job.presentation, false, &message, gerror ? gerror->code : -1);
        return;
    }
    complete(*job.presentation, result == GTK_PRINT_OPERATION_RESULT_APPLY);
}

void onDone(GtkPrintOperation* operation, GtkPrintOperationResult result, gpointer data)
{
    auto* job = static_cast<Job*>(data);
    if (std::exchange(job->finished, true))
        return;
    finishJob(operation, result, *job);
    // Last: the job goes with the operation.
    if (std::exchange(job->held, false))
        g_object_unref(operation);
}

// A web page prints through the engine's own print operation. Its dialog
// would run a loop of its own, so GTK's print dialog is shown here without
// one and its choice handed to the engine.
struct WebJob {
    std::shared_ptr<Presentation> presentation;
    std::weak_ptr<web::WebView> view;
    bool answered = false;
};

web::GtkWebPage* gtkPageOf(const std::shared_ptr<web::WebView>& view)
{
    return view ? dynamic_cast<web::GtkWebPage*>(&view->page()) : nullptr;
}

void webPrinted(const Presentation& presentation, const core::Error* error)
{
    if (error) {
        std::string message = error->localizedDescription();
        complete(presentation, false, &message, int(error->code()));
    } else {
        complete(presentation, true);
    }
}

void onWebDialogResponse(GtkDialog* dialog, gint response, gpointer data)
{
    auto* job = static_cast<WebJob*>(data);
    if (std::exchange(job->answered, true))
        return;
    auto* page = gtkPageOf(job->view.lock());
    if (response == GTK_RESPONSE_OK && page && !job->presentation->dismissed) {
        GtkPrintUnixDialog* printDialog = GTK_PRINT_UNIX_DIALOG(dialog);
        GtkPrintSettings* settings = gtk_print_unix_dialog_get_settings(printDialog);
        if (GtkPrinter* printer = gtk_print_unix_dialog_get_selected_printer(printDialog))
            gtk_print_settings_set_printer(settings, gtk_printer_get_name(printer));
        page->print(settings, gtk_print_unix_dialog_get_page_setup(printDialog),
            [presentation = job->presentation](const core::Error* error) { webPrinted(*presentation, error); });
        g_object_unref(settings);
    } else if (response == GTK_RESPONSE_OK) {
        std::string message = "There is no page to print.";
        complete(*job->presentation, false, &message);
    } else {
        complete(*job->presentation, false);
    }
    gtk_widget_destroy(GTK_WIDGET(dialog));
}

bool printWebPage(PrintInteractionController& controller, const std::shared_ptr<web::WebPrintFormatter>& formatter)
{
    auto view = formatter && formatter->hasContent() ? formatter->webView() : nullptr;
    if (!gtkPageOf(view))
        return false;
    auto presentation = std::make_shared<Presentation>(controller.weak_from_this());
    controller.setDismissHandler([presentation] { presentation->dismiss(); });
    if (!exportPath.empty()) {
        formatter->printToPDF(exportPath, [presentation](const core::Error* error) { webPrinted(*presentation, error); });
        return true;
    }
    const char* title = controller.printInfo().jobName.empty() ? "Print" : controller.printInfo().jobName.c_str();
    GtkWidget* dialog = gtk_print_unix_dialog_new(title, parentWindow);
    GtkPrintUnixDialog* printDialog = GTK_PRINT_UNIX_DIALOG(dialog);
    gtk_print_unix_dialog_set_embed_page_setup(printDialog, TRUE);
    gtk_print_unix_dialog_set_manual_capabilities(printDialog,
        GtkPrintCapabilities(GTK_PRINT_CAPABILITY_PAGE_SET | GTK_PRINT_CAPABILITY_COPIES | GTK_PRINT_CAPABILITY_COLLATE
            | GTK_PRINT_CAPABILITY_REVERSE | GTK_PRINT_CAPABILITY_SCALE | GTK_PRINT_CAPABILITY_NUMBER_UP
            | GTK_PRINT_CAPABILITY_NUMBER_UP_LAYOUT));
    GtkPageSetup* setup = gtk_page_setup_new();
    gtk_page_setup_set_orientation(setup,
        controller.printInfo().orientation == 1 ? GTK_PAGE_ORIENTATION_LANDSCAPE : GTK_PAGE_ORIENTATION_PORTRAIT);
    gtk_print_unix_dialog_set_page_setup(printDialog, setup);
    g_object_unref(setup);
    gtk_window_set_modal(GTK_WINDOW(dialog), TRUE);
    gtk_window_set_destroy_with_parent(GTK_WINDOW(dialog), TRUE);
    // A dialog that goes unanswered (its window went) leaves the job
    // unfinished.
    g_signal_connect_data(dialog, "response", G_CALLBACK(GuardedCallback<onWebDialogResponse>::call), new WebJob { presentation, view, false },
        [](gpointer data, GClosure*) {
            std::unique_ptr<WebJob> job(static_cast<WebJob*>(data));
            if (!job->answered)
                core::RunLoop::main().post([presentation = job->presentation] { complete(*presentation, false); });
        },
        GConnectFlags(0));
    watchDialog(presentation, dialog);
    gtk_widget_show(dialog);
    return true;
}

} // namespace

void DesktopPrinting::install(void* parent)
{
    parentWindow = GTK_WINDOW(parent);
    PrintInteractionController::setPrintingAvailable(true);
    PrintInteractionController::setPrinter([](PrintInteractionController& controller) { print(controller); });
}

void DesktopPrinting::uninstall()
{
    parentWindow = nullptr;
    PrintInteractionController::setPrinter({});
    PrintInteractionController::setPrintingAvailable(false);
}

void DesktopPrinting::setExportPathForTesting(std::string path)
{
    exportPath = std::move(path);
}

void DesktopPrinting::print(PrintInteractionController& controller)
{
    if (printWebPage(controller, std::dynamic_pointer_cast<web::WebPrintFormatter>(controller.printFormatter())))
        return;
    auto job = std::make_unique<Job>();
    job->presentation = std::make_shared<Presentation>(controller.weak_from_this());
    auto presentation = job->presentation;
    controller.setDismissHandler([presentation] { presentation->dismiss(); });
    if (!controller.printingItem().isNull())
        job->add(controller.printingItem());
    for (auto& item : controller.printingItems())
        job->add(item);
    if (auto formatter = controller.printFormatter(); formatter && formatter->hasContent()) {
        job->view = formatter->view();
        job->formatter = formatter;
    }

    GtkPrintOperation* operation = gtk_print_operation_new();
    gtk_print_operation_set_unit(operation, GTK_UNIT_POINTS);
    gtk_print_operation_set_allow_async(operation, TRUE);
    gtk_print_operation_set_embed_page_setup(operation, TRUE);
    if (!controller.printInfo().jobName.empty())
        gtk_print_operation_set_job_name(operation, controller.printInfo().jobName.c_str());
    GtkPageSetup* setup = gtk_page_setup_new();
    gtk_page_setup_set_orientation(setup,
        controller.printInfo().orientation == 1 ? GTK_PAGE_ORIENTATION_LANDSCAPE : GTK_PAGE_ORIENTATION_PORTRAIT);
    gtk_print_operation_set_default_page_setup(operation, setup);
    g_object_unref(setup);
    Job* raw = job.release();
    // The job lives as long as the operation.
    g_object_set_data_full(G_OBJECT(operation), "tandry-job", raw, [](gpointer data) { delete static_cast<Job*>(data); });
    g_signal_connect(operation, "begin-print", G_CALLBACK(GuardedCallback<onBeginPrint>::call), raw);
    g_signal_connect(operation, "draw-page", G_CALLBACK(GuardedCallback<onDrawPage>::call), raw);
    g_signal_connect(operation, "done", G_CALLBACK(GuardedCallback<onDone>::call), raw);

    GtkPrintOperationAction action = GTK_PRINT_OPERATION_ACTION_PRINT_DIALOG;
    if (!exportPath.empty()) {
        gtk_print_operation_set_export_filename(operation, exportPath.c_str());
        action = GTK_PRINT_OPERATION_ACTION_EXPORT;
    }
    GError* error = nullptr;
    // The reference made with the operation is dropped when it is done;
    // this call keeps one of its own until it returns.
    raw->held = true;
    g_object_ref(operation);
    g_weak_ref_set(&presentation->operation, operation);
    const auto before = printDialogs();
    GtkPrintOperationResult result = gtk_print_operation_run(operation, action, parentWindow, &error);
    // GTK's dialog, made by the call, is the one the panel's dismissal closes.
    if (result == GTK_PRINT_OPERATION_RESULT_IN_PROGRESS && !presentation->dismissed)
        for (GtkWidget* dialog : printDialogs())
            if (std::find(before.begin(), before.end(), dialog) == before.end())
                watchDialog(presentation, dialog);
    if (error)
        g_error_free(error);
    if (result != GTK_PRINT_OPERATION_RESULT_IN_PROGRESS)
        onDone(operation, result, raw); // GTK may have told already; the job answers once
    g_object_unref(operation);
}

} // namespace ui
