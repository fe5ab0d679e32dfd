#pragma once

// An item of a navigation bar or toolbar: a system item (the device's
// numbers 0–23), a title, an image or a custom view, in a style (plain,
// bordered, done), with a width, an enabled flag, a tag and target/action
// pairs. The bar that lays it out makes its view (a custom view is its own);
// view() answers it from then on and is null before.

#include "Platform/Graphics/Image.h"
#include "Platform/UI/TargetAction.h"

#include <memory>
#include <optional>
#include <string>

namespace ui {

class View;

class BarButtonItem : public core::Object {
public:
    enum class SystemItem {
        Done = 0,
        Cancel = 1,
        Edit = 2,
        Save = 3,
        Add = 4,
        FlexibleSpace = 5,
        FixedSpace = 6,
        Compose = 7,
        Reply = 8,
        Action = 9,
        Organize = 10,
        Bookmarks = 11,
        Search = 12,
        Refresh = 13,
        Stop = 14,
        Camera = 15,
        Trash = 16,
        Play = 17,
        Pause = 18,
        Rewind = 19,
        FastForward = 20,
        Undo = 21,
        Redo = 22,
        PageCurl = 23,
    };
    enum class Style { Plain = 0, Bordered = 1, Done = 2 };
    using Action = std::function<void(BarButtonItem&)>;

    static std::shared_ptr<BarButtonItem> create(SystemItem item);
    static std::shared_ptr<BarButtonItem> create(std::string title, Style style = Style::Bordered);
    static std::shared_ptr<BarButtonItem> create(std::shared_ptr<gfx::Image> image, Style style = Style::Bordered);
    static std::shared_ptr<BarButtonItem> create(std::shared_ptr<View> customView);
    // A flexible space, or a fixed one `width` wide.
    static std::shared_ptr<BarButtonItem> space(std::optional<float> width = std::nullopt);

    BarButtonItem();
    ~BarButtonItem() override;

    std::optional<SystemItem> systemItem() const { return m_systemItem; }
    bool isSpace() const;
    bool isFlexibleSpace() const { return m_systemItem == SystemItem::FlexibleSpace; }
    const std::string& title() const { return m_title; }
    void setTitle(std::string title);
    const std::shared_ptr<gfx::Image>& image() const { return m_image; }
    void setImage(std::shared_ptr<gfx::Image> image);
    Style style() const { return m_style; }
    void setStyle(Style style);
    const std::shared_ptr<View>& customView() const { return m_customView; }
    // 0: as wide as the content.
    float width() const { return m_width; }
    void setWidth(float width);
    bool isEnabled() const { return m_enabled; }
    void setEnabled(bool enabled);
    int tag() const { return m_tag; }
    void setTag(int tag) { m_tag = tag; }
    // The name a desktop pointer resting on an item without a title shows:
    // the one set, else a system symbol's own.
    std::string toolTip() const;
    void setToolTip(std::string toolTip) { m_toolTip = std::move(toolTip); }

    void addTarget(const std::shared_ptr<core::Object>& target, std::string action, Action function);
    void removeTarget(const core::Object* target, std::string_view action = {});
    const TargetActionList<BarButtonItem&>& targets() const { return m_actions; }
    // What a tap does: the actions, when enabled.
    void sendActions();
    bool hasAction(std::string_view action) const;

    // The view a bar made for the item (a custom view is its own).
    std::shared_ptr<View> view() const { return m_view.lock(); }
    void setView(const std::shared_ptr<View>& view) { m_view = view; }
    // Called whenever what a bar shows of the item changes.
    void setChangeHandler(std::function<void()> handler) { m_changed = std::move(handler); }

    std::string description() const override;

private:
    void changed();

    std::optional<SystemItem> m_systemItem;
    std::string m_title;
    std::shared_ptr<gfx::Image> m_image;
    Style m_style = Style::Plain;
    std::shared_ptr<View> m_customView;
    float m_width = 0;
    bool m_enabled = true;
    int m_tag = 0;
    std::string m_toolTip;
    TargetActionList<BarButtonItem&> m_actions;
    std::weak_ptr<View> m_view;
    std::function<void()> m_changed;
};

} // namespace ui
