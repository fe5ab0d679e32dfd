#pragma once

// The list of text encodings (converter names such as "UTF-8" or "KOI8-R")
// in its two uses: the settings page that edits the user's list and picks
// the default encoding of text documents, and the chooser a text viewer
// presents to pick the encoding of the open document. The list comes from
// the user's "VKTextEncodings", else the bundle's "VKDefaultTextEncodings"
// property list for the user's language; the check mark sits on the chosen
// name.
//
// The viewer form is presented modally inside its own navigation
// controller: a choice (the checked row too) or Cancel dismisses it and
// then tells the viewer; it stores nothing. The settings form stores the
// default on leaving, and the list too once it differs from what it read.

#include "Shell/Settings/VKEditableListController.h"

#include <memory>
#include <optional>
#include <string>
#include <vector>

class VKTextEncodingsController;

// What a text viewer hears from the chooser it presented.
class VKTextEncodingsControllerDelegate {
public:
    virtual ~VKTextEncodingsControllerDelegate() = default;
    virtual void textEncodingsControllerDidEnd(VKTextEncodingsController& controller, const std::string& encoding) = 0;
    virtual void textEncodingsControllerCancelled(VKTextEncodingsController& controller) = 0;
};

class VKTextEncodingsController : public VKEditableListController {
public:
    static constexpr const char* TextEncodingsKey = "VKTextEncodings";
    static constexpr const char* DefaultTextEncodingKey = "VKDefaultTextEncoding";

    // The user's list, else the bundle's; strings only.
    static std::vector<std::string> defaultTextEncodings();
    static std::shared_ptr<VKTextEncodingsController> textEncodingsController();
    // The settings form.
    static std::shared_ptr<VKTextEncodingsController> defaultTextEncodingsController();
    // The viewer form: `viewer` is told of the choice, `encoding` checked.
    static std::shared_ptr<VKTextEncodingsController> currentTextEncodingsControllerForViewController(
        const std::shared_ptr<ui::ViewController>& viewer, const std::string& encoding);

    const std::string& defaultTextEncoding() const { return m_defaultTextEncoding; }
    void setDefaultTextEncoding(std::string encoding) { m_defaultTextEncoding = std::move(encoding); }
    std::shared_ptr<ui::ViewController> viewControllerChangingCurrent() const { return m_viewer.lock(); }

    bool showsCancelButton();
    void setShowsCancelButton(bool shows);
    void cancel();

    std::string statusText() override { return m_defaultTextEncoding; }
    // The chooser of a viewer edits nothing.
    bool allowsSwipeToDelete() const override { return !m_changesCurrent; }
    // Why a typed name is no encoding this system converts from; nothing
    // for one it does.
    static std::optional<std::string> refusalForEncodingName(const std::string& name);
    bool isCellCheckedAtIndexPath(ui::IndexPath path) const override;
    std::optional<ui::IndexPath> indexPathOfCheckedCell() const override;
    void didSelectRow(ui::TableView& table, ui::IndexPath path) override;
    void viewDidLoad() override;
    void viewWillDisappear(bool animated) override;

private:
    // Dismisses the modal chooser, then tells the viewer through `report`.
    void endWith(const std::function<void(VKTextEncodingsControllerDelegate&)>& report);

    std::string m_defaultTextEncoding;
    std::weak_ptr<ui::ViewController> m_viewer;
    bool m_changesCurrent = false;
};
