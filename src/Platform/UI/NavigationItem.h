#pragma once

// What a navigation bar shows for one controller: a title or title view, a
// prompt, the back item its successor shows, left and right items, and
// whether the back button hides. The bar that shows it hears each change.

#include "Platform/Core/Object.h"

#include <functional>
#include <memory>
#include <string>

namespace ui {

class BarButtonItem;
class View;

class NavigationItem : public core::Object {
public:
    static std::shared_ptr<NavigationItem> create(std::string title = {});
    NavigationItem();
    ~NavigationItem() override;

    const std::string& title() const { return m_title; }
    void setTitle(std::string title);
    const std::shared_ptr<View>& titleView() const { return m_titleView; }
    void setTitleView(std::shared_ptr<View> view);
    // Empty: no prompt.
    const std::string& prompt() const { return m_prompt; }
    void setPrompt(std::string prompt);
    // What the next item's back button shows (else this item's title, else
    // "Back").
    const std::shared_ptr<BarButtonItem>& backBarButtonItem() const { return m_backItem; }
    void setBackBarButtonItem(std::shared_ptr<BarButtonItem> item);
    const std::shared_ptr<BarButtonItem>& leftBarButtonItem() const { return m_leftItem; }
    void setLeftBarButtonItem(std::shared_ptr<BarButtonItem> item, bool animated = false);
    const std::shared_ptr<BarButtonItem>& rightBarButtonItem() const { return m_rightItem; }
    void setRightBarButtonItem(std::shared_ptr<BarButtonItem> item, bool animated = false);
    bool hidesBackButton() const { return m_hidesBackButton; }
    void setHidesBackButton(bool hides, bool animated = false);

    void setChangeHandler(std::function<void()> handler) { m_changed = std::move(handler); }

private:
    void changed();
    void watch(BarButtonItem* old, BarButtonItem* item);

    std::string m_title;
    std::shared_ptr<View> m_titleView;
    std::string m_prompt;
    std::shared_ptr<BarButtonItem> m_backItem;
    std::shared_ptr<BarButtonItem> m_leftItem;
    std::shared_ptr<BarButtonItem> m_rightItem;
    bool m_hidesBackButton = false;
    std::function<void()> m_changed;
};

} // namespace ui
