#pragma once

// The pieces the login and sign-up forms share: the artwork background,
// the centred transparent table, the labelled rows with their borderless
// fields, the section header, the tablet's footer with its action button
// and spinner, and the alerts' one-button form.

#include "Platform/Graphics/Geometry.h"

#include <functional>
#include <memory>
#include <string>

namespace ui {
class ActivityIndicator;
class TableView;
class TableViewCell;
class TextField;
class TextFieldDelegate;
class View;
}
namespace core {
class Object;
}
class DBLoadingView;

class DBFormParts {
public:
    static constexpr float TableWidth = 320;
    static constexpr float FooterHeight = 80;
    static constexpr float SectionHeaderHeight = 53;

    // Phone, or a device that cannot tell.
    static bool isPhone();
    // The form's view: the background artwork stretched over it.
    static std::shared_ptr<ui::View> backgroundView();
    // The grouped table, TableWidth wide and centred in the view, clear and still.
    static std::shared_ptr<ui::TableView> formTable(const ui::View& view);
    static std::shared_ptr<ui::TextField> field(const gfx::Rect& frame, std::weak_ptr<ui::TextFieldDelegate> delegate);
    // A row without selection highlight, labelled, holding the field.
    static std::shared_ptr<ui::TableViewCell> cell(const std::string& label, const std::shared_ptr<ui::TextField>& field);
    // The "db_link_header.png" artwork centred in a SectionHeaderHeight band.
    static std::shared_ptr<ui::View> sectionHeader();
    // The tablet's section footer: the action's artwork button at the right
    // and a grey spinner left of it.
    static std::shared_ptr<ui::View> actionFooter(const std::string& image, const std::shared_ptr<core::Object>& target,
        std::function<void()> action, std::shared_ptr<ui::ActivityIndicator>& spinner);
    static void alert(const std::string& title, const std::string& message);
    // A form's working state: its view takes no touches; the tablet turns
    // the footer spinner, the phone shows (or drops) the titled overlay.
    static void showWorking(bool working, ui::View* view, ui::ActivityIndicator* spinner,
        std::shared_ptr<DBLoadingView>& overlay, const std::string& title);
};
