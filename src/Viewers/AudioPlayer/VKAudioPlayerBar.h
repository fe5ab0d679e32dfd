#pragma once

#include <memory>
#include <vector>

namespace core {
class Object;
}
namespace gfx {
class Image;
}
namespace ui {
class BarButtonItem;
}

// What the bar's buttons ask of the screen that owns them; a sender is
// the bar item used.
class VKAudioPlayerBarHost {
public:
    virtual ~VKAudioPlayerBarHost() = default;
    virtual void showDocumentActionSheet(const std::shared_ptr<core::Object>& sender) = 0;
    virtual void handlePrevious(const std::shared_ptr<core::Object>& sender) = 0;
    virtual void togglePlay(const std::shared_ptr<core::Object>& sender) = 0;
    virtual void handleNext(const std::shared_ptr<core::Object>& sender) = 0;
};

// The audio player's bottom bar: the document's actions, previous,
// play/pause (its image says which, and it is enabled only with a
// player), next, spaced evenly. The screen owns it and names itself as the
// items' target; the bar holds the screen weakly.
class VKAudioPlayerBar {
public:
    static constexpr const char* TogglePlayAction = "togglePlay";

    void setHost(std::weak_ptr<VKAudioPlayerBarHost> host) { m_host = std::move(host); }
    static std::shared_ptr<gfx::Image> playImage(bool playing);

    std::vector<std::shared_ptr<ui::BarButtonItem>> makeItems(const std::shared_ptr<core::Object>& target, bool playing,
        bool canPlay);
    // The play item of the last items made.
    void setCanPlay(bool canPlay);

private:
    std::weak_ptr<VKAudioPlayerBarHost> m_host;
    std::shared_ptr<ui::BarButtonItem> m_playItem;
};
