#pragma once

// The small bookmark form: a title and an address, each in a one-line
// field. It adds the current page (address fixed) and edits a bookmark
// (address editable). Done in either field accepts the form; whatever way
// the form goes away, its owner hears of it and reads `bookmark()`.

#include "Platform/Core/URL.h"
#include "Platform/UI/TableViewController.h"
#include "Platform/UI/TextField.h"
#include "WebBrowser/VKWebBookmarks.h"

#include <memory>
#include <optional>
#include <string>

class VKBookmarkAddCell;
class VKWebAddBookmarkViewController;

class VKWebAddBookmarkViewControllerDelegate {
public:
    virtual ~VKWebAddBookmarkViewControllerDelegate() = default;
    // Each message is sent only when its query answers yes.
    virtual bool supportsDidAccept() const { return false; }
    virtual void webAddBookmarkViewControllerDidAccept(VKWebAddBookmarkViewController&) { }
    virtual bool supportsDidDisappear() const { return false; }
    virtual void webAddBookmarkViewControllerDidDisappear(VKWebAddBookmarkViewController&) { }
};

class VKWebAddBookmarkViewController : public ui::TableViewController, public ui::TextFieldDelegate {
public:
    static std::shared_ptr<VKWebAddBookmarkViewController> initWithURL(const std::optional<core::URL>& url,
        const std::optional<std::string>& title);
    VKWebAddBookmarkViewController();

    // A new bookmark of the fields, with a new UUID at every call; an
    // address that makes no URL gives an empty one.
    VKWebBookmark bookmark() const;
    void setURLEditingEnabled(bool enabled);
    std::shared_ptr<VKWebAddBookmarkViewControllerDelegate> addBookmarkDelegate() const { return m_delegate.lock(); }
    void setAddBookmarkDelegate(std::weak_ptr<VKWebAddBookmarkViewControllerDelegate> delegate)
    {
        m_delegate = std::move(delegate);
    }

    VKBookmarkAddCell& titleCell() const { return *m_titleCell; }
    VKBookmarkAddCell& urlCell() const { return *m_urlCell; }

    void viewDidLoad() override;
    void viewDidAppear(bool animated) override;
    void viewDidDisappear(bool animated) override;

    int numberOfRows(ui::TableView&, int section) override;
    std::shared_ptr<ui::TableViewCell> cellForRow(ui::TableView&, ui::IndexPath path) override;
    std::optional<ui::IndexPath> willSelectRow(ui::TableView&, ui::IndexPath) override { return std::nullopt; }

    bool shouldReturn(ui::TextField& field) override;

private:
    std::shared_ptr<VKBookmarkAddCell> m_titleCell;
    std::shared_ptr<VKBookmarkAddCell> m_urlCell;
    std::weak_ptr<VKWebAddBookmarkViewControllerDelegate> m_delegate;
};
