#pragma once

// The browser's bar, 60 points high, at the top of the page inside the web
// view's scroll view: the page title (with a padlock for secure pages) on
// the first line; Close, the address field and the search button on the
// second. The same field takes addresses and, after the search button,
// search text; every step of its editing goes to the delegate (the browser),
// which decides what to load. While the field is edited Close and search
// give way to Cancel.

#include "Platform/Core/Observation.h"
#include "Platform/UI/TextField.h"
#include "Platform/UI/View.h"

#include <memory>
#include <string>

namespace ui {
class Button;
class ImageView;
class Label;
} // namespace ui

class VKBarButton;
class VKWebLocationField;

class VKWebNavigationViewDelegate {
public:
    virtual ~VKWebNavigationViewDelegate() = default;
    virtual void navigationFieldDidBeginEditing(ui::TextField& field, bool isSearch) { (void)field, (void)isSearch; }
    // The text the field will hold after the change.
    virtual void navigationFieldWillChangeText(ui::TextField& field, const std::string& text, bool isSearch)
    {
        (void)field, (void)text, (void)isSearch;
    }
    // Return was pressed.
    virtual void navigationFieldDidAcceptEditing(ui::TextField& field, bool isSearch) { (void)field, (void)isSearch; }
    virtual void navigationFieldDidEndEditing(ui::TextField& field) { (void)field; }
};

class VKWebNavigationView : public ui::View, public ui::TextFieldDelegate {
public:
    static constexpr float DefaultHeight = 60;
    static constexpr float Inset = 4;
    static constexpr float Margin = 8;
    static constexpr float TitleTop = 3;
    // Buttons answer touches over at least this square around their middle.
    static constexpr float MinimumTouchSize = 44;
    static constexpr const char* EditingAnimation = "LocationFieldAnim";

    static float defaultHeight() { return DefaultHeight; }
    static std::shared_ptr<VKWebNavigationView> create(const gfx::Rect& frame = {});
    VKWebNavigationView();
    ~VKWebNavigationView() override;

    ui::Label& titleLabel() const { return *m_titleLabel; }
    VKWebLocationField& locationField() const { return *m_locationField; }
    // The field search text is typed in: in this bar the location field.
    ui::TextField& searchField() const;
    VKBarButton& closeButton() const { return *m_closeButton; }
    // Only while the field is edited.
    VKBarButton* cancelButton() const { return m_cancelButton.get(); }
    ui::Button& searchButton() const { return *m_searchButton; }
    ui::ImageView* securityIconView() const { return m_securityIconView.get(); }

    std::shared_ptr<VKWebNavigationViewDelegate> delegate() const { return m_delegate.lock(); }
    void setDelegate(std::weak_ptr<VKWebNavigationViewDelegate> delegate) { m_delegate = std::move(delegate); }

    bool isLoading() const { return m_loading; }
    void setLoading(bool loading);
    bool isSecure() const;
    void setSecure(bool secure);

    // The search field has the keyboard in search mode.
    bool isSearching() const;
    // The field is the search field and in search mode (return key 2).
    bool textFieldIsSearchField(const ui::TextField& field) const;
    // The search button's action: search mode, keyboard up.
    void beginSearch();
    void cancelEditing();
    // Address mode again, Close and search back, Cancel gone.
    void restoreUIAfterLocationFieldEditing();

    // Places `view` at the left or right end of `rect` (the field's band)
    // and takes its width and the margin off `rect`; it is centred on the
    // field's height.
    void layoutSubview(ui::View& view, gfx::Rect& rect, float margin, bool rightAligned) const;

    // View.
    gfx::Size sizeThatFits(gfx::Size size) const override;
    void setFrame(const gfx::Rect& frame) override;
    void layoutSubviews() override;
    View* hitTest(gfx::Point point, const ui::Event* event = nullptr) override;

    // TextFieldDelegate.
    void didBeginEditing(ui::TextField& field) override;
    bool shouldChangeCharacters(ui::TextField& field, core::Range range, std::string_view replacement) override;
    bool shouldClear(ui::TextField& field) override;
    bool shouldReturn(ui::TextField& field) override;
    void didEndEditing(ui::TextField& field) override;

private:
    void setUp();
    void cancelTapped();

    // The bar's picture, stretched across it (a tiled pattern would stay
    // upright while the device turns).
    std::shared_ptr<ui::ImageView> m_backgroundView;
    std::shared_ptr<ui::Label> m_titleLabel;
    std::shared_ptr<ui::ImageView> m_securityIconView;
    std::shared_ptr<VKWebLocationField> m_locationField;
    std::shared_ptr<VKBarButton> m_closeButton;
    std::shared_ptr<VKBarButton> m_cancelButton;
    std::shared_ptr<ui::Button> m_searchButton;
    std::weak_ptr<VKWebNavigationViewDelegate> m_delegate;
    core::Observation m_titleObservation;
    bool m_loading = false;
};
