#pragma once

// "PDF Settings": the defaults the PDF viewer uses for a document that has
// no layout of its own, the page layout and whether the double-page layout
// sets the first page alone, each chosen in a list page. A pushed list
// takes this page's right bar button, so "Done" stays at hand.

#include "Shell/Settings/VKTableSubviewController.h"

#include <memory>

class VKSettingsListController;

class VKPDFSettingsController : public VKTableSubviewController {
public:
    static constexpr const char* DocumentViewLayoutKey = "VKDocumentViewLayout";
    static constexpr const char* DoublePageSingleFirstKey = "VKDocumentViewDoublePageSingleFirst";

    static std::shared_ptr<VKPDFSettingsController> pdfSettingsController();
    VKPDFSettingsController();

    const std::shared_ptr<VKSettingsListController>& layoutController() const { return m_layoutController; }
    const std::shared_ptr<VKSettingsListController>& doublePageController() const { return m_doublePageController; }

    // None: the settings list shows nothing beside the "PDF" row.
    std::string statusText() override { return {}; }
    void loadTableGroups() override;
    void viewWillDisappear(bool animated) override;

private:
    std::shared_ptr<VKSettingsListController> m_layoutController;
    std::shared_ptr<VKSettingsListController> m_doublePageController;
};
