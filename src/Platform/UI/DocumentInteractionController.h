#pragma once

// Hands a file to another application through an "open in" menu shown at a
// rectangle or a bar item. The applications that take a file come from a
// provider asked per URL (the program installs the desktop's), else from a
// list the driver sets; with none no menu shows. The menu is an action
// sheet of the applications' names with Cancel, at its anchor. A shown menu
// is kept by the toolkit until it goes, and choosing an application tells
// the delegate that sending began, runs the launcher once, tells that
// sending ended, then that the menu went.

#include "Platform/Core/Object.h"
#include "Platform/Core/URL.h"
#include "Platform/Graphics/Geometry.h"
#include "Platform/UI/ChoiceView.h"

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace ui {

class ActionSheet;
class BarButtonItem;
class DocumentInteractionController;
class View;

class DocumentInteractionControllerDelegate {
public:
    virtual ~DocumentInteractionControllerDelegate() = default;
    virtual void willPresentOpenInMenu(DocumentInteractionController& controller) { (void)controller; }
    virtual void didDismissOpenInMenu(DocumentInteractionController& controller) { (void)controller; }
    virtual void willBeginSendingToApplication(DocumentInteractionController& controller, const std::string& application)
    {
        (void)controller, (void)application;
    }
    virtual void didEndSendingToApplication(DocumentInteractionController& controller, const std::string& application)
    {
        (void)controller, (void)application;
    }
};

class DocumentInteractionController : public core::Object, public ChoiceDelegate<ActionSheet> {
public:
    enum class AnchorKind { None = 0, Rect = 1, BarButtonItem = 2 };

    static std::shared_ptr<DocumentInteractionController> create(const core::URL& fileURL);

    const core::URL& url() const { return m_url; }
    void setURL(const core::URL& url) { m_url = url; }
    // The file's name unless set.
    std::string name() const;
    void setName(std::string name) { m_name = std::move(name); }
    std::shared_ptr<DocumentInteractionControllerDelegate> delegate() const { return m_delegate.lock(); }
    void setDelegate(std::weak_ptr<DocumentInteractionControllerDelegate> delegate) { m_delegate = std::move(delegate); }

    // False, with nothing shown, when no application takes files.
    bool presentOpenInMenu(const gfx::Rect& rect, const View& view, bool animated);
    // NSInvalidArgumentException when the item has no laid-out view.
    bool presentOpenInMenu(const BarButtonItem& item, bool animated);
    void dismissMenu(bool animated);

    bool isMenuVisible() const { return m_visible; }
    AnchorKind anchorKind() const { return m_anchorKind; }
    // The anchor on the screen.
    gfx::Rect anchorRect() const { return m_anchorRect; }
    // The menu's entries: the applications that take this file.
    std::vector<std::string> menuApplications() const;
    // A person picks an entry: sending begins and ends, the menu goes.
    // False when `application` is not on the menu.
    bool chooseApplication(const std::string& application);
    // The menu's sheet while it shows.
    const std::shared_ptr<ActionSheet>& menuSheet() const { return m_sheet; }
    void clickedButton(ActionSheet& sheet, int index) override;
    // A tap beside the tablet's sheet closes it without a click.
    void didDismiss(ActionSheet& sheet, int index) override;

    // The applications that take files (none in the program).
    static std::vector<std::string> applications();
    static void setApplications(std::vector<std::string> applications);
    // Asked for each file's applications in place of the list (main thread).
    using ApplicationsProvider = std::function<std::vector<std::string>(const core::URL& url)>;
    static void setApplicationsProvider(ApplicationsProvider provider);
    // Hands the file to the chosen application.
    using Launcher = std::function<void(const core::URL& url, const std::string& application)>;
    static void setLauncher(Launcher launcher);
    // The menus shown now, oldest first.
    static std::vector<std::shared_ptr<DocumentInteractionController>> shownMenus();
    static void resetForTesting();

private:
    bool present(AnchorKind kind, const gfx::Rect& rect, const std::function<void(ActionSheet&)>& show);

    core::URL m_url;
    std::string m_name;
    std::weak_ptr<DocumentInteractionControllerDelegate> m_delegate;
    bool m_visible = false;
    AnchorKind m_anchorKind = AnchorKind::None;
    gfx::Rect m_anchorRect;
    std::shared_ptr<ActionSheet> m_sheet;
    std::vector<std::string> m_sheetApplications;
};

} // namespace ui
