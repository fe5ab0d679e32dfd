#pragma once

#include "App/FolderBrowser/VKFileResourceCell.h"

#include <memory>

namespace gfx {
class Image;
}
namespace ui {
class ProgressView;
}

// The row of a transfer in a folder list or the downloads list: the file
// row with a pause/resume button beside the icon, the transfer's state
// (or its progress) in place of the size, and a progress bar under the
// name. It shows a VKNetworkState; the download and upload rows bind it to
// their items and answer whether the transfer runs and what the button
// does.
class VKNetworkFileResourceCell : public VKFileResourceCell {
public:
    // Right of the size and the bar.
    static constexpr float TrailingMargin = 8;
    static constexpr float BarSpacing = 4;
    // Progress texts are refreshed at most this often.
    static constexpr double ProgressUpdateInterval = 0.25;

    static std::shared_ptr<VKNetworkFileResourceCell> create(std::string reuseIdentifier);
    explicit VKNetworkFileResourceCell(std::string reuseIdentifier);

    ui::ProgressView& progressView() const { return *m_progressView; }
    ui::Button& pauseButton() const { return *m_pauseButton; }
    // When the progress text was last refreshed (seconds since the
    // reference date); 0 before the first.
    double lastUpdateTime() const { return m_lastUpdateTime; }
    void setLastUpdateTime(double time) { m_lastUpdateTime = time; }
    // The state shown; 0 when nothing was shown since the last resource.
    int networkState() const { return m_networkState; }

    // Forgets the state shown, so the new item's state shows even when it
    // equals the old one's.
    void setResource(std::shared_ptr<VKFileResource> resource) override;
    // Shows a state when it differs from the one shown: the state's text,
    // the button's picture and whether it and the bar show.
    virtual void networkStateDidUpdate(int state);
    // The button is off while editing, and in state 6 (nothing to pause
    // while the file is put in place).
    void setEditing(bool editing, bool animated = false) override;

    // What the button does; nothing here.
    virtual void togglePause();
    // Whether the transfer runs (the button pauses it); no here.
    virtual bool isActive() const { return false; }
    // Whether the button may be touched in a state (not while editing); not
    // in state 6 here, when a download's file is put in place.
    virtual bool canTogglePauseInState(int state) const;
    virtual std::shared_ptr<gfx::Image> pauseButtonImage() const;
    virtual std::shared_ptr<gfx::Image> resumeButtonImage() const;

    void layoutSubviews() override;

    // The transfer moved on: its progress shows now, or, within the interval
    // of the last refresh, once the interval is over, so that the last
    // change shows even when no other follows it.
    void transferProgressDidChange();
    // Refreshes the progress texts; nothing here.
    virtual void showTransferProgress() {}

    // The text of a state (empty for 0, 8 and unknown states).
    static std::string labelForNetworkState(int state);

private:
    void updatePauseButtonEnabled();

    std::shared_ptr<ui::ProgressView> m_progressView;
    std::shared_ptr<ui::Button> m_pauseButton;
    double m_lastUpdateTime = 0;
    bool m_progressRefreshPending = false;
    int m_networkState = 0;
    // Whether m_networkState was shown for the current resource.
    bool m_stateShown = false;
};
