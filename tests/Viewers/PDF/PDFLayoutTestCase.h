#pragma once

// The page layouts' tests: a data source over page sizes (plain views, or
// page views of a built document), a delegate that records what it hears,
// and a fixture that hosts a layout in the key window.

#include "Viewers/PDF/VKDocumentView.h"
#include "Viewers/PDF/VKDocumentViewDataSource.h"
#include "Viewers/PDF/VKDocumentViewDelegate.h"

#include "PDF/VKPDFDocument.h"
#include "Platform/Core/Data.h"
#include "Platform/UI/View.h"
#include "Support/UITestCase.h"

#include <memory>
#include <string>
#include <vector>

namespace test {

class LayoutDataSource : public core::Object, public VKDocumentViewDataSource {
public:
    size_t numberOfPagesInDocumentView(VKDocumentView&) override
    {
        ++countAsked;
        return document ? document->numPages() : sizes.size();
    }
    gfx::Size documentViewSizeForPageAtIndex(VKDocumentView&, size_t index) override;
    std::shared_ptr<ui::View> documentViewViewForPageAtIndex(VKDocumentView&, size_t index) override;
    std::optional<std::string> documentViewTitleForPageAtIndex(VKDocumentView&, size_t index) override
    {
        return "Chapter " + std::to_string(index + 1);
    }
    unsigned maxDepthForDocumentView(VKDocumentView&) override { return 3; }
    gfx::Size documentViewThumbnailSizeForIndex(VKDocumentView&, size_t) override { return { 77, 100 }; }
    std::shared_ptr<gfx::Image> documentViewThumbnailImageForIndex(VKDocumentView&, size_t, float length) override
    {
        lengths.push_back(length);
        return nullptr;
    }

    std::vector<gfx::Size> sizes;
    std::shared_ptr<VKPDFDocument> document;
    std::vector<size_t> viewsMade;
    std::vector<std::weak_ptr<ui::View>> madeViews;
    std::vector<float> lengths;
    size_t sizesAsked = 0;
    size_t countAsked = 0;
};

class LayoutDelegate : public core::Object, public VKDocumentViewDelegate {
public:
    void documentViewScrollViewWillBeginDragging(VKDocumentView&, ui::ScrollView&) override { ++drags; }
    void documentViewDidIgnorePaging(VKDocumentView&, int direction) override { ignored.push_back(direction); }
    void documentViewWillAddPageView(VKDocumentView&, ui::View& view, size_t index) override
    {
        added.push_back(index);
        addedHadSuperview.push_back(view.superview() != nullptr);
    }
    int drags = 0;
    std::vector<int> ignored;
    std::vector<size_t> added;
    std::vector<bool> addedHadSuperview;
};

// A document of `count` pages of the given box, each with a line of text.
core::Data textDocument(int count, const std::string& mediaBox = "0 0 612 792", const std::string& extra = {});

class PDFLayoutTestCase : public UITestCase {
protected:
    void SetUp() override;
    void TearDown() override;

    std::shared_ptr<LayoutDataSource> source = std::make_shared<LayoutDataSource>();
    std::shared_ptr<LayoutDelegate> delegate = std::make_shared<LayoutDelegate>();
};

} // namespace test
