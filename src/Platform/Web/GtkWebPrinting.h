#pragma once

// Printing a GTK engine's page: WebKit's asynchronous print operation, with
// the printer and paper given or through GTK's print-to-file printer into a
// PDF. GTK's and WebKit's types are only declared here.

#include "Platform/Web/WebPage.h"

#include <string>

typedef struct _WebKitWebView WebKitWebView;
typedef struct _GtkPrintSettings GtkPrintSettings;
typedef struct _GtkPageSetup GtkPageSetup;

namespace web {

// Prints `view` with `settings` (the printer they name) on `setup`'s paper
// (null: the defaults); the completion runs on a later pass.
void printWebView(WebKitWebView* view, GtkPrintSettings* settings, GtkPageSetup* setup,
    WebPage::PrintCompletion completion);
// Prints `view` into a PDF at `path`: written beside it under a name of its
// own and renamed when whole; nothing is left behind on failure.
void printWebViewToPDF(WebKitWebView* view, const std::string& path, WebPage::PrintCompletion completion);
// Settings printing into a PDF at `path` through GTK's file printer (a new
// reference).
GtkPrintSettings* pdfFileSettings(const std::string& path);

} // namespace web
