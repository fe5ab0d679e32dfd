#pragma once

// The document frame's test viewer: the frame's contract answered by a
// scroll view of numbered bands. Shared by the tests and the desktop check's
// program.

#include "Viewers/Document/VKDocumentViewController.h"

#include "Platform/Core/Observation.h"
#include "Platform/UI/ScrollView.h"

#include <memory>

namespace test {

// The content: a scroll view of numbered bands `size` high, each as high
// as the view, in a content view of its own. Loads at once unless told to wait.
class BandViewer : public VKDocumentViewController {
public:
    static std::shared_ptr<BandViewer> create(const std::shared_ptr<VKFileResource>& resource,
        const std::shared_ptr<VKViewerFolderHost>& folder, gfx::Size contentSize);

    gfx::Point contentOffset() override { return scroll->contentOffset(); }
    void setContentOffset(gfx::Point offset) override { scroll->setContentOffset(offset); }
    gfx::Size contentSize() override { return size; }
    ui::View* verticalScrollIndicator() override { return scroll->verticalScrollIndicator(); }
    void loadContentView() override;
    int documentViewLayout() const override { return layout; }
    float contentZoom() override { return zoom; }
    void setContentZoom(float value) override { zoom = value; }

    std::shared_ptr<ui::ScrollView> scroll;
    gfx::Size size;
    int layout = 1;
    float zoom = 1;
    bool waits = false;
    core::Observation offsetObservation;
};

} // namespace test
