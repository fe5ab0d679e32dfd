#include "Viewers/AudioPlayer/VKAudioPlayerBar.h"

#include "Shell/Interface/BarButtonItemAdditions.h"
#include "App/Viewers/VKViewController.h"
#include "Platform/UI/BarButtonItem.h"
#include "Platform/UI/Images.h"

std::shared_ptr<gfx::Image> VKAudioPlayerBar::playImage(bool playing)
{
    return ui::Images::imageNamed(playing ? "VKButtonBarPause.png" : "VKButtonBarPlay.png");
}

std::vector<std::shared_ptr<ui::BarButtonItem>> VKAudioPlayerBar::makeItems(const std::shared_ptr<core::Object>& target,
    bool playing, bool canPlay)
{
    auto weak = m_host;
    auto item = [&](ui::BarButtonItem::SystemItem kind, const char* action,
                    void (VKAudioPlayerBarHost::*run)(const std::shared_ptr<core::Object>&)) {
        return barButtonSystemItem(kind, target, action, [weak, run](ui::BarButtonItem& sender) {
            if (auto host = weak.lock())
                ((*host).*run)(sender.shared_from_this());
        });
    };
    m_playItem = barButtonItemWithImage(playImage(playing), ui::BarButtonItem::Style::Plain, target, TogglePlayAction,
        [weak](ui::BarButtonItem& sender) {
            if (auto host = weak.lock())
                host->togglePlay(sender.shared_from_this());
        });
    m_playItem->setEnabled(canPlay);
    return {
        item(ui::BarButtonItem::SystemItem::Action, VKViewController::ShowDocumentActionSheetAction,
            &VKAudioPlayerBarHost::showDocumentActionSheet),
        flexibleSpaceBarButtonItem(),
        item(ui::BarButtonItem::SystemItem::Rewind, "handlePrevious", &VKAudioPlayerBarHost::handlePrevious),
        flexibleSpaceBarButtonItem(),
        m_playItem,
        flexibleSpaceBarButtonItem(),
        item(ui::BarButtonItem::SystemItem::FastForward, "handleNext", &VKAudioPlayerBarHost::handleNext),
        flexibleSpaceBarButtonItem(),
        fixedSpaceBarButtonItemWithWidth(32),
    };
}

void VKAudioPlayerBar::setCanPlay(bool canPlay)
{
    if (m_playItem)
        m_playItem->setEnabled(canPlay);
}
