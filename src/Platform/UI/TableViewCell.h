#pragma once

// A row of a table: a content view holding the text and detail labels and
// an image view (made on first use), an accessory (a standard one or a view
// of the caller's) on the right, and the editing control on the left while
// editing. Tables reuse cells by identifier and call prepareForReuse before
// handing one out again.

#include "Platform/UI/View.h"

#include <memory>
#include <string>

namespace ui {

class Button;
class ImageView;
class Label;

class TableViewCell : public View {
public:
    enum class Style { Default = 0, Value1 = 1, Value2 = 2, Subtitle = 3 };
    enum class Accessory { None = 0, DisclosureIndicator = 1, DetailDisclosureButton = 2, Checkmark = 3 };
    enum class SelectionStyle { None = 0, Blue = 1, Gray = 2 };
    enum class EditingStyle { None = 0, Delete = 1, Insert = 2 };
    static constexpr float AccessoryWidth = 20;
    static constexpr float AccessoryMargin = 10;
    static constexpr float EditingControlWidth = 32;
    static constexpr float DeleteButtonWidth = 64;

    static std::shared_ptr<TableViewCell> create(Style style, std::string reuseIdentifier);
    explicit TableViewCell(Style style = Style::Default, std::string reuseIdentifier = {});
    ~TableViewCell() override;

    Style style() const { return m_style; }
    const std::string& reuseIdentifier() const { return m_reuseIdentifier; }
    // Undoes what the previous row set up; the base clears the selection.
    virtual void prepareForReuse();

    View& contentView() const { return *m_contentView; }
    Label& textLabel();
    // Null in the default style.
    Label* detailTextLabel();
    ImageView& imageView();

    Accessory accessoryType() const { return m_accessory; }
    void setAccessoryType(Accessory accessory);
    const std::shared_ptr<View>& accessoryView() const { return m_accessoryView; }
    void setAccessoryView(std::shared_ptr<View> view);
    Accessory editingAccessoryType() const { return m_editingAccessory; }
    void setEditingAccessoryType(Accessory accessory);
    // The view shown on the right now: the caller's, or the standard one's.
    View* shownAccessoryView() const { return m_shownAccessory.get(); }

    SelectionStyle selectionStyle() const { return m_selectionStyle; }
    void setSelectionStyle(SelectionStyle style) { m_selectionStyle = style; showHighlight(); }
    bool isSelected() const { return m_selected; }
    virtual void setSelected(bool selected, bool animated = false);
    bool isHighlighted() const { return m_highlighted; }
    virtual void setHighlighted(bool highlighted, bool animated = false);

    int indentationLevel() const { return m_indentationLevel; }
    void setIndentationLevel(int level);
    float indentationWidth() const { return m_indentationWidth; }
    void setIndentationWidth(float width);
    bool shouldIndentWhileEditing() const { return m_indentWhileEditing; }
    void setShouldIndentWhileEditing(bool indent);

    bool isEditing() const { return m_editing; }
    virtual void setEditing(bool editing, bool animated = false);
    EditingStyle editingStyle() const { return m_editingStyle; }
    void setEditingStyle(EditingStyle style);
    bool showsReorderControl() const { return m_showsReorderControl; }
    void setShowsReorderControl(bool shows);
    // The delete button of swipe-to-delete, showing `title`.
    bool showingDeleteConfirmation() const { return m_deleteButton != nullptr; }
    Button* deleteConfirmationButton() const { return m_deleteButton.get(); }
    void showDeleteConfirmation(const std::string& title, std::function<void()> confirmed);
    void hideDeleteConfirmation();

    // Return on the row the keyboard chose: a row holding a control of its
    // own (a switch, a text field) works it and answers true; the others
    // answer false and the row is tapped.
    virtual bool activateControl() { return false; }
    // The table's keyboard place, shown while the keys put it here (set by
    // the table).
    bool isKeyboardPlace() const { return m_keyboardPlace; }
    void setKeyboardPlace(bool place);
    // A frame keeps the keyboard's place in sight where no selection colour
    // does: on a chosen row that draws no selection, and on the place row
    // while it is not selected.
    bool showsFocusFrame() const
    {
        return !(m_selected && m_selectionStyle != SelectionStyle::None) && (m_selected || m_keyboardPlace);
    }

    // Runs when the detail disclosure button is tapped (set by the table).
    void setAccessoryTapHandler(std::function<void()> handler) { m_accessoryTapped = std::move(handler); }

    void layoutSubviews() override;
    std::string debugText() const override;

private:
    void updateAccessory();
    void showHighlight();

    Style m_style;
    std::string m_reuseIdentifier;
    std::shared_ptr<View> m_contentView;
    std::shared_ptr<Label> m_textLabel;
    std::shared_ptr<Label> m_detailLabel;
    std::shared_ptr<ImageView> m_imageView;
    Accessory m_accessory = Accessory::None;
    Accessory m_editingAccessory = Accessory::None;
    std::shared_ptr<View> m_accessoryView;
    std::shared_ptr<View> m_shownAccessory;
    std::shared_ptr<Button> m_deleteButton;
    std::function<void()> m_accessoryTapped;
    SelectionStyle m_selectionStyle = SelectionStyle::Blue;
    int m_indentationLevel = 0;
    float m_indentationWidth = 10;
    bool m_indentWhileEditing = true;
    bool m_selected = false;
    bool m_highlighted = false;
    bool m_keyboardPlace = false;
    bool m_editing = false;
    EditingStyle m_editingStyle = EditingStyle::Delete;
    bool m_showsReorderControl = false;
};

} // namespace ui
