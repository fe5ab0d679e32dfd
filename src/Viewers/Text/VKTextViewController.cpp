#include "Viewers/Text/VKTextViewController.h"

#include "Shell/Interface/ScreenAdditions.h"
#include "Shell/Interface/VKActionSheet.h"
#include "Shell/VKNavigationController.h"
#include "FileModel/VKFileResource.h"
#include "FileModel/VKFileSettingsManager.h"
#include "Platform/Core/FileSystem.h"
#include "Platform/Core/Localized.h"
#include "Platform/Core/Log.h"
#include "Platform/Core/Paths.h"
#include "Platform/Core/RunLoop.h"
#include "Platform/Core/Thread.h"
#include "Platform/Core/ThreadPriority.h"
#include "Platform/Core/UserDefaults.h"
#include "Platform/UI/Application.h"
#include "Platform/UI/BarButtonItem.h"
#include "Platform/UI/Images.h"
#include "Platform/UI/NavigationBar.h"
#include "Platform/UI/NavigationItem.h"
#include "Platform/UI/PrintFormatter.h"
#include "Platform/UI/Screen.h"
#include "Platform/UI/SegmentedControl.h"
#include "Viewers/Text/VKTextView.h"

#include <algorithm>
#include <cmath>

std::shared_ptr<VKTextViewController> VKTextViewController::create(const std::shared_ptr<VKFileResource>& resource,
    const std::shared_ptr<VKViewerFolderHost>& folderController)
{
    auto viewer = std::make_shared<VKTextViewController>();
    viewer->initWithResource(resource, folderController);
    return viewer;
}

VKTextViewController::~VKTextViewController()
{
    stopLoading();
}

std::string VKTextViewController::defaultTextEncoding()
{
    return core::UserDefaults::standard()->stringForKey(VKTextEncodingsController::DefaultTextEncodingKey);
}

float VKTextViewController::defaultFontSize()
{
    return float(core::UserDefaults::standard()->doubleForKey(DefaultTextFontSizeKey));
}

float VKTextViewController::fontSizeSettingForPath(const std::string& path)
{
    float size = VKFileSettingsManager::defaultManager()->fontSizeForFile(path);
    if (!(size > 0))
        return 0;
    return std::min(size, VKTextLoader::MaximumFontSize);
}

bool VKTextViewController::isEditable() const
{
    return m_textView && m_textView->isEditable();
}

void VKTextViewController::setEditable(bool editable)
{
    if (m_textView)
        m_textView->setEditable(editable);
}

// ---- The frame's contract ----------------------------------------------------

gfx::Point VKTextViewController::contentOffset()
{
    if (!m_textView)
        return {};
    gfx::Point offset = m_textView->contentOffset();
    return { offset.x, offset.y + m_textView->contentInset().top };
}

void VKTextViewController::setContentOffset(gfx::Point offset)
{
    if (m_textView)
        m_textView->setContentOffset({ offset.x, offset.y - m_textView->contentInset().top });
}

void VKTextViewController::updateTextInsets(bool animated)
{
    if (!m_textView)
        return;
    auto* navigation = navigationController();
    gfx::EdgeInsets insets = navigation && !navigation->isNavigationBarHidden() ? barInsets() : gfx::EdgeInsets();
    gfx::EdgeInsets old = m_textView->contentInset();
    if (insets == old)
        return;
    gfx::Point offset = m_textView->contentOffset();
    bool atTop = offset.y <= m_textView->minimumContentOffset().y + 0.5f;
    bool atEnd = !atTop && offset.y >= m_textView->maximumContentOffset().y - 0.5f;
    m_textView->setContentInset(insets);
    m_textView->setScrollIndicatorInsets(insets);
    gfx::Point least = m_textView->minimumContentOffset(), most = m_textView->maximumContentOffset();
    gfx::Point target = offset;
    target.y = atTop ? least.y : atEnd ? most.y : std::clamp(offset.y, least.y, most.y);
    if (target != offset)
        m_textView->setContentOffset(target, animated);
}

void VKTextViewController::setUIHidden(bool hidden, bool animated)
{
    VKDocumentViewController::setUIHidden(hidden, animated);
    updateTextInsets(animated);
}

void VKTextViewController::didRotate(ui::Orientation fromOrientation)
{
    VKDocumentViewController::didRotate(fromOrientation);
    updateTextInsets(false);
}

gfx::Size VKTextViewController::contentSize()
{
    return m_textView ? m_textView->contentSize() : gfx::Size();
}

ui::View* VKTextViewController::verticalScrollIndicator()
{
    return m_textView ? m_textView->verticalScrollIndicator() : nullptr;
}

std::shared_ptr<ui::PrintFormatter> VKTextViewController::printFormatter()
{
    return m_textView ? m_textView->printFormatter() : nullptr;
}

// ---- Loading -------------------------------------------------------------------

void VKTextViewController::loadContentView()
{
    navigationItem().setRightBarButtonItem(fontSizeBarButtonItem());
    const std::string& path = resource()->path();
    m_currentTextEncoding = VKFileSettingsManager::defaultManager()->textEncodingForFile(path).value_or(defaultTextEncoding());

    gfx::Rect frame = view()->frame();
    auto content = ui::View::create(frame);
    content->setAutoresizesSubviews(true);
    content->setAutoresizingMask(ui::View::FlexibleWidth | ui::View::FlexibleHeight);
    setContentView(content);

    m_textView = VKTextView::create(view()->bounds());
    m_textView->setDelegate(sharedAs<VKTextViewController>());
    m_textView->setEditable(false);
    m_textView->setAutoresizingMask(ui::View::FlexibleWidth | ui::View::FlexibleHeight);
    bool detectorsOff = core::UserDefaults::standard()->boolForKey(DisableDataDetectorsKey);
    m_textView->setDataDetectorTypes(detectorsOff ? 0u : unsigned(ui::TextView::All));
    float stored = fontSizeSettingForPath(path);
    m_textView->setFont(gfx::Font::fontWithName(FontName, stored > 0 ? stored : defaultFontSize()));
    content->addSubview(m_textView);
    updateTextInsets(false);

    std::weak_ptr<VKTextViewController> weak = sharedAs<VKTextViewController>();
    m_offsetObservation = m_textView->observeContentOffset([this](const gfx::Point&, const gfx::Point&) {
        if (!contentIsLoading())
            currentOffsetDidChange();
    });
    // The text view measures the new font after telling its observers, so
    // the pages are counted on the next pass.
    m_fontObservation = m_textView->observeFont([weak](const gfx::Font&, const gfx::Font&) {
        core::RunLoop::main().performAfter(weak, 0, [](VKTextViewController& self) {
            if (self.m_textView && !self.contentIsLoading()) {
                self.setupNormalisedPageHeight();
                self.currentOffsetDidChange();
            }
        });
    });

    startActivityIndicatorWithStyle(ui::ActivityIndicator::Style::Gray, 0);
    loadText();
}

void VKTextViewController::loadText()
{
    stopLoading();
    const std::string& path = resource()->path();
    auto settings = VKFileSettingsManager::defaultManager();
    VKTextLoader::Request request;
    request.path = path;
    request.home = core::paths::home();
    request.currentEncoding = m_currentTextEncoding;
    request.lossy = m_userDidCustomiseTextEncoding || settings->textEncodingForFile(path).has_value();
    request.contentDidLoad = contentDidLoad();
    request.candidates = VKTextEncodingsController::defaultTextEncodings();
    request.automaticFontSize = !hasFontSizeSettingForPath(path);
    // Fonts are measured here: the text engine belongs to the main thread.
    request.defaultFontSize = defaultFontSize();
    float size = request.defaultFontSize > 0 ? request.defaultFontSize : 14;
    gfx::Font font = gfx::Font::fontWithName(FontName, size);
    request.widthPerPoint = font.widthOfString("e") / size;
    gfx::EdgeInsets insets = m_textView ? m_textView->contentInset() : gfx::EdgeInsets();
    if (auto screen = ui::Screen::main())
        request.usableWidth = boundsForOrientation(*screen, ui::Orientation::LandscapeLeft).width() - insets.left - insets.right;
    // A stored place is restored once the whole text is in, so no first
    // screen is shown before it.
    bool showsFirstScreen = !(std::fabs(settings->contentOffsetForFile(path)) > 0);

    unsigned generation = ++m_loadGeneration;
    std::weak_ptr<VKTextViewController> weak = sharedAs<VKTextViewController>();
    m_loadThread = core::Thread::detach("VKTextLoad", [weak, request, generation, showsFirstScreen] {
        auto thread = core::Thread::current();
        auto cancelled = [thread] { return thread->isCancelled(); };
        auto post = [weak, generation](auto&& block) {
            core::RunLoop::main().post(weak, [generation, block = std::move(block)](VKTextViewController& self) mutable {
                if (self.m_loadGeneration == generation)
                    block(self);
            });
        };
        VKTextLoader::FirstScreen firstScreen;
        if (showsFirstScreen)
            firstScreen = [&post](const std::string& encoding, std::shared_ptr<ui::TextStorage> text,
                              std::optional<float> fontSize) {
                post([encoding, text = std::move(text), fontSize](VKTextViewController& self) mutable {
                    self.showFirstScreen(encoding, std::move(text), fontSize);
                });
                // The rest of a large text must not slow the drawing of its
                // first screen, nor the scrolling through it.
                core::lowerCurrentThreadPriority();
            };
        VKTextLoader::Result result = VKTextLoader::load(request, cancelled, firstScreen);
        if (result.cancelled)
            return;
        post([result = std::move(result)](VKTextViewController& self) mutable { self.textLoadDidEnd(std::move(result)); });
    });
}

void VKTextViewController::stopLoading()
{
    if (m_loadThread)
        m_loadThread->cancel();
    m_loadThread.reset();
    ++m_loadGeneration;
}

void VKTextViewController::showFirstScreen(const std::string&, std::shared_ptr<ui::TextStorage> text,
    std::optional<float> fontSize)
{
    if (!contentView() || !m_textView)
        return;
    if (fontSize)
        m_textView->setFont(gfx::Font::fontWithName(FontName, *fontSize));
    m_textView->setTextStorage(std::move(text));
    stopActivityIndicator();
}

void VKTextViewController::textLoadDidEnd(VKTextLoader::Result result)
{
    m_loadThread.reset();
    if (!result.encoding.empty())
        m_currentTextEncoding = result.encoding;
    if (m_textView && contentView() && result.text) {
        // A large text is measured on the text view's worker: the load ends
        // (and a stored place is restored) once its height is exact.
        if (result.fontSize)
            m_textView->setFont(gfx::Font::fontWithName(FontName, *result.fontSize));
        m_textView->setTextStorage(result.text);
        unsigned generation = m_loadGeneration;
        std::weak_ptr<VKTextViewController> weak = sharedAs<VKTextViewController>();
        m_textView->whenLayoutComplete([weak, generation] {
            auto self = weak.lock();
            if (!self || self->m_loadGeneration != generation || !self->m_textView)
                return;
            self->stopActivityIndicator();
            self->setContentLoading(false);
            self->setContentDidLoad(true);
            self->contentLoadDidSucceed();
            self->updateFontSizeSegments(self->m_textView->font().pointSize());
        });
        return;
    }
    stopActivityIndicator();
    setContentLoading(false);
    setContentDidLoad(true);
    if (!contentView() || !m_textView)
        return;
    m_textView->setText({});
    showUnableToDisplayAlertView(result.openError);
    for (const char* action : { ShowDocumentActionSheetAction, DeleteItemAction })
        if (auto item = findBarButtonItemWithAction(action))
            item->setEnabled(true);
}

void VKTextViewController::reloadText()
{
    if (contentIsLoading() || !m_textView)
        return;
    const std::string& path = resource()->path();
    auto settings = VKFileSettingsManager::defaultManager();
    gfx::Point normalised = normalisedOffset();
    if (!settings->setContentOffset(normalised.y, path))
        core::log("Warning, setContentOffset failed: {}", path);
    if (!settings->setContentInset(normalised.x, path))
        core::log("Warning, setContentInset failed: {}", path);
    m_textView->setText({});
    setContentLoading(true);
    setToolbarItemsEnabled(false);
    startActivityIndicatorWithStyle(ui::ActivityIndicator::Style::Gray, 0);
    loadText();
}

// ---- Font size -------------------------------------------------------------------

std::shared_ptr<ui::BarButtonItem> VKTextViewController::fontSizeBarButtonItem()
{
    if (m_fontSizeBarButtonItem)
        return m_fontSizeBarButtonItem;
    m_fontSizeControl = ui::SegmentedControl::create({ ui::SegmentedControl::Item(ui::Images::imageNamed("VKButtonBarFontSmaller.png")),
        ui::SegmentedControl::Item(ui::Images::imageNamed("VKButtonBarFontLarger.png")) });
    m_fontSizeControl->setMomentary(true);
    m_fontSizeControl->setSegmentedControlStyle(ui::SegmentedControl::Style::Bar);
    m_fontSizeControl->setTintColor(gfx::Color::white(1.0f / 3));
    m_fontSizeControl->setWidth(32, 0);
    m_fontSizeControl->setWidth(32, 1);
    std::weak_ptr<VKTextViewController> weak = sharedAs<VKTextViewController>();
    m_fontSizeControl->addTarget(shared_from_this(), "adjustFontSize",
        [weak](ui::Control& sender, const ui::Event*) {
            auto self = weak.lock();
            auto& control = static_cast<ui::SegmentedControl&>(sender);
            if (self && control.selectedSegmentIndex() >= 0)
                self->adjustFontSize(control.selectedSegmentIndex());
        },
        ui::Control::ValueChanged);
    m_fontSizeBarButtonItem = ui::BarButtonItem::create(m_fontSizeControl);
    return m_fontSizeBarButtonItem;
}

void VKTextViewController::updateFontSizeSegments(float size)
{
    if (!m_fontSizeControl)
        return;
    m_fontSizeControl->setEnabled(size > VKTextLoader::MinimumFontSize, 0);
    m_fontSizeControl->setEnabled(size < VKTextLoader::MaximumFontSize, 1);
}

void VKTextViewController::adjustFontSize(int segment, bool byUser)
{
    if (!m_textView)
        return;
    if (byUser)
        m_userDidCustomiseFontSize = true;
    float current = m_textView->font().pointSize();
    float size = segment == 0 ? current - 1 : current + 1;
    updateFontSizeSegments(size);
    size = std::clamp(size, VKTextLoader::MinimumFontSize, VKTextLoader::MaximumFontSize);
    if (size == current)
        return;
    gfx::Font font = gfx::Font::fontWithName(FontName, size);
    core::RunLoop::main().performAfter(sharedAs<VKTextViewController>(), 0, [font](VKTextViewController& self) {
        self.updateTextViewFont(font);
    });
}

// The text view keeps the line at its top where it was: the place read
// stays, whatever the wrapping at the new size (an offset scaled by the
// sizes drifted pages away in a long text).
void VKTextViewController::updateTextViewFont(const gfx::Font& font)
{
    if (m_textView)
        m_textView->setFont(font);
}

// ---- Encodings ------------------------------------------------------------------

void VKTextViewController::addButtonsToActionSheet(VKActionSheet& sheet)
{
    VKDocumentViewController::addButtonsToActionSheet(sheet);
    sheet.addButtonWithTitle(core::localized("Change Text Encoding"), ChangeTextEncodingButtonTag);
}

void VKTextViewController::actionSheetClickedButtonWithTag(VKActionSheet& sheet, int tag)
{
    if (tag == ChangeTextEncodingButtonTag)
        showChangeTextEncoding();
    else
        VKDocumentViewController::actionSheetClickedButtonWithTag(sheet, tag);
}

void VKTextViewController::showChangeTextEncoding()
{
    if (!contentView())
        return;
    auto chooser = VKTextEncodingsController::currentTextEncodingsControllerForViewController(
        sharedAs<VKTextViewController>(), m_currentTextEncoding);
    auto navigation = VKNavigationController::create(chooser);
    navigation->navigationBar().setBarStyle(ui::NavigationBar::Style::Black);
    if (auto* application = ui::Application::shared())
        application->setStatusBarStyle(ui::Application::StatusBarStyle::BlackOpaque, true);
    chooser->setShowsCancelButton(true);
    presentModalViewController(navigation, true);
}

ui::Application::StatusBarStyle VKTextViewController::statusBarStyle() const
{
    auto* self = const_cast<VKTextViewController*>(this);
    ui::ViewController* presented = self->modalViewController();
    if (!presented && navigationController())
        presented = navigationController()->modalViewController();
    if (auto* navigation = dynamic_cast<ui::NavigationController*>(presented))
        if (dynamic_cast<VKTextEncodingsController*>(navigation->visibleViewController()))
            return ui::Application::StatusBarStyle::BlackOpaque;
    return VKDocumentViewController::statusBarStyle();
}

void VKTextViewController::textEncodingsControllerDidEnd(VKTextEncodingsController&, const std::string& encoding)
{
    if (encoding == m_currentTextEncoding)
        return;
    m_currentTextEncoding = encoding;
    m_userDidCustomiseTextEncoding = true;
    storePersistentState();
    reloadText();
}

// ---- State --------------------------------------------------------------------

void VKTextViewController::storePersistentState()
{
    if (!resource() || !core::fs::exists(resource()->path()))
        return;
    const std::string& path = resource()->path();
    auto settings = VKFileSettingsManager::defaultManager();
    std::string stored = settings->textEncodingForFile(path).value_or(defaultTextEncoding());
    if (m_userDidCustomiseTextEncoding && m_currentTextEncoding != stored
        && !settings->setTextEncoding(m_currentTextEncoding, path))
        core::log("Warning, setTextEncoding failed: {}", path);
    if (m_userDidCustomiseFontSize && m_textView) {
        float size = m_textView->font().pointSize();
        if (size != settings->fontSizeForFile(path) && !settings->setFontSize(size, path))
            core::log("Warning, setFontSize failed: {}", path);
    }
    VKDocumentViewController::storePersistentState();
}

void VKTextViewController::viewDidUnload()
{
    stopLoading();
    m_fontSizeBarButtonItem.reset();
    m_fontSizeControl.reset();
    m_offsetObservation = {};
    m_fontObservation = {};
    if (m_textView)
        m_textView->setDelegate({});
    m_textView.reset();
    setContentDidLoad(false);
    VKDocumentViewController::viewDidUnload();
}

void VKTextViewController::willBeginDragging(ui::ScrollView&)
{
    if (!isUIHidden() && shouldSingleTapHideUI())
        setUIHidden(true, true);
}
