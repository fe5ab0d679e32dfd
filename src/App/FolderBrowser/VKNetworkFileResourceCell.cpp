#include "App/FolderBrowser/VKNetworkFileResourceCell.h"

#include "Shell/Interface/ButtonAdditions.h"
#include "Cloud/VKNetworkState.h"
#include "Platform/Core/Date.h"
#include "Platform/Core/Localized.h"
#include "Platform/Core/RunLoop.h"
#include "Platform/UI/Button.h"
#include "Platform/UI/ImageView.h"
#include "Platform/UI/Images.h"
#include "Platform/UI/Label.h"
#include "Platform/UI/ProgressView.h"

#include <cmath>
#include <utility>

std::shared_ptr<VKNetworkFileResourceCell> VKNetworkFileResourceCell::create(std::string reuseIdentifier)
{
    return ui::View::make<VKNetworkFileResourceCell>(gfx::Rect { 0, 0, 320, RowHeight }, std::move(reuseIdentifier));
}

VKNetworkFileResourceCell::VKNetworkFileResourceCell(std::string reuseIdentifier)
    : VKFileResourceCell(std::move(reuseIdentifier))
{
    m_progressView = ui::ProgressView::create(ui::ProgressView::Style::Default);
    m_progressView->sizeToFit();
    contentView().addSubview(m_progressView);
    m_pauseButton = buttonWithImage(pauseButtonImage());
    // The button reaches its row through its superviews: it holds nothing
    // of the cell.
    m_pauseButton->addTarget(nullptr, "togglePause", [](ui::Control& button, const ui::Event*) {
        for (ui::View* view = button.superview(); view; view = view->superview())
            if (auto* cell = dynamic_cast<VKNetworkFileResourceCell*>(view)) {
                cell->togglePause();
                return;
            }
    }, ui::Control::TouchUpInside);
    contentView().addSubview(m_pauseButton);
    setAccessoryType(Accessory::None);
    modificationDateLabel().setHidden(true);
}

std::string VKNetworkFileResourceCell::labelForNetworkState(int state)
{
    const char* key = nullptr;
    switch (state) {
    case VKNetworkStateChecking:
    case VKNetworkStateWaiting:
        key = "Waiting...";
        break;
    case VKNetworkStateConnecting:
        key = "Connecting...";
        break;
    case VKNetworkStateDownloading:
        key = "Downloading...";
        break;
    case VKNetworkStateUploading:
        key = "Uploading...";
        break;
    case VKNetworkStateFinalizing:
        key = "Finalising...";
        break;
    case VKNetworkStatePaused:
        key = "Paused";
        break;
    case VKNetworkStateFailed:
        key = "Failed";
        break;
    default:
        return {};
    }
    return core::localized(key, "WebBrowser");
}

void VKNetworkFileResourceCell::transferProgressDidChange()
{
    double wait = m_lastUpdateTime + ProgressUpdateInterval - core::Date::now().timeIntervalSinceReferenceDate();
    if (wait < 0) {
        showTransferProgress();
        return;
    }
    if (std::exchange(m_progressRefreshPending, true))
        return;
    core::RunLoop::current().performAfter(sharedAs<VKNetworkFileResourceCell>(), wait, [](VKNetworkFileResourceCell& self) {
        self.m_progressRefreshPending = false;
        self.showTransferProgress();
    });
}

void VKNetworkFileResourceCell::setResource(std::shared_ptr<VKFileResource> resource)
{
    m_networkState = VKNetworkStateNone;
    m_stateShown = false;
    VKFileResourceCell::setResource(std::move(resource));
}

void VKNetworkFileResourceCell::networkStateDidUpdate(int state)
{
    if (m_stateShown && state == m_networkState)
        return;
    m_networkState = state;
    m_stateShown = true;
    bool hidden = state == VKNetworkStateNone || state == VKNetworkStateDone;
    m_pauseButton->setHidden(hidden);
    if (!hidden) {
        auto image = isActive() ? pauseButtonImage() : resumeButtonImage();
        m_pauseButton->setImage(image, ui::Control::Normal);
    }
    m_progressView->setHidden(hidden);
    bool transferring = state == VKNetworkStateDownloading || state == VKNetworkStateUploading;
    m_progressView->setAlpha(transferring ? 1.0f : 0.5f);
    updatePauseButtonEnabled();
    sizeLabel().setText(labelForNetworkState(state));
    setNeedsLayout();
}

bool VKNetworkFileResourceCell::canTogglePauseInState(int state) const
{
    return state != VKNetworkStateFinalizing;
}

void VKNetworkFileResourceCell::updatePauseButtonEnabled()
{
    m_pauseButton->setEnabled(!isEditing() && canTogglePauseInState(m_networkState));
}

void VKNetworkFileResourceCell::setEditing(bool editing, bool animated)
{
    VKFileResourceCell::setEditing(editing, animated);
    updatePauseButtonEnabled();
}

void VKNetworkFileResourceCell::togglePause()
{
}

std::shared_ptr<gfx::Image> VKNetworkFileResourceCell::pauseButtonImage() const
{
    return ui::Images::imageNamed("VKTableCellPause.png");
}

std::shared_ptr<gfx::Image> VKNetworkFileResourceCell::resumeButtonImage() const
{
    return ui::Images::imageNamed("VKTableCellResume.png");
}

void VKNetworkFileResourceCell::layoutSubviews()
{
    VKFileResourceCell::layoutSubviews();
    gfx::Rect content = contentView().bounds();
    float shift = 0;
    if (!m_pauseButton->isHidden()) {
        gfx::Rect button = m_pauseButton->bounds();
        gfx::Rect icon = iconView().frame();
        shift = button.width();
        m_pauseButton->setFrame({ icon.maxX(), std::floor((content.height() - button.height()) / 2), button.width(),
            button.height() });
        gfx::Rect title = titleLabel().frame();
        titleLabel().setFrame({ title.x() + shift, title.y() - 4, std::max(0.0f, title.width() - shift), title.height() });
    }
    gfx::Rect size = sizeLabel().frame();
    float sizeX = size.x() + shift;
    size = { sizeX, size.y(), std::max(0.0f, content.width() - TrailingMargin - sizeX), size.height() };
    if (!m_progressView->isHidden()) {
        gfx::Rect title = titleLabel().frame();
        gfx::Rect bar = m_progressView->frame();
        float barRight = modificationDateLabel().frame().maxX() - TrailingMargin;
        m_progressView->setFrame({ sizeX, title.maxY(), std::max(0.0f, barRight - sizeX), bar.height() });
        size = { sizeX, m_progressView->frame().maxY() + BarSpacing, size.width(), size.height() };
    }
    sizeLabel().setFrame(size);
}
