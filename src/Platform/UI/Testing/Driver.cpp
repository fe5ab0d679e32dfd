#include "Platform/UI/Testing/Driver.h"

#include "Platform/Core/Clock.h"
#include "Platform/Core/CodePoints.h"
#include "Platform/Core/Exception.h"
#include "Platform/Core/MemoryWarning.h"
#include "Platform/Core/RunLoop.h"
#include "Platform/UI/ActionSheet.h"
#include "Platform/UI/AlertView.h"
#include "Platform/UI/Application.h"
#include "Platform/UI/AudioSession.h"
#include "Platform/UI/BarButtonItem.h"
#include "Platform/UI/BarItemButton.h"
#include "Platform/UI/Button.h"
#include "Platform/UI/DimmingView.h"
#include "Platform/UI/DocumentInteractionController.h"
#include "Platform/UI/Event.h"
#include "Platform/UI/ImagePickerAlbumController.h"
#include "Platform/UI/ImagePickerAlbumListController.h"
#include "Platform/UI/ImagePickerController.h"
#include "Platform/UI/ImagePickerMoviePreviewController.h"
#include "Platform/UI/ImagePickerThumbnailView.h"
#include "Platform/UI/Keyboard.h"
#include "Platform/UI/MailComposeController.h"
#include "Platform/UI/NavigationBar.h"
#include "Platform/UI/NavigationController.h"
#include "Platform/UI/NavigationItem.h"
#include "Platform/UI/PhotoAlbum.h"
#include "Platform/UI/PopoverController.h"
#include "Platform/UI/PrintInteractionController.h"
#include "Platform/UI/Renderer.h"
#include "Platform/UI/Screen.h"
#include "Platform/UI/ScrollView.h"
#include "Platform/UI/SegmentedControl.h"
#include "Platform/UI/Slider.h"
#include "Platform/UI/Switch.h"
#include "Platform/UI/TableView.h"
#include "Platform/UI/Testing/PhotoAlbumRecorder.h"
#include "Platform/UI/TextField.h"
#include "Platform/UI/TiledLayer.h"
#include "Platform/UI/Toolbar.h"
#include "Platform/UI/Touch.h"
#include "Platform/UI/ViewTreeDump.h"
#include "Platform/UI/Window.h"

#include <algorithm>
#include <cmath>
#include <fmt/format.h>

namespace ui::testing {

namespace {

Application& application()
{
    auto* application = Application::shared();
    if (!application)
        throw core::Exception(Driver::Failure, "no application");
    return *application;
}

double touchNow()
{
    return core::RunLoop::main().clock()->monotonic();
}

std::vector<std::shared_ptr<Window>> windowsFrontFirst()
{
    return Window::windowsFrontToBack();
}


} // namespace

Driver::Driver() = default;

Driver::~Driver() = default;

void Driver::reset()
{
    m_fingers.clear();
}

void Driver::settle()
{
    core::RunLoop::main().runUntilIdle();
}

void Driver::launch(const core::Value& options)
{
    application().launch(options);
    settle();
}

void Driver::launchWithURL(const core::URL& url)
{
    launch(core::Value::makeDictionary({ { Application::launchOptionsURLKey, url.absoluteString() } }));
}

void Driver::resignActive()
{
    application().resignActive();
    settle();
}

void Driver::enterBackground()
{
    application().enterBackground();
    settle();
}

void Driver::enterForeground()
{
    application().enterForeground();
    settle();
}

void Driver::terminate()
{
    application().terminate();
    settle();
}

bool Driver::openURL(const core::URL& url)
{
    bool handled = application().handleOpenURL(url);
    settle();
    return handled;
}

void Driver::memoryWarning()
{
    core::postMemoryWarning();
    settle();
}

bool Driver::rotate(Orientation orientation)
{
    Orientation before = application().statusBarOrientation();
    application().setDeviceOrientation(orientation);
    settle();
    return application().statusBarOrientation() != before && application().statusBarOrientation() == orientation;
}

std::shared_ptr<Screen> Driver::connectScreen(const gfx::Rect& bounds, float scale)
{
    auto screen = Screen::create(bounds, scale);
    Screen::connect(screen);
    settle();
    return screen;
}

void Driver::disconnectScreen(const std::shared_ptr<Screen>& screen)
{
    Screen::disconnect(screen);
    settle();
}

// Touches

gfx::Point Driver::centerOnScreen(const View& view)
{
    gfx::Rect b = view.bounds();
    return view.layer().transformToRoot().apply(gfx::Point { b.midX(), b.midY() });
}

gfx::Point Driver::tapPoint(const View& view) const
{
    gfx::Rect b = view.bounds();
    return tapPoint(view, { b.midX(), b.midY() });
}

gfx::Point Driver::tapPoint(const View& view, gfx::Point pointInView) const
{
    application().layoutPendingViews();
    for (const View* v = &view; v; v = v->superview())
        if (v->isHidden())
            fail(fmt::format("cannot touch {}: {} is hidden", view.className(), v == &view ? "it" : v->className()),
                { &view, v });
    if (!view.window())
        fail(fmt::format("cannot touch {}: it is in no window", view.className()), { &view });
    gfx::Point point = view.layer().transformToRoot().apply(pointInView);
    for (auto& window : windowsFrontFirst()) {
        if (window->isHidden())
            continue;
        gfx::Point local = window->layer().transformToSuperlayer().inverted().apply(point);
        View* hit = window->hitTest(local, nullptr);
        if (!hit)
            continue;
        if (!hit->isDescendantOfView(&view))
            fail(fmt::format("cannot touch {}: {} would get the touch", view.className(), hit->className()),
                { &view, hit });
        return point;
    }
    fail(fmt::format("cannot touch {}: its centre is outside every window", view.className()), { &view });
}

void Driver::send(const std::vector<std::shared_ptr<Touch>>& touches)
{
    application().sendEvent(Event::touches(touches));
    settle();
}

std::vector<int> Driver::touchDown(const std::vector<gfx::Point>& points)
{
    std::vector<int> fingers;
    std::vector<std::shared_ptr<Touch>> touches;
    for (gfx::Point p : points) {
        auto touch = Touch::create(p, touchNow());
        int finger = m_nextFinger++;
        m_fingers[finger] = touch;
        fingers.push_back(finger);
        touches.push_back(touch);
    }
    send(touches);
    return fingers;
}

void Driver::touchMove(const std::vector<std::pair<int, gfx::Point>>& moves)
{
    std::vector<std::shared_ptr<Touch>> touches;
    for (auto& [finger, p] : moves) {
        auto it = m_fingers.find(finger);
        if (it == m_fingers.end())
            throw core::Exception(Failure, fmt::format("finger {} is not down", finger));
        it->second->update(Touch::Phase::Moved, p, touchNow());
        touches.push_back(it->second);
    }
    send(touches);
}

void Driver::touchUp(const std::vector<int>& fingers)
{
    std::vector<std::shared_ptr<Touch>> touches;
    for (int finger : fingers) {
        auto it = m_fingers.find(finger);
        if (it == m_fingers.end())
            throw core::Exception(Failure, fmt::format("finger {} is not down", finger));
        it->second->update(Touch::Phase::Ended, it->second->locationOnScreen(), touchNow());
        touches.push_back(it->second);
        m_fingers.erase(it);
    }
    send(touches);
}

void Driver::touchCancel(const std::vector<int>& fingers)
{
    std::vector<std::shared_ptr<Touch>> touches;
    for (int finger : fingers) {
        auto it = m_fingers.find(finger);
        if (it == m_fingers.end())
            throw core::Exception(Failure, fmt::format("finger {} is not down", finger));
        it->second->update(Touch::Phase::Cancelled, it->second->locationOnScreen(), touchNow());
        touches.push_back(it->second);
        m_fingers.erase(it);
    }
    send(touches);
}

void Driver::wait(double seconds)
{
    core::RunLoop::main().advance(seconds);
}

void Driver::hover(std::optional<gfx::Point> point)
{
    application().pointer().setHoverLocation(point);
}

void Driver::tap(const View& view)
{
    tap(tapPoint(view));
}

void Driver::tap(gfx::Point point)
{
    bool inside = false;
    for (auto& window : windowsFrontFirst())
        if (!window->isHidden() && window->frame().contains(point))
            inside = true;
    if (!inside)
        fail(fmt::format("cannot tap ({}, {}): outside every window", point.x, point.y), {});
    auto fingers = touchDown({ point });
    touchUp(fingers);
}

void Driver::doubleTap(const View& view)
{
    gfx::Point point = tapPoint(view);
    tap(point);
    wait(0.1);
    tap(point);
}

void Driver::longPress(const View& view, double seconds)
{
    auto fingers = touchDown({ tapPoint(view) });
    // Held in a scroll view's content, the press starts when the content
    // gets the touch.
    if (m_fingers.at(fingers[0])->isContentDelayed())
        wait(ScrollView::ContentTouchDelay);
    wait(seconds);
    touchUp(fingers);
}

void Driver::drag(gfx::Point from, gfx::Point to, int steps, double duration)
{
    steps = std::max(1, steps);
    auto fingers = touchDown({ from });
    for (int i = 1; i <= steps; ++i) {
        wait(duration / steps);
        float t = float(i) / float(steps);
        touchMove({ { fingers[0], { from.x + (to.x - from.x) * t, from.y + (to.y - from.y) * t } } });
    }
    touchUp(fingers);
}

void Driver::drag(const View& view, float dx, float dy, int steps, double duration)
{
    gfx::Point from = tapPoint(view);
    drag(from, { from.x + dx, from.y + dy }, steps, duration);
}

void Driver::dragAndHold(const View& view, float dx, float dy, int steps)
{
    gfx::Point from = tapPoint(view);
    steps = std::max(1, steps);
    auto fingers = touchDown({ from });
    for (int i = 1; i <= steps; ++i) {
        wait(0.02);
        float t = float(i) / float(steps);
        touchMove({ { fingers[0], { from.x + dx * t, from.y + dy * t } } });
    }
    wait(0.2);
    touchUp(fingers);
}

void Driver::fling(const View& view, float dx, float dy, float speed, int steps)
{
    float distance = std::hypot(dx, dy);
    drag(view, dx, dy, steps, speed > 0 ? distance / speed : 0.1);
}

void Driver::tapBarItem(const BarButtonItem& item)
{
    settle();
    auto view = item.view();
    if (!view || !view->window())
        fail(fmt::format("no bar shows {}", item.description()), {});
    tap(*view);
}

void Driver::tapBarItem(std::string_view action)
{
    settle();
    for (auto& window : Window::windowsFrontToBack()) {
        std::vector<std::shared_ptr<BarButtonItem>> shown;
        for (auto& bar : window->findViews<NavigationBar>()) {
            if (bar->isHidden() || !bar->topItem())
                continue;
            for (auto& item : { bar->topItem()->leftBarButtonItem(), bar->topItem()->rightBarButtonItem() })
                if (item)
                    shown.push_back(item);
        }
        for (auto& toolbar : window->findViews<Toolbar>())
            if (!toolbar->isHidden())
                shown.insert(shown.end(), toolbar->items().begin(), toolbar->items().end());
        for (auto& item : shown)
            if (item->hasAction(action) && item->view())
                return tapBarItem(*item);
    }
    fail(fmt::format("no bar item shown with the action \"{}\"", action), {});
}

void Driver::tapBack()
{
    settle();
    for (auto& window : Window::windowsFrontToBack())
        for (auto& bar : window->findViews<NavigationBar>()) {
            auto* back = dynamic_cast<BarItemButton*>(bar->leftButtonView());
            if (!bar->isHidden() && back && back->isBackButton())
                return tap(*back);
        }
    fail("no navigation bar shows a back button", {});
}

std::vector<std::string> Driver::stackTitles(const NavigationController& navigation)
{
    std::vector<std::string> titles;
    for (auto& controller : navigation.viewControllers())
        titles.push_back(controller->title());
    return titles;
}

std::vector<ViewController*> Driver::modalChain(const ViewController& controller)
{
    std::vector<ViewController*> chain;
    for (ViewController* c = controller.modalViewController(); c; c = c->modalViewController())
        chain.push_back(c);
    return chain;
}

namespace {

TableViewCell& shownCell(const TableView& table, IndexPath path)
{
    auto* cell = table.cellForRow(path);
    if (!cell)
        throw core::Exception(Driver::Failure, fmt::format("row {} is not shown", path.description()));
    return *cell;
}

} // namespace

void Driver::tapRow(const TableView& table, IndexPath path)
{
    settle();
    tap(shownCell(table, path));
}

void Driver::tapAccessory(const TableView& table, IndexPath path)
{
    settle();
    View* accessory = shownCell(table, path).shownAccessoryView();
    if (!accessory)
        fail(fmt::format("row {} has no accessory", path.description()), {});
    tap(*accessory);
}

void Driver::tapIndexTitle(const TableView& table, int index)
{
    settle();
    View* index_view = table.indexView();
    int count = int(table.sectionIndexTitles().size());
    if (!index_view || index_view->isHidden() || index < 0 || index >= count)
        fail(fmt::format("no index title {}", index), {});
    float step = index_view->bounds().height() / float(count);
    tapAt(*index_view, { index_view->bounds().width() / 2, step * (float(index) + 0.5f) });
}

void Driver::swipeRow(const TableView& table, IndexPath path)
{
    settle();
    swipe(shownCell(table, path), 2);
    settle();
}

void Driver::confirmDeletion(const TableView& table)
{
    settle();
    for (auto* cell : table.visibleCells())
        if (auto* button = cell->deleteConfirmationButton())
            return tap(*button);
    fail("no row shows a delete confirmation", {});
}

void Driver::deleteRow(TableView& table, IndexPath path)
{
    settle();
    if (!table.isEditing())
        fail("the table is not editing", { &table });
    shownCell(table, path);
    table.commitEdit(path);
    settle();
}

void Driver::moveRow(TableView& table, IndexPath from, IndexPath to)
{
    settle();
    if (!table.isEditing())
        fail("the table is not editing", { &table });
    table.moveRow(from, to);
    settle();
}

void Driver::scrollToRow(TableView& table, IndexPath path)
{
    table.scrollToRow(path, TableView::ScrollPosition::Middle, false);
    settle();
}

std::vector<std::string> Driver::cellTexts(const TableView& table)
{
    settle();
    std::vector<std::string> texts;
    for (auto* cell : table.visibleCells())
        texts.push_back(cell->debugText());
    return texts;
}

void Driver::pinch(const View& view, float scale, int steps, double duration)
{
    gfx::Point c = tapPoint(view);
    gfx::Rect frame = view.convertRect(view.bounds(), nullptr);
    float half = std::max(5.0f, std::min(50.0f, frame.width() / 4));
    steps = std::max(1, steps);
    auto fingers = touchDown({ { c.x - half, c.y }, { c.x + half, c.y } });
    for (int i = 1; i <= steps; ++i) {
        wait(duration / steps);
        float d = half * (1 + (scale - 1) * float(i) / float(steps));
        touchMove({ { fingers[0], { c.x - d, c.y } }, { fingers[1], { c.x + d, c.y } } });
    }
    touchUp(fingers);
}

void Driver::swipe(const View& view, unsigned direction, float distance, double duration)
{
    gfx::Point from = tapPoint(view);
    float dx = (direction & 1) ? distance : (direction & 2) ? -distance : 0;
    float dy = (direction & 8) ? distance : (direction & 4) ? -distance : 0;
    // In the view's directions, whichever way the interface is turned.
    gfx::Rect b = view.bounds();
    gfx::Point to = view.layer().transformToRoot().apply(gfx::Point { b.midX() + dx, b.midY() + dy });
    drag(from, to, 5, duration);
}

void Driver::tapAt(const View& view, gfx::Point pointInView)
{
    tap(tapPoint(view, pointInView));
}

void Driver::toggle(const Switch& control)
{
    tap(control);
}

void Driver::slide(const Slider& slider, float value, int steps)
{
    gfx::Rect b = slider.bounds();
    gfx::Rect track = slider.trackRectForBounds(b);
    gfx::Rect from = slider.thumbRectForBounds(b, track, slider.value());
    gfx::Rect to = slider.thumbRectForBounds(b, track, value);
    gfx::Point start = tapPoint(slider, { from.midX(), from.midY() });
    gfx::Point end = slider.layer().transformToRoot().apply(gfx::Point { to.midX(), to.midY() });
    drag(start, end, steps, 0.2);
}

void Driver::tapSegment(const SegmentedControl& control, size_t segment)
{
    gfx::Rect r = control.rectForSegment(segment);
    tapAt(control, { r.midX(), r.midY() });
}

TextInput& Driver::textInput() const
{
    auto* input = dynamic_cast<TextInput*>(firstResponder());
    if (!input)
        throw core::Exception(Failure, "cannot type: the first responder is no text input\n" + dump());
    return *input;
}

void Driver::type(std::string_view text)
{
    auto& input = textInput();
    auto keep = dynamic_cast<Responder&>(input).shared_from_this();
    core::forEachCodePoint(text, [&](const core::CodePoint& point, size_t offset) {
        input.insertText(text.substr(offset, point.length));
    });
    settle();
}

void Driver::paste(std::string_view text)
{
    textInput().paste(text);
    settle();
}

bool Driver::key(KeyCommand command)
{
    bool taken = Application::shared() && Application::shared()->sendKeyCommand(command);
    settle();
    return taken;
}

void Driver::deleteBackward()
{
    textInput().deleteBackward();
    settle();
}

void Driver::pressReturn()
{
    textInput().returnKeyPressed();
    settle();
}

bool Driver::copy()
{
    bool copied = textInput().copy();
    settle();
    return copied;
}

bool Driver::cut()
{
    bool cut = textInput().cut();
    settle();
    return cut;
}

void Driver::clear(const TextField& field)
{
    if (!field.isClearButtonVisible())
        fail("cannot clear the field: its clear button is not showing", { &field });
    gfx::Rect r = field.clearButtonRectForBounds(field.bounds());
    tapAt(field, { r.midX(), r.midY() });
}

bool Driver::keyboardVisible() const
{
    return Keyboard::shared().isVisible();
}

void Driver::remoteControl(int subtype)
{
    application().sendEvent(Event::remoteControl(subtype));
    settle();
}

void Driver::shake()
{
    application().sendEvent(Event::motion(Event::MotionShake));
    settle();
}

// Alerts, sheets and services

std::vector<std::shared_ptr<ChoiceView>> Driver::shownChoices() const
{
    std::vector<std::shared_ptr<ChoiceView>> shown;
    for (auto& window : windowsFrontFirst()) {
        if (window->isHidden())
            continue;
        auto& subviews = window->subviews();
        for (auto it = subviews.rbegin(); it != subviews.rend(); ++it)
            if (auto choice = std::dynamic_pointer_cast<ChoiceView>(*it); choice && choice->isVisible())
                shown.push_back(choice);
    }
    return shown;
}

std::string Driver::shownChoicesText() const
{
    std::string text;
    for (auto& choice : shownChoices()) {
        text += "\n  " + dumpLine(*choice) + ":";
        for (int i = 0; i < choice->numberOfButtons(); ++i)
            text += fmt::format(" [{}] \"{}\"", i, choice->buttonTitle(i));
    }
    return text.empty() ? "\n  nothing is shown" : text;
}

std::shared_ptr<AlertView> Driver::alert() const
{
    for (auto& choice : shownChoices())
        if (auto alert = std::dynamic_pointer_cast<AlertView>(choice))
            return alert;
    throw core::Exception(Failure, "no alert is shown; shown:" + shownChoicesText());
}

std::shared_ptr<ActionSheet> Driver::actionSheet() const
{
    for (auto& choice : shownChoices())
        if (auto sheet = std::dynamic_pointer_cast<ActionSheet>(choice))
            return sheet;
    throw core::Exception(Failure, "no action sheet is shown; shown:" + shownChoicesText());
}

int Driver::indexOfTitle(const ChoiceView& choice, std::string_view title) const
{
    for (int i = 0; i < choice.numberOfButtons(); ++i)
        if (choice.buttonTitle(i) == title)
            return i;
    throw core::Exception(Failure, fmt::format("no button \"{}\"; shown:{}", title, shownChoicesText()));
}

void Driver::press(ChoiceView& choice, int index)
{
    Button* button = choice.button(index);
    if (!button || button->isHidden())
        throw core::Exception(Failure, fmt::format("no button {} to press; shown:{}", index, shownChoicesText()));
    tap(*button);
    settle();
}

void Driver::pressAlertButton(int index)
{
    press(*alert(), index);
}

void Driver::pressAlertButton(std::string_view title)
{
    auto shown = alert();
    press(*shown, indexOfTitle(*shown, title));
}

void Driver::pressSheetButton(int index)
{
    press(*actionSheet(), index);
}

void Driver::pressSheetButton(std::string_view title)
{
    auto shown = actionSheet();
    press(*shown, indexOfTitle(*shown, title));
}

void Driver::tapOutsideSheet()
{
    auto sheet = actionSheet();
    Window* window = sheet->window();
    gfx::Rect frame = sheet->frame();
    gfx::Rect bounds = window->bounds();
    // The middle of the larger free band above or below the sheet.
    gfx::Point point = frame.minY() - bounds.minY() >= bounds.maxY() - frame.maxY()
        ? gfx::Point { bounds.midX(), (bounds.minY() + frame.minY()) / 2 }
        : gfx::Point { bounds.midX(), (frame.maxY() + bounds.maxY()) / 2 };
    tap(window->layer().transformToSuperlayer().apply(point));
}

const std::vector<core::URL>& Driver::openedURLs() const
{
    return application().openedURLs();
}

size_t Driver::completeAlbumSaves(std::optional<core::Error> error)
{
    auto recorder = std::dynamic_pointer_cast<PhotoAlbumRecorder>(PhotoAlbum::backend());
    if (!recorder)
        throw core::Exception(Failure, "the photo album is not the test recorder");
    return recorder->complete(std::move(error));
}

size_t Driver::albumSaveCount() const
{
    auto recorder = std::dynamic_pointer_cast<PhotoAlbumRecorder>(PhotoAlbum::backend());
    return recorder ? recorder->saves().size() : 0;
}

void Driver::audioInterruption(bool begins)
{
    AudioSession::shared().interruption(begins);
    settle();
}

void Driver::setPrintingAvailable(bool available)
{
    PrintInteractionController::setPrintingAvailable(available);
}

void Driver::setOpenInApplications(std::vector<std::string> applications)
{
    DocumentInteractionController::setApplications(std::move(applications));
}

void Driver::completePrint(bool completed, std::optional<core::Error> error)
{
    auto& panel = PrintInteractionController::shared();
    if (!panel.isPresented())
        throw core::Exception(Failure, "no print panel is shown");
    panel.finish(completed, error ? &*error : nullptr);
    settle();
}

std::shared_ptr<DocumentInteractionController> Driver::openInMenu() const
{
    auto menus = DocumentInteractionController::shownMenus();
    if (menus.empty())
        throw core::Exception(Failure, "no open-in menu is shown");
    return menus.back();
}

void Driver::chooseOpenInApplication(const std::string& application)
{
    auto menu = openInMenu();
    auto applications = menu->menuApplications();
    bool offered = std::find(applications.begin(), applications.end(), application) != applications.end();
    // Through the menu's sheet when it shows one, as a person picks.
    if (offered && menu->menuSheet() && menu->menuSheet()->isVisible()) {
        auto sheet = menu->menuSheet();
        press(*sheet, indexOfTitle(*sheet, application));
        return settle();
    }
    if (!menu->chooseApplication(application)) {
        std::string listed;
        for (auto& name : menu->menuApplications())
            listed += " \"" + name + "\"";
        throw core::Exception(Failure,
            fmt::format("no \"{}\" on the open-in menu of {}; it lists:{}", application, menu->name(),
                listed.empty() ? " nothing" : listed));
    }
    settle();
}

std::shared_ptr<PopoverController> Driver::popover() const
{
    auto shown = PopoverController::shownPopovers();
    if (shown.empty())
        throw core::Exception(Failure, "no popover is shown");
    return shown.back();
}

void Driver::tapOutsidePopover()
{
    auto shown = popover();
    View* container = shown->popoverView();
    Window* window = container->window();
    settle();
    application().layoutPendingViews();
    gfx::Rect bounds = window->bounds();
    // The first of the corners and edge middles where a tap reaches the
    // popover's dimming view.
    for (float fy : { 0.02f, 0.5f, 0.98f })
        for (float fx : { 0.02f, 0.5f, 0.98f }) {
            gfx::Point point { bounds.minX() + bounds.width() * fx, bounds.minY() + bounds.height() * fy };
            View* hit = window->hitTest(point);
            if (dynamic_cast<DimmingView*>(hit) && hit->subviews().empty()) {
                auto& siblings = window->subviews();
                auto at = std::find_if(siblings.begin(), siblings.end(), [&](auto& v) { return v.get() == container; });
                if (at != siblings.begin() && at != siblings.end() && (at - 1)->get() == hit)
                    return tap(window->layer().transformToSuperlayer().apply(point));
            }
        }
    fail("cannot tap outside the popover: its window has no free place", { container });
}

template<typename T> std::shared_ptr<T> Driver::shownController() const
{
    for (auto& window : windowsFrontFirst()) {
        if (window->isHidden())
            continue;
        std::shared_ptr<T> found;
        window->visitDescendants([&](const std::shared_ptr<View>& view) {
            if (!found)
                if (auto* controller = dynamic_cast<T*>(view->controller()))
                    found = std::static_pointer_cast<T>(controller->shared_from_this());
        });
        if (found)
            return found;
    }
    return nullptr;
}

void Driver::setCanSendMail(bool can)
{
    MailComposeController::setCanSendMail(can);
}

std::shared_ptr<MailComposeController> Driver::mailComposer() const
{
    if (auto composer = shownController<MailComposeController>())
        return composer;
    throw core::Exception(Failure, "no mail composer is shown");
}

void Driver::finishMail(int result, std::optional<core::Error> error)
{
    mailComposer()->finish(result, error ? &*error : nullptr);
    settle();
}

std::shared_ptr<ImagePickerController> Driver::imagePicker() const
{
    if (auto picker = shownController<ImagePickerController>())
        return picker;
    throw core::Exception(Failure, "no image picker is shown");
}

void Driver::openPickerAlbum(std::string_view name)
{
    auto picker = imagePicker();
    auto& albums = ImagePickerController::library();
    std::string listed;
    for (size_t i = 0; i < albums.size(); ++i) {
        if (albums[i].name != name) {
            listed += " \"" + albums[i].name + "\"";
            continue;
        }
        // Back on the album list first, as a person would go.
        if (picker->viewControllers().size() > 1) {
            picker->popToRootViewController(false);
            settle();
        }
        auto list = picker->albumListController();
        if (!list)
            throw core::Exception(Failure, "the picker shows no album list");
        settle();
        scrollToRow(list->tableView(), { 0, int(i) });
        tapRow(list->tableView(), { 0, int(i) });
        wait(NavigationController::TransitionDuration + 0.05);
        return settle();
    }
    throw core::Exception(Failure, fmt::format("no album \"{}\"; the library has:{}", name, listed.empty() ? " nothing" : listed));
}

void Driver::pickMedia(size_t index)
{
    auto picker = imagePicker();
    auto album = picker->openAlbumIndex();
    if (!album)
        throw core::Exception(Failure, "cannot pick: no album is open");
    auto& media = ImagePickerController::library()[*album].media;
    if (!picker->offers(index)) {
        std::string listed;
        for (size_t i = 0; i < media.size(); ++i)
            listed += fmt::format(" [{}] \"{}\"", i, media[i].mediaType);
        std::string offered;
        for (auto& type : picker->mediaTypes())
            offered += " \"" + type + "\"";
        throw core::Exception(Failure, fmt::format("cannot pick {} in \"{}\"; it holds:{}; the picker offers:{}", index,
            ImagePickerController::library()[*album].name, listed.empty() ? " nothing" : listed, offered));
    }
    // From a movie's preview back to the album's grid first.
    auto grid = picker->albumController();
    if (!grid)
        throw core::Exception(Failure, "cannot pick: the album's screen is not in the picker");
    if (picker->topViewController() != grid.get()) {
        picker->popToViewController(grid.get(), false);
        settle();
    }
    settle();
    grid->scrollToMedia(index, false);
    settle();
    grid->view()->layoutIfNeeded();
    auto* square = grid->thumbnailView(index);
    if (!square)
        throw core::Exception(Failure, fmt::format("the square of item {} is not shown", index));
    tap(*square);
    settle();
    // A movie's preview: its Choose.
    if (auto preview = picker->moviePreviewController()) {
        wait(NavigationController::TransitionDuration + 0.05);
        settle();
        tapBarItem(*preview->chooseItem());
    }
    wait(NavigationController::TransitionDuration + 0.05);
    settle();
}

void Driver::cancelPicker()
{
    imagePicker()->cancel();
    settle();
}

// Reading back

std::string Driver::dumpLine(const View& view)
{
    return ViewTreeDump::line(view);
}

std::string Driver::dump() const
{
    return ViewTreeDump::dump();
}

Responder* Driver::firstResponder() const
{
    auto window = application().keyWindow();
    return window ? window->firstResponder() : nullptr;
}

void Driver::fail(const std::string& reason, const std::vector<const View*>& views) const
{
    std::string message = reason;
    for (const View* view : views) {
        if (!view)
            continue;
        message += "\n  " + dumpLine(*view);
        for (const View* up = view->superview(); up; up = up->superview())
            message += "\n    in " + dumpLine(*up);
    }
    throw core::Exception(Failure, message);
}

bool Driver::screenshot(const std::string& path, const ScreenshotOptions& options, core::Error* error)
{
    for (auto& window : Window::allWindows())
        window->layoutIfNeeded();
    if (options.completeTiles)
        TiledLayer::renderAllVisibleTilesSynchronously();
    RenderOptions render;
    render.scale = options.scale;
    render.realText = options.realText;
    return Renderer::renderScreenToPNG(path, render, error);
}

} // namespace ui::testing
