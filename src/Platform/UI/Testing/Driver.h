#pragma once

// Drives the toolkit as a person would, through public entry points only:
// the application's life cycle, rotation, screens, touches (every touch goes
// through Application::sendEvent), controls, typing and remote control, and
// reads back what a test needs (the view tree as text, the first responder,
// the keyboard). A step that cannot be done as asked (a tap on a hidden or
// covered view, or outside every window) throws core::Exception named
// "DriverFailure" with the dump lines that show why. Time moves only on the
// test clock: steps that take time advance it.

#include "Platform/Core/Error.h"
#include "Platform/Core/URL.h"
#include "Platform/Core/Value.h"
#include "Platform/Graphics/Geometry.h"
#include "Platform/UI/IndexPath.h"
#include "Platform/UI/Orientation.h"
#include "Platform/UI/Responder.h"

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace ui {
class ActionSheet;
class AlertView;
class BarButtonItem;
class ChoiceView;
class DocumentInteractionController;
class ImagePickerController;
class MailComposeController;
class NavigationController;
class PopoverController;
class Responder;
class Screen;
class SegmentedControl;
class Slider;
class Switch;
class TableView;
class TextField;
class TextInput;
class Touch;
class View;
class ViewController;
} // namespace ui

namespace ui::testing {

class Driver {
public:
    static constexpr const char* Failure = "DriverFailure";

    Driver();
    ~Driver();
    Driver(const Driver&) = delete;
    Driver& operator=(const Driver&) = delete;

    // Lifts nothing, forgets the fingers down.
    void reset();

    // Life cycle.
    void launch(const core::Value& options = {});
    void launchWithURL(const core::URL& url);
    void resignActive();
    void enterBackground();
    void enterForeground();
    void terminate();
    bool openURL(const core::URL& url);
    void memoryWarning();

    // Turns the device; answers whether the interface turned with it.
    bool rotate(Orientation orientation);

    std::shared_ptr<Screen> connectScreen(const gfx::Rect& bounds, float scale);
    void disconnectScreen(const std::shared_ptr<Screen>& screen);

    // Touches. Points are on the screen; views are touched at their centre.
    void tap(const View& view);
    void tap(gfx::Point point);
    void doubleTap(const View& view);
    // Held `seconds` after the view gets the touch (a scroll view's content
    // gets it ContentTouchDelay later).
    void longPress(const View& view, double seconds = 0.6);
    // Down at `from`, `steps` moves over `duration`, up at `to`.
    void drag(gfx::Point from, gfx::Point to, int steps = 10, double duration = 0.2);
    // From the view's centre by (dx, dy).
    void drag(const View& view, float dx, float dy, int steps = 10, double duration = 0.2);
    // A drag held still before lifting, so nothing coasts afterwards.
    void dragAndHold(const View& view, float dx, float dy, int steps = 10);
    // A drag lifted while moving at `speed` points per second.
    void fling(const View& view, float dx, float dy, float speed, int steps = 10);
    // Two fingers about the view's centre, their distance times `scale`.
    void pinch(const View& view, float scale, int steps = 10, double duration = 0.3);
    // Direction bits as the swipe recognizer's (right 1, left 2, up 4, down
    // 8), in the view's own directions.
    void swipe(const View& view, unsigned direction, float distance = 100, double duration = 0.2);

    // Raw multi-finger sequences: each call is one event of the fingers it
    // names; `wait` moves the clock between them.
    std::vector<int> touchDown(const std::vector<gfx::Point>& points);
    void touchMove(const std::vector<std::pair<int, gfx::Point>>& moves);
    void touchUp(const std::vector<int>& fingers);
    void touchCancel(const std::vector<int>& fingers);
    void wait(double seconds);
    // A desktop pointer hovering at `point` (on the screen), or gone from
    // the window.
    void hover(std::optional<gfx::Point> point);

    // Controls, through touches.
    void tapAt(const View& view, gfx::Point pointInView);
    void toggle(const Switch& control);
    // Drags the thumb from where it is to where `value` sits.
    void slide(const Slider& slider, float value, int steps = 10);
    void tapSegment(const SegmentedControl& control, size_t segment);

    // Typing into the first responder (a text input; failing without one):
    // one key per code point, a paste as one change.
    void type(std::string_view text);
    void paste(std::string_view text);
    void deleteBackward();
    void pressReturn();
    // The first responder's copy and cut of its selection: whether it took.
    bool copy();
    bool cut();
    // Taps the field's clear button.
    void clear(const TextField& field);
    bool keyboardVisible() const;
    // A desktop key's command, as the window host sends it: whether taken.
    bool key(KeyCommand command);

    // Bar items, through a tap on the view their bar made: the item itself,
    // or the first shown item whose action has that name.
    void tapBarItem(const BarButtonItem& item);
    void tapBarItem(std::string_view action);
    // Taps the back button of the front-most navigation bar that shows one.
    void tapBack();

    // Controllers: the titles of a navigation stack, bottom first, and the
    // modal chain above a controller, nearest first.
    static std::vector<std::string> stackTitles(const NavigationController& navigation);
    static std::vector<ViewController*> modalChain(const ViewController& controller);

    // Tables. Rows are touched on their cells, which must be shown.
    void tapRow(const TableView& table, IndexPath path);
    void tapAccessory(const TableView& table, IndexPath path);
    void tapIndexTitle(const TableView& table, int index);
    // Swipes across the row, then (for confirmDeletion) taps the delete
    // button it shows.
    void swipeRow(const TableView& table, IndexPath path);
    void confirmDeletion(const TableView& table);
    // The editing controls: delete (commit) and reorder.
    void deleteRow(TableView& table, IndexPath path);
    void moveRow(TableView& table, IndexPath from, IndexPath to);
    void scrollToRow(TableView& table, IndexPath path);
    // The shown cells' texts, in row order.
    std::vector<std::string> cellTexts(const TableView& table);

    void remoteControl(int subtype);
    void shake();

    // Alerts and action sheets, found by walking the windows: the front
    // shown one (failing, listing what is shown, when there is none), and
    // a press on one of its buttons by index or title, through a tap.
    std::shared_ptr<AlertView> alert() const;
    std::shared_ptr<ActionSheet> actionSheet() const;
    std::vector<std::shared_ptr<ChoiceView>> shownChoices() const;
    void pressAlertButton(int index);
    void pressAlertButton(std::string_view title);
    void pressSheetButton(int index);
    void pressSheetButton(std::string_view title);
    // A tap in the sheet's window away from the sheet.
    void tapOutsideSheet();

    // Services.
    const std::vector<core::URL>& openedURLs() const;
    // Runs the photo album's pending completions (with `error` when given);
    // answers how many. They run on workers: wait for them.
    size_t completeAlbumSaves(std::optional<core::Error> error = std::nullopt);
    size_t albumSaveCount() const;
    // The device reports an audio interruption beginning or ending.
    void audioInterruption(bool begins);

    // Switches of the device's services (all off in the program).
    void setPrintingAvailable(bool available);
    void setOpenInApplications(std::vector<std::string> applications);
    // The print panel's outcome: its completion runs once, the panel goes
    // (failing when no panel shows).
    void completePrint(bool completed, std::optional<core::Error> error = std::nullopt);
    // The front open-in menu (failing when none shows) and a pick on it.
    std::shared_ptr<DocumentInteractionController> openInMenu() const;
    void chooseOpenInApplication(const std::string& application);

    // Popovers: the front shown one (failing when none shows) and a tap
    // outside it, away from its pass-through views.
    std::shared_ptr<PopoverController> popover() const;
    void tapOutsidePopover();

    // Mail: the composer shown in a window (failing when none is) and the
    // person's outcome (MailComposeController::Result).
    void setCanSendMail(bool can);
    std::shared_ptr<MailComposeController> mailComposer() const;
    void finishMail(int result, std::optional<core::Error> error = std::nullopt);

    // The image picker shown in a window (failing when none is); opening an
    // album by name, picking its media by index, cancelling.
    std::shared_ptr<ImagePickerController> imagePicker() const;
    void openPickerAlbum(std::string_view name);
    void pickMedia(size_t index);
    void cancelPicker();

    // The screen point at the centre of the view (or at a point of it),
    // failing when a tap there would not reach it.
    gfx::Point tapPoint(const View& view) const;
    gfx::Point tapPoint(const View& view, gfx::Point pointInView) const;
    // The screen point at the view's centre.
    static gfx::Point centerOnScreen(const View& view);

    // Every window's view tree, front window first, one line per view:
    // indentation, class, frame, flags and text.
    std::string dump() const;

    // Renders the screen to a PNG at `scale` (pending layout run and, unless
    // told not to, visible tiles drawn first); false with the error when it
    // cannot be written (no file is left then).
    struct ScreenshotOptions {
        float scale = 1;
        bool completeTiles = true;
        bool realText = false;
    };
    bool screenshot(const std::string& path, const ScreenshotOptions& options, core::Error* error = nullptr);
    bool screenshot(const std::string& path, core::Error* error = nullptr) { return screenshot(path, {}, error); }
    static std::string dumpLine(const View& view);
    Responder* firstResponder() const;

private:
    void send(const std::vector<std::shared_ptr<Touch>>& touches);
    [[noreturn]] void fail(const std::string& reason, const std::vector<const View*>& views) const;
    void settle();
    TextInput& textInput() const;
    void press(ChoiceView& choice, int index);
    int indexOfTitle(const ChoiceView& choice, std::string_view title) const;
    std::string shownChoicesText() const;
    // The front controller of class T whose view is in a shown window.
    template<typename T> std::shared_ptr<T> shownController() const;

    std::map<int, std::shared_ptr<Touch>> m_fingers;
    int m_nextFinger = 1;
};

} // namespace ui::testing
