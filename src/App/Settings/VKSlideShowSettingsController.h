#pragma once

// The slide-show settings: how long a slide stays and how slides change
// (two list pages), repeat, shuffle and, while a second screen is
// connected, showing the slides there. Every value lives in the defaults,
// which the image viewer reads when its show runs. The same page is the
// settings' "Slideshow" row and the image viewer's modal sheet; pages it
// opens take its right bar item, so a presenter's "Done" shows on them too.

#include "App/Settings/VKSlideShowSettingsControllerDelegate.h"
#include "Shell/Settings/VKTableSubviewController.h"

#include <memory>

class VKSlideShowTimeoutSettingsController;
class VKSlideShowTransitionSettingsController;

class VKSlideShowSettingsController : public VKTableSubviewController {
public:
    static constexpr const char* StartButtonIdentifier = "StartSlideshowButton";

    static std::shared_ptr<VKSlideShowSettingsController> slideShowSettingsController();
    VKSlideShowSettingsController();

    std::shared_ptr<VKSlideShowSettingsControllerDelegate> delegate() const { return m_delegate.lock(); }
    // Shows or hides the start row.
    void setDelegate(std::weak_ptr<VKSlideShowSettingsControllerDelegate> delegate);
    const std::shared_ptr<VKSlideShowTimeoutSettingsController>& timeoutController() const { return m_timeoutController; }
    const std::shared_ptr<VKSlideShowTransitionSettingsController>& transitionController() const
    {
        return m_transitionController;
    }

    // "<timeout>, <transition>".
    std::string statusText() override;
    void loadTableGroups() override;
    void viewWillAppear(bool animated) override;

    int numberOfSections(ui::TableView& table) override;
    int numberOfRows(ui::TableView& table, int section) override;
    std::shared_ptr<ui::TableViewCell> cellForRow(ui::TableView& table, ui::IndexPath path) override;
    void willDisplayCell(ui::TableView& table, ui::TableViewCell& cell, ui::IndexPath path) override;
    void didSelectRow(ui::TableView& table, ui::IndexPath path) override;

private:
    std::shared_ptr<VKSlideShowTransitionSettingsController> m_transitionController;
    std::shared_ptr<VKSlideShowTimeoutSettingsController> m_timeoutController;
    std::weak_ptr<VKSlideShowSettingsControllerDelegate> m_delegate;
};
