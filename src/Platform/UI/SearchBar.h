#pragma once

// A search field with an optional cancel button, prompt and scope bar. The
// field and the cancel button are exposed, so callers can style them; what
// the person does reaches the delegate (a search display controller, as a
// rule).

#include "Platform/Graphics/Color.h"
#include "Platform/UI/NavigationBar.h"

#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace ui {

class Button;
class SearchBar;
class SegmentedControl;
class TextField;

class SearchBarDelegate {
public:
    virtual ~SearchBarDelegate() = default;
    virtual bool shouldBeginEditing(SearchBar&) { return true; }
    virtual void textDidBeginEditing(SearchBar&) { }
    virtual bool shouldEndEditing(SearchBar&) { return true; }
    virtual void textDidEndEditing(SearchBar&) { }
    virtual void textDidChange(SearchBar&, const std::string& text) { (void)text; }
    virtual void searchButtonClicked(SearchBar&) { }
    virtual void cancelButtonClicked(SearchBar&) { }
    virtual void bookmarkButtonClicked(SearchBar&) { }
    virtual void selectedScopeButtonIndexDidChange(SearchBar&, int index) { (void)index; }
    // A key while the bar is in the responder chain: whether taken.
    virtual bool keyCommand(SearchBar&, KeyCommand command) { (void)command; return false; }
};

class SearchBar : public View {
public:
    static constexpr float Height = 44;
    static constexpr float ScopeBarHeight = 44;

    static std::shared_ptr<SearchBar> create(const gfx::Rect& frame = {});
    SearchBar();
    ~SearchBar() override;

    std::string text() const;
    // Tells the delegate about the change, as typing does.
    void setText(std::string_view text);
    const std::string& placeholder() const { return m_placeholder; }
    void setPlaceholder(std::string placeholder);
    const std::string& prompt() const { return m_prompt; }
    void setPrompt(std::string prompt) { m_prompt = std::move(prompt); }
    NavigationBar::Style barStyle() const { return m_style; }
    void setBarStyle(NavigationBar::Style style) { m_style = style; }
    std::optional<gfx::Color> tintColor() const { return m_tint; }
    void setTintColor(std::optional<gfx::Color> color) { m_tint = color; }

    bool showsCancelButton() const { return m_showsCancel; }
    void setShowsCancelButton(bool shows, bool animated = false);
    bool showsBookmarkButton() const { return m_showsBookmark; }
    void setShowsBookmarkButton(bool shows) { m_showsBookmark = shows; }
    const std::vector<std::string>& scopeButtonTitles() const { return m_scopeTitles; }
    void setScopeButtonTitles(std::vector<std::string> titles);
    int selectedScopeButtonIndex() const;
    void setSelectedScopeButtonIndex(int index);
    bool showsScopeBar() const { return m_showsScopeBar; }
    void setShowsScopeBar(bool shows);

    TextField& textField() const { return *m_field; }
    Button& cancelButton() const { return *m_cancel; }
    SegmentedControl* scopeBar() const { return m_scopeBar.get(); }

    std::shared_ptr<SearchBarDelegate> delegate() const { return m_delegate.lock(); }
    void setDelegate(std::weak_ptr<SearchBarDelegate> delegate) { m_delegate = std::move(delegate); }

    bool becomeFirstResponder() override;
    bool resignFirstResponder() override;
    gfx::Size sizeThatFits(gfx::Size size) const override;
    void layoutSubviews() override;
    // Keys go to the delegate first; then Escape is its Cancel button,
    // where it shows one, else the end of typing.
    bool performKeyCommand(KeyCommand command) override;
    std::string debugText() const override;

private:
    class FieldDelegate;
    void textChanged();
    void scopeChanged();

    std::shared_ptr<TextField> m_field;
    std::shared_ptr<Button> m_cancel;
    std::shared_ptr<SegmentedControl> m_scopeBar;
    std::shared_ptr<FieldDelegate> m_fieldDelegate;
    std::weak_ptr<SearchBarDelegate> m_delegate;
    std::string m_placeholder;
    std::string m_prompt;
    std::vector<std::string> m_scopeTitles;
    NavigationBar::Style m_style = NavigationBar::Style::Default;
    std::optional<gfx::Color> m_tint;
    bool m_showsCancel = false;
    bool m_showsBookmark = false;
    bool m_showsScopeBar = false;
};

} // namespace ui
