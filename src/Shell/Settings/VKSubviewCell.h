#pragma once

// A settings row that opens a page: the row label, the page's summary on
// the right in the value colour, and the disclosure chevron. The row keeps
// its page alive; syncToDefaults asks the page for its summary again.

#include "Shell/Settings/VKDefaultsBinding.h"
#include "Shell/Settings/VKSettingsRowCell.h"

#include <memory>
#include <string_view>

class VKSubviewController;
namespace ui {
class ViewController;
}

class VKSubviewCell : public VKSettingsRowCell, public VKDefaultsSyncing {
public:
    static std::shared_ptr<VKSubviewCell> initWithLabel(std::string_view label,
        std::shared_ptr<VKSubviewController> subviewController);
    static std::shared_ptr<VKSubviewCell> subviewCellWithLabel(std::string_view label,
        std::shared_ptr<VKSubviewController> subviewController)
    {
        return initWithLabel(label, std::move(subviewController));
    }

    ui::Label& status() const { return *m_status; }
    const std::shared_ptr<VKSubviewController>& subviewController() const { return m_subviewController; }
    void setSubviewController(std::shared_ptr<VKSubviewController> controller);

    // Pushes the page onto the navigation controller `from` is in, animated;
    // false when there is no page or no navigation controller.
    bool presentSubview(ui::ViewController& from) const;
    // Unselects the row and shows the page's summary again.
    void syncToDefaults() override;
    void layoutSubviews() override;

private:
    std::shared_ptr<ui::Label> m_status;
    std::shared_ptr<VKSubviewController> m_subviewController;
};
