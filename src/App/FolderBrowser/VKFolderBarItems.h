#pragma once

#include "App/FolderBrowser/VKBrowserOperation.h"

#include <functional>
#include <memory>

namespace ui {
class BarButtonItem;
class Button;
class Label;
} // namespace ui
class VKFolderBrowserServices;
class VKFolderInfoLabel;
class VKOperationProgressView;

// The bar pieces every folder screen shows: the server-state button, the
// folder-information label, the settings and help buttons and the progress
// item of the browser's running operation. The buttons send their actions
// to the application through the services handed in, looked up when
// touched. The images and the labels follow the screen's control style
// (dark for light bars), asked each time it matters.
class VKFolderBarItems {
public:
    static constexpr const char* ShowServerInfoAction = "showServerInfo";
    static constexpr const char* ShowSettingsAction = "showSettings";
    static constexpr const char* ShowHelpAction = "showHelp";
    // The server-state button's side.
    static constexpr float ServerStateButtonSize = 28;
    // The progress item is as wide as the progress view's standard size,
    // or as its text needs up to this.
    static constexpr float MaximumProgressItemWidth = 150;

    explicit VKFolderBarItems(std::function<bool()> darkStyle);
    VKFolderBarItems(const VKFolderBarItems&) = delete;
    VKFolderBarItems& operator=(const VKFolderBarItems&) = delete;

    void setServices(std::weak_ptr<VKFolderBrowserServices> services);
    bool usesDarkStyle() const { return m_darkStyle && m_darkStyle(); }

    // New each call, sized to their images.
    std::shared_ptr<ui::BarButtonItem> settingsItem() const;
    std::shared_ptr<ui::BarButtonItem> helpItem() const;
    // Made once; the button tells about the server. Its image follows
    // "VKServerEnabled", Wi-Fi with an address and the quota index rebuild.
    std::shared_ptr<ui::BarButtonItem> serverStateItem();
    ui::Button* serverStateButton() const;
    void updateServerStateImage();
    // Made once.
    std::shared_ptr<ui::BarButtonItem> folderInfoItem();
    VKFolderInfoLabel* folderInfoLabel() const;

    // The operation's progress view as a bar item, made when missing (for
    // the running operation) and showing its progress.
    std::shared_ptr<ui::BarButtonItem> progressItem();
    VKOperationProgressView* progressView() const;
    // Whether there is a progress item, made for the current run.
    bool showsCurrentRun() const;
    bool hasProgressItem() const { return m_progressItem != nullptr; }
    // Lets go of a progress item made for another run (or for none).
    void forgetStaleProgress();
    // Shows the progress; false when the item no longer fits the operation
    // (determinate or not) and was let go: the toolbar is due again.
    bool showProgress(float progress);
    // The view went: every item is made again.
    void reset();

    // The labels' colours: white, or dark grey with the dark style.
    void applyAppearance(ui::Label& label) const;
    void updateAppearance();

private:
    std::function<bool()> m_darkStyle;
    // Shared with the buttons, which look the services up when touched.
    std::shared_ptr<std::weak_ptr<VKFolderBrowserServices>> m_services;
    std::shared_ptr<ui::BarButtonItem> m_serverStateItem;
    std::shared_ptr<ui::BarButtonItem> m_folderInfoItem;
    std::shared_ptr<ui::BarButtonItem> m_progressItem;
    // The run the progress item was made for.
    VKBrowserOperation::Run m_progressItemRun = VKBrowserOperation::NoRun;
};
