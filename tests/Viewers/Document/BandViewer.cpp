#include "BandViewer.h"

#include "Platform/Core/RunLoop.h"
#include "Platform/Graphics/Font.h"
#include "Platform/UI/Label.h"

#include <algorithm>
#include <cmath>
#include <string>

namespace test {

std::shared_ptr<BandViewer> BandViewer::create(const std::shared_ptr<VKFileResource>& resource,
    const std::shared_ptr<VKViewerFolderHost>& folder, gfx::Size contentSize)
{
    auto viewer = std::make_shared<BandViewer>();
    viewer->size = contentSize;
    viewer->initWithResource(resource, folder);
    return viewer;
}

void BandViewer::loadContentView()
{
    // The content view holds the scroll view, as a viewer's does: what the
    // frame adds to it (the index, the bubble) stays put while the bands move.
    auto content = ui::View::create(view()->bounds());
    scroll = ui::ScrollView::create(content->bounds());
    scroll->setAutoresizingMask(ui::View::FlexibleWidth | ui::View::FlexibleHeight);
    content->addSubview(scroll);
    scroll->setBackgroundColor(gfx::Color::white(1));
    // The toolkit takes only real sizes; the frame hears the test's own.
    scroll->setContentSize({ std::isfinite(size.width) ? std::max(0.f, size.width) : 0.f,
        std::isfinite(size.height) ? std::max(0.f, size.height) : 0.f });
    float band = view()->bounds().height();
    if (size.width > 0 && size.height > 0 && size.height < 100000 && band > 0) {
        int index = 0;
        for (float y = 0; y < size.height; y += band, ++index) {
            auto label = ui::Label::create(gfx::Rect(0, y, size.width, std::min(band, size.height - y)),
                std::to_string(index + 1));
            label->setFont(gfx::Font::boldSystemFont(48));
            label->setTextAlignment(gfx::TextAlignment::Center);
            label->setTextColor(gfx::Color::white(0.35f));
            label->setBackgroundColor(index % 2 ? gfx::Color::white(0.93f) : gfx::Color::white(1));
            scroll->addSubview(label);
        }
    }
    setContentView(content);
    std::weak_ptr<BandViewer> weak = sharedAs<BandViewer>();
    offsetObservation = scroll->observeContentOffset([weak](const gfx::Point&, const gfx::Point&) {
        if (auto self = weak.lock(); self && !self->contentIsLoading())
            self->currentOffsetDidChange();
    });
    scroll->flashScrollIndicators();
    // Done on the next pass, as a loader's answer comes.
    std::weak_ptr<BandViewer> self = weak;
    core::RunLoop::main().performAfter(0, [self] {
        if (auto viewer = self.lock(); viewer && !viewer->waits) {
            viewer->setupNormalisedPageHeight();
            viewer->contentLoadDidSucceed();
        }
    });
}

} // namespace test
