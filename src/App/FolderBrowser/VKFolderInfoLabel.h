#pragma once

// The text in the middle of the folder browser's bottom toolbar. State 0
// shows the folder summary ("3 Items, 1 KB"); a tap cycles to the address
// at which a computer reaches the built-in server (1), then to its
// announced address (2, only while the server is announced and Wi-Fi
// reachable), then back. State 3 (the root list, which switches cycling
// off) shows both addresses on two lines. Shown addresses follow the
// server's state, the network and the announcement by themselves; the font
// follows the status bar (14 points upright, 13 turned).

#include "Platform/Core/Observation.h"
#include "Platform/UI/Label.h"

#include <memory>
#include <string>

class VKAppServerState;

class VKFolderInfoLabel : public ui::Label {
public:
    enum State { Info = 0, HostAddress = 1, AnnouncedAddress = 2, BothAddresses = 3 };
    static constexpr float FontSize = 14;
    static constexpr float LandscapeFontSize = 13;
    // Kept clear of the toolbar neighbours, at each side.
    static constexpr float NeighbourMargin = 5;

    static std::shared_ptr<VKFolderInfoLabel> create(const gfx::Rect& frame = {});
    VKFolderInfoLabel();

    const std::string& info() const { return m_info; }
    // Shown at once (and sized to fit) in state 0.
    void setInfo(std::string info);

    int state() const { return m_state; }
    void setState(int state);
    // The next state a tap leads to: up to 2 while the server is started,
    // reachable over Wi-Fi and announced, else up to 1; then 0.
    void cycleState();

    bool touchesCycleState() const { return m_touchesCycleState; }
    // Also switches the label's touches on or off.
    void setTouchesCycleState(bool cycles);
    // Where the server is (held weakly; none: stopped). Its folder screen
    // hands it over.
    void setServerState(std::weak_ptr<VKAppServerState> server) { m_server = std::move(server); }

    // In a toolbar, the room between its neighbours less NeighbourMargin at
    // each side (as the bar places them when the label is no wider than
    // that); elsewhere infinity.
    float maximumWidth() const;

    // The widest non-empty line and the sum of the non-empty lines'
    // heights, never below the size offered, and never wider than
    // maximumWidth(): a long address is cut in the middle instead.
    gfx::Size sizeThatFits(gfx::Size size) const override;
    void touchesEnded(const ui::TouchSet& touches, const ui::Event& event) override;

private:
    void networkOrServerStatusDidChange();
    void orientationWillChange(int orientation);
    void showText(const std::string& text);
    std::string addressText(int state) const;

    std::string m_info;
    int m_state = Info;
    std::weak_ptr<VKAppServerState> m_server;
    bool m_touchesCycleState = true;
    std::vector<core::Observation> m_observations;
};
