#include "Platform/UI/ViewController.h"

#include "Platform/Core/Exception.h"
#include "Platform/Core/Localized.h"
#include "Platform/Core/NotificationCenter.h"
#include "Platform/Core/RunLoop.h"
#include "Platform/UI/Application.h"
#include "Platform/UI/BarButtonItem.h"
#include "Platform/UI/Checks.h"
#include "Platform/UI/DimmingView.h"
#include "Platform/UI/LiveObjects.h"
#include "Platform/UI/NavigationController.h"
#include "Platform/UI/NavigationItem.h"
#include "Platform/UI/Screen.h"
#include "Platform/UI/Toolbar.h"
#include "Platform/UI/Window.h"

#include <algorithm>
#include <fmt/format.h>

namespace ui {

namespace {

// How dark what lies behind a form or page sheet turns.
constexpr float SheetDimming = 0.4f;

// Takes a presented view out of its window with the dimming view that a
// sheet on the tablet stands on.
void removeSheet(View& view)
{
    View* superview = view.superview();
    if (!superview)
        return;
    auto& siblings = superview->subviews();
    auto at = std::find_if(siblings.begin(), siblings.end(), [&](const auto& sibling) { return sibling.get() == &view; });
    std::shared_ptr<View> below;
    if (at != siblings.end() && at != siblings.begin() && dynamic_cast<DimmingView*>((at - 1)->get()))
        below = *(at - 1);
    view.removeFromSuperview();
    if (below)
        below->removeFromSuperview();
}

// A sheet's size on a screen of `screen` points: its own, within the
// screen, on a tablet's; the whole screen on a phone's, where a window
// made small while the sheet shows leaves it.
gfx::Size sheetSize(const ViewController& sheet, gfx::Size screen)
{
    if (Screen::userInterfaceIdiom() != core::Device::Idiom::Tablet)
        return screen;
    gfx::Size wanted = sheet.modalPresentationStyle() == ViewController::PresentationStyle::PageSheet
        ? gfx::Size { ViewController::PageSheetWidth, screen.height }
        : sheet.formSheetContentSize();
    return { std::min(wanted.width, screen.width), std::min(wanted.height, screen.height) };
}

// The one modal transition that may run at a time: its end, and a token
// that a completed or superseded transition drops.
struct ModalTransition {
    std::function<void()> finish;
    std::shared_ptr<int> token;
};

ModalTransition& modalTransition()
{
    static ModalTransition transition;
    return transition;
}

void runModalTransition(bool animated, std::function<void()> finish)
{
    auto& transition = modalTransition();
    if (!animated) {
        finish();
        return;
    }
    transition.finish = std::move(finish);
    transition.token = std::make_shared<int>(0);
    std::weak_ptr<int> token = transition.token;
    core::RunLoop::main().performAfter(ViewController::ModalTransitionDuration, [token] {
        if (!token.expired())
            ViewController::completeModalTransition();
    });
}

} // namespace

// The window's view of rotation, kept by the root controller: the deepest
// presented controller decides and hears; every controller of the chain
// takes the new orientation. It also knows which presented controllers
// show as sheets: a sheet presented on a tablet's screen stays one while it
// shows (filling the screen while a desktop window is phone-sized), and one
// presented on a phone's becomes one when the window grows to a tablet's.
class ViewController::Rotation : public RotationClient {
public:
    explicit Rotation(ViewController* root) : m_root(root) { }
    void rememberSheet(ViewController& sheet) { m_sheets.push_back(sheet.weak_from_this()); }
    void forgetSheet(const ViewController& sheet)
    {
        std::erase_if(m_sheets, [&](const std::weak_ptr<core::Object>& shown) {
            auto controller = shown.lock();
            return !controller || controller.get() == &sheet;
        });
    }
    bool isSheet(const ViewController& controller) const
    {
        return std::any_of(m_sheets.begin(), m_sheets.end(),
            [&](const std::weak_ptr<core::Object>& shown) { return shown.lock().get() == &controller; });
    }
    bool shouldAutorotate(Orientation orientation) override
    {
        return m_root->deepestPresented()->shouldAutorotate(orientation);
    }
    void willRotate(Orientation orientation, double duration) override
    {
        m_root->deepestPresented()->willRotate(orientation, duration);
        for (ViewController* c = m_root; c; c = c->m_modal.get())
            for (ViewController* contained : c->containedControllers())
                contained->setInterfaceOrientation(orientation);
    }
    void didRotate(Orientation fromOrientation) override { m_root->deepestPresented()->didRotate(fromOrientation); }
    std::vector<View*> rotatingViews() override
    {
        std::vector<View*> views;
        if (m_root->isViewLoaded())
            views.push_back(m_root->m_view.get());
        for (ViewController* c = m_root->m_modal.get(); c; c = c->m_modal.get())
            if (c->isViewLoaded() && c->m_view->window() && !isSheet(*c))
                views.push_back(c->m_view.get());
        return views;
    }
    // The sheets, each given its size on the screen as it now stands (the
    // application turns and centres them).
    std::vector<View*> rotatingSheets() override
    {
        uncoverPresenters();
        std::vector<View*> views;
        auto* application = Application::shared();
        gfx::Size screen = application ? application->applicationFrame().size : gfx::Size {};
        if (application && isLandscape(application->statusBarOrientation()))
            std::swap(screen.width, screen.height);
        for (ViewController* c = m_root->m_modal.get(); c; c = c->m_modal.get())
            if (c->isViewLoaded() && c->m_view->window() && isSheet(*c)) {
                gfx::Size size = sheetSize(*c, screen);
                c->m_view->setBounds({ 0, 0, size.width, size.height });
                views.push_back(c->m_view.get());
            }
        return views;
    }

private:
    // A sheet presented on a phone's screen covers its presenter; once the
    // window has a tablet's size it is a panel over its presenter again,
    // which comes back into view and hears it appear.
    void uncoverPresenters()
    {
        if (Screen::userInterfaceIdiom() != core::Device::Idiom::Tablet)
            return;
        for (ViewController* c = m_root->m_modal.get(); c; c = c->m_modal.get()) {
            Window* window = c->isViewLoaded() ? c->m_view->window() : nullptr;
            ViewController* presenter = c->presentingViewController();
            auto superview = c->m_coveredSuperview.lock();
            if (!window || c->m_modal || c->coversPresenter() || isSheet(*c) || !presenter || !superview
                || !presenter->m_view || presenter->m_view->superview())
                continue;
            auto keep = presenter->shared_from_this();
            superview->insertSubview(presenter->m_view, std::min(c->m_coveredIndex, superview->subviews().size()));
            c->m_coveredSuperview.reset();
            window->insertSubviewBelow(DimmingView::create(window->bounds(), SheetDimming), c->m_view.get());
            rememberSheet(*c);
            presenter->viewWillAppear(false);
            presenter->viewDidAppear(false);
        }
    }

    ViewController* m_root; // the root owns this object
    std::vector<std::weak_ptr<core::Object>> m_sheets;
};

ViewController::ViewController()
{
    ++LiveObjects::controllers;
    m_memoryWarning = core::NotificationCenter::defaultCenter().observe(Application::didReceiveMemoryWarningNotification,
        nullptr, [this](const core::Notification&) { didReceiveMemoryWarning(); });
    if (auto* application = Application::shared())
        m_orientation = application->statusBarOrientation();
}

ViewController::~ViewController()
{
    if (m_view && m_view->controller() == this)
        m_view->setController(nullptr);
    if (m_navigationItem)
        m_navigationItem->setChangeHandler({});
    --LiveObjects::controllers;
}

const std::shared_ptr<View>& ViewController::view()
{
    if (!m_view) {
        requireMainThread("ViewController::view");
        auto keep = shared_from_this();
        loadView();
        if (!m_view)
            throw core::Exception(core::Exception::InternalInconsistency,
                fmt::format("{}: loadView made no view", description()));
        viewDidLoad();
    }
    return m_view;
}

void ViewController::setView(std::shared_ptr<View> view)
{
    if (m_view && m_view->controller() == this)
        m_view->setController(nullptr);
    m_view = std::move(view);
    if (m_view)
        m_view->setController(this);
}

void ViewController::loadView()
{
    gfx::Rect frame = Application::shared() ? Application::shared()->applicationFrame() : gfx::Rect { 0, 20, 320, 460 };
    auto view = View::create({ 0, 0, frame.width(), frame.height() });
    view->setAutoresizingMask(View::FlexibleWidth | View::FlexibleHeight);
    setView(view);
}

void ViewController::didReceiveMemoryWarning()
{
    if (!m_view || m_view->window())
        return;
    auto keep = shared_from_this();
    if (m_view->superview())
        m_view->removeFromSuperview();
    setView(nullptr);
    viewDidUnload();
}

void ViewController::setTitle(std::string title)
{
    m_title = std::move(title);
    if (m_navigationItem)
        m_navigationItem->setTitle(m_title);
}

NavigationItem& ViewController::navigationItem()
{
    return *sharedNavigationItem();
}

std::shared_ptr<NavigationItem> ViewController::sharedNavigationItem()
{
    if (!m_navigationItem)
        m_navigationItem = NavigationItem::create(m_title);
    return m_navigationItem;
}

void ViewController::setToolbarItems(std::vector<std::shared_ptr<BarButtonItem>> items, bool animated)
{
    m_toolbarItems = std::move(items);
    if (auto* navigation = navigationController(); navigation && navigation->topViewController() == this)
        navigation->toolbar().setItems(m_toolbarItems, animated);
}

void ViewController::setEditing(bool editing, bool)
{
    m_editing = editing;
    if (m_editButton) {
        m_editButton->setTitle(core::localized(editing ? "Done" : "Edit", "Toolkit"));
        m_editButton->setStyle(editing ? BarButtonItem::Style::Done : BarButtonItem::Style::Bordered);
    }
}

std::shared_ptr<BarButtonItem> ViewController::editButtonItem()
{
    if (!m_editButton) {
        m_editButton = BarButtonItem::create(core::localized(m_editing ? "Done" : "Edit", "Toolkit"),
            m_editing ? BarButtonItem::Style::Done : BarButtonItem::Style::Bordered);
        m_editButton->addTarget(shared_from_this(), "toggleEditing", [this](BarButtonItem&) {
            setEditing(!isEditing(), true);
        });
    }
    return m_editButton;
}

// Containment

void ViewController::setParent(ViewController* parent)
{
    m_parentRaw = parent;
    m_parent = parent ? parent->weak_from_this() : std::weak_ptr<core::Object> {};
}

ViewController* ViewController::parentViewController() const
{
    if (m_parentRaw && !m_parent.expired())
        return m_parentRaw;
    return presentingViewController();
}

NavigationController* ViewController::navigationController() const
{
    for (ViewController* c = m_parentRaw && !m_parent.expired() ? m_parentRaw : nullptr; c;
         c = c->m_parentRaw && !c->m_parent.expired() ? c->m_parentRaw : nullptr)
        if (auto* navigation = dynamic_cast<NavigationController*>(c))
            return navigation;
    return nullptr;
}

ViewController* ViewController::presentingViewController() const
{
    return static_cast<ViewController*>(m_presenter.lock().get());
}

ViewController* ViewController::outermost()
{
    ViewController* c = this;
    while (c->m_parentRaw && !c->m_parent.expired())
        c = c->m_parentRaw;
    return c;
}

ViewController* ViewController::deepestPresented()
{
    ViewController* c = this;
    while (c->m_modal)
        c = c->m_modal.get();
    return c;
}

// The modal chain

bool ViewController::coversPresenter() const
{
    return m_presentationStyle == PresentationStyle::FullScreen
        || m_presentationStyle == PresentationStyle::CurrentContext
        || Screen::userInterfaceIdiom() != core::Device::Idiom::Tablet;
}

bool ViewController::isModalTransitionRunning()
{
    return modalTransition().finish != nullptr;
}

void ViewController::completeModalTransition()
{
    auto& transition = modalTransition();
    transition.token.reset();
    if (auto finish = std::exchange(transition.finish, nullptr)) {
        finish();
        if (auto* application = Application::shared())
            application->transitionDidEnd();
    }
}

void ViewController::resetForTesting()
{
    modalTransition() = {};
}

void ViewController::presentModalViewController(const std::shared_ptr<ViewController>& controller, bool animated)
{
    requireMainThread("ViewController::presentModalViewController");
    if (!controller)
        throw core::Exception(core::Exception::InvalidArgument, "ViewController::presentModalViewController: no controller");
    completeModalTransition();
    ViewController* presenter = outermost();
    if (presenter->m_modal)
        throw core::Exception(core::Exception::InternalInconsistency,
            fmt::format("ViewController::presentModalViewController: {} already presents {}", presenter->description(),
                presenter->m_modal->description()));
    if (controller->presentingViewController() || controller->m_parentRaw || controller.get() == presenter)
        throw core::Exception(core::Exception::InvalidArgument,
            fmt::format("ViewController::presentModalViewController: {} is already shown", controller->description()));
    auto keep = presenter->shared_from_this();
    presenter->m_modal = controller;
    controller->m_presenter = presenter->weak_from_this();
    controller->m_orientation = presenter->m_orientation;
    View& presented = *controller->view();
    Window* window = presenter->isViewLoaded() ? presenter->m_view->window() : nullptr;
    if (!window)
        return;
    View& presenting = *presenter->m_view;
    bool covers = controller->coversPresenter();
    gfx::Size size = covers ? presenting.bounds().size : sheetSize(*controller, presenting.bounds().size);
    presented.setTransform(presenting.transform());
    presented.setBounds({ 0, 0, size.width, size.height });
    presented.setCenter(presenting.center());
    if (!covers) {
        if (auto rotation = std::dynamic_pointer_cast<Rotation>(window->rotationClient()))
            rotation->rememberSheet(*controller);
        // Right below the sheet, gone with it (removeSheet).
        window->addSubview(DimmingView::create(window->bounds(), SheetDimming));
    }
    window->addSubview(controller->m_view);
    if (covers)
        presenter->viewWillDisappear(animated);
    controller->viewWillAppear(animated);
    std::weak_ptr<core::Object> weakPresenter = presenter->weak_from_this();
    std::weak_ptr<core::Object> weakPresented = controller->weak_from_this();
    runModalTransition(animated, [weakPresenter, weakPresented, covers, animated] {
        auto presenter = std::static_pointer_cast<ViewController>(weakPresenter.lock());
        auto presented = std::static_pointer_cast<ViewController>(weakPresented.lock());
        if (!presenter || !presented)
            return;
        if (covers && presenter->m_view && presenter->m_view->superview()) {
            View* superview = presenter->m_view->superview();
            presented->m_coveredSuperview = std::static_pointer_cast<View>(superview->shared_from_this());
            auto& siblings = superview->subviews();
            presented->m_coveredIndex = size_t(std::find(siblings.begin(), siblings.end(), presenter->m_view) - siblings.begin());
            presenter->m_view->removeFromSuperview();
            presenter->viewDidDisappear(animated);
        }
        presented->viewDidAppear(animated);
    });
}

void ViewController::dismissModalViewController(bool animated)
{
    requireMainThread("ViewController::dismissModalViewController");
    completeModalTransition();
    ViewController* base = outermost();
    if (!base->m_modal) {
        base = base->presentingViewController();
        if (!base)
            return;
    }
    auto keepBase = std::static_pointer_cast<ViewController>(base->shared_from_this());
    auto first = base->m_modal;
    ViewController* top = base->deepestPresented();
    auto keepTop = top->shared_from_this();
    bool topShown = top->m_view && top->m_view->window();
    bool uncovers = false;
    if (auto superview = first->m_coveredSuperview.lock(); superview && base->m_view && !base->m_view->superview()) {
        superview->insertSubview(base->m_view, std::min(first->m_coveredIndex, superview->subviews().size()));
        uncovers = true;
    }
    if (topShown)
        top->viewWillDisappear(animated);
    if (uncovers)
        base->viewWillAppear(animated);
    // The chain leaves the base at once, so that the next present may follow.
    std::vector<std::shared_ptr<ViewController>> chain;
    for (auto c = base->m_modal; c; c = c->m_modal)
        chain.push_back(c);
    base->m_modal.reset();
    runModalTransition(animated, [chain, keepBase, topShown, uncovers, animated] {
        for (auto& c : chain) {
            Window* window = c->m_view ? c->m_view->window() : nullptr;
            if (auto rotation = window ? std::dynamic_pointer_cast<Rotation>(window->rotationClient()) : nullptr)
                rotation->forgetSheet(*c);
            if (c->m_view)
                removeSheet(*c->m_view);
        }
        if (topShown)
            chain.back()->viewDidDisappear(animated);
        if (uncovers)
            keepBase->viewDidAppear(animated);
        for (auto& c : chain) {
            c->m_presenter.reset();
            c->m_modal.reset();
            c->m_coveredSuperview.reset();
        }
    });
}

std::shared_ptr<RotationClient> ViewController::rotationClient()
{
    if (!m_rotation)
        m_rotation = std::make_shared<Rotation>(this);
    return m_rotation;
}

Responder* ViewController::nextResponder() const
{
    if (m_view && m_view->superview())
        return m_view->superview();
    if (m_view && m_view->window())
        return m_view->window();
    return nullptr;
}

std::string ViewController::description() const
{
    return fmt::format("<{}: {} \"{}\">", className(), fmt::ptr(this), m_title);
}

namespace {

bool isNamed(const BarButtonItem& item, std::initializer_list<BarButtonItem::SystemItem> systems,
    std::initializer_list<const char*> titles)
{
    if (item.systemItem())
        return std::find(systems.begin(), systems.end(), *item.systemItem()) != systems.end();
    for (const char* title : titles)
        if (item.title() == core::localized(title, "Toolkit") || item.title() == core::localized(title))
            return true;
    return false;
}

} // namespace

bool ViewController::performKeyCommand(KeyCommand command)
{
    if ((command != KeyCommand::Escape && command != KeyCommand::Return) || !presentingViewController())
        return false;
    // The bar that shows: a presented navigation's top screen's.
    ViewController* shown = this;
    if (auto* navigation = dynamic_cast<NavigationController*>(this); navigation && navigation->topViewController())
        shown = navigation->topViewController();
    NavigationItem& item = shown->navigationItem();
    std::vector<BarButtonItem*> items;
    for (auto* bar : { item.leftBarButtonItem().get(), item.rightBarButtonItem().get() })
        if (bar && bar->isEnabled())
            items.push_back(bar);
    auto press = [&](std::initializer_list<BarButtonItem::SystemItem> systems, std::initializer_list<const char*> titles,
                     bool doneStyle) {
        for (BarButtonItem* bar : items)
            if (isNamed(*bar, systems, titles) || (doneStyle && bar->style() == BarButtonItem::Style::Done)) {
                auto keep = bar->shared_from_this();
                bar->sendActions();
                return true;
            }
        return false;
    };
    using System = BarButtonItem::SystemItem;
    if (command == KeyCommand::Return)
        return press({ System::Done, System::Save }, { "Done", "Save" }, true);
    if (press({ System::Cancel }, { "Cancel", "Close" }, false) || press({ System::Done }, { "Done" }, false))
        return true;
    dismissModalViewController(true);
    return true;
}

} // namespace ui
