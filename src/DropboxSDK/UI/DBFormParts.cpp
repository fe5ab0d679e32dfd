#include "DropboxSDK/UI/DBFormParts.h"

#include "Shell/Interface/AlertViewAdditions.h"
#include "DropboxSDK/UI/DBLoadingView.h"
#include "Platform/Core/Device.h"
#include "Platform/Core/Localized.h"
#include "Platform/UI/ActivityIndicator.h"
#include "Platform/UI/Button.h"
#include "Platform/UI/Fonts.h"
#include "Platform/UI/ImageView.h"
#include "Platform/UI/Images.h"
#include "Platform/UI/Label.h"
#include "Platform/UI/Screen.h"
#include "Platform/UI/TableView.h"
#include "Platform/UI/TextField.h"

#include <cmath>

bool DBFormParts::isPhone()
{
    return ui::Screen::userInterfaceIdiom() != core::Device::Idiom::Tablet;
}

std::shared_ptr<ui::View> DBFormParts::backgroundView()
{
    auto view = ui::ImageView::create(ui::Images::imageNamed("db_background.png"));
    view->setFrame({ 0, 0, 320, 460 });
    view->setUserInteractionEnabled(true);
    view->setAutoresizingMask(ui::View::FlexibleWidth | ui::View::FlexibleHeight);
    return view;
}

std::shared_ptr<ui::TableView> DBFormParts::formTable(const ui::View& view)
{
    auto bounds = view.bounds();
    auto table = ui::TableView::create({ std::floor(bounds.size.width / 2 - TableWidth / 2), 0, TableWidth, bounds.size.height },
        ui::TableView::Style::Grouped);
    table->setAutoresizingMask(ui::View::FlexibleLeftMargin | ui::View::FlexibleRightMargin | ui::View::FlexibleHeight);
    // All but clear: a clear grouped table draws the standard grey under
    // its rows, a column over the artwork that should fill the sheet.
    table->setBackgroundColor(gfx::Color::white(1, 1.0f / 255));
    table->setOpaque(false);
    table->setScrollEnabled(false);
    return table;
}

std::shared_ptr<ui::TextField> DBFormParts::field(const gfx::Rect& frame, std::weak_ptr<ui::TextFieldDelegate> delegate)
{
    auto field = ui::TextField::create(frame);
    field->setBorderStyle(ui::TextField::BorderStyle::None);
    field->setAutocorrectionType(ui::TextInput::AutocorrectionType::No);
    field->setDelegate(std::move(delegate));
    return field;
}

std::shared_ptr<ui::TableViewCell> DBFormParts::cell(const std::string& label, const std::shared_ptr<ui::TextField>& field)
{
    auto cell = ui::TableViewCell::create(ui::TableViewCell::Style::Default, {});
    cell->textLabel().setText(label);
    // Small enough that the longest label ends before the fields at x 100.
    cell->textLabel().setFont(ui::Fonts::boldSystemFont(15));
    cell->setSelectionStyle(ui::TableViewCell::SelectionStyle::None);
    cell->contentView().addSubview(field);
    return cell;
}

std::shared_ptr<ui::View> DBFormParts::sectionHeader()
{
    auto header = ui::View::create({ 0, 0, TableWidth, SectionHeaderHeight });
    auto image = ui::ImageView::create(ui::Images::imageNamed("db_link_header.png"));
    if (image->image()) {
        auto size = image->image()->size();
        image->setFrame({ std::floor(TableWidth / 2 - size.width / 2), std::floor(SectionHeaderHeight / 2 - size.height / 2),
            size.width, size.height });
    }
    header->addSubview(image);
    return header;
}

std::shared_ptr<ui::View> DBFormParts::actionFooter(const std::string& image, const std::shared_ptr<core::Object>& target,
    std::function<void()> action, std::shared_ptr<ui::ActivityIndicator>& spinner)
{
    auto footer = ui::View::create({ 0, 0, TableWidth, FooterHeight });
    auto button = ui::Button::create(ui::Button::Type::Custom);
    auto normal = ui::Images::imageNamed(image + ".png");
    button->setImage(normal, ui::Control::Normal);
    button->setImage(ui::Images::imageNamed(image + "_down.png"), ui::Control::Highlighted);
    gfx::Size size = normal ? normal->size() : gfx::Size { 0, 0 };
    button->setFrame({ TableWidth - size.width - 8, 8, size.width, size.height });
    button->addTarget(target, "action", [action = std::move(action)](ui::Control&, const ui::Event*) { action(); },
        ui::Control::TouchUpInside);
    footer->addSubview(button);
    spinner = ui::ActivityIndicator::create(ui::ActivityIndicator::Style::Gray);
    float side = ui::ActivityIndicator::sideForStyle(ui::ActivityIndicator::Style::Gray);
    spinner->setFrame({ TableWidth - side - 21, 17, side, side });
    footer->addSubview(spinner);
    return footer;
}

void DBFormParts::alert(const std::string& title, const std::string& message)
{
    showAlertViewWithTitle(title, message, core::localized("OK"));
}

void DBFormParts::showWorking(bool working, ui::View* view, ui::ActivityIndicator* spinner,
    std::shared_ptr<DBLoadingView>& overlay, const std::string& title)
{
    if (view)
        view->setUserInteractionEnabled(!working);
    if (!isPhone()) {
        if (spinner)
            working ? spinner->startAnimating() : spinner->stopAnimating();
        return;
    }
    if (working && !overlay) {
        overlay = DBLoadingView::initWithTitle(title);
        overlay->show();
    } else if (!working && overlay) {
        overlay->dismissAnimated(false);
        overlay.reset();
    }
}
