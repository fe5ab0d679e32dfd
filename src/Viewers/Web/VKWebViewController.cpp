#include "Viewers/Web/VKWebViewController.h"

#include "Shell/Interface/AlertViewAdditions.h"
#include "Shell/Interface/VKActionSheet.h"
#include "Shell/VKAppDelegateHooks.h"
#include "Shell/VKApplication.h"
#include "Shell/VKNavigationController.h"
#include "Shell/VKWindow.h"
#include "FileModel/VKFileResource.h"
#include "FileModel/VKZipArchiver.h"
#include "Kit/StringAdditions.h"
#include "Kit/VKFunctions.h"
#include "Platform/Core/FileSystem.h"
#include "Platform/Core/Localized.h"
#include "Platform/Core/Log.h"
#include "Platform/Core/Path.h"
#include "Platform/Core/Paths.h"
#include "Platform/Core/RegularFile.h"
#include "Platform/Core/RunLoop.h"
#include "Platform/Core/Thread.h"
#include "Platform/Core/Timer.h"
#include "Platform/Core/UserDefaults.h"
#include "Platform/UI/BarButtonItem.h"
#include "Platform/UI/NavigationItem.h"
#include "Platform/UI/Screen.h"
#include "Platform/UI/TextView.h"
#include "Platform/Web/WebPolicyListener.h"
#include "Platform/Web/WebPrintFormatter.h"

#include <fmt/format.h>

#include <algorithm>
#include <cmath>

namespace {

constexpr const char* HTMLType = "text/html";
constexpr const char* PagingGestureEnabledKey = VKDocumentViewController::PagingGestureEnabledKey;

bool pagingGestureEnabled()
{
    core::Value value = core::UserDefaults::standard()->object(PagingGestureEnabledKey);
    return value.isNull() || core::UserDefaults::standard()->boolForKey(PagingGestureEnabledKey);
}

// Document packages shown as their zip: "pages", "numbers" and "key"
// folders.
bool isZippedPackage(const VKFileResource& resource)
{
    static const std::vector<std::string> iWorkExtensions { "pages", "numbers", "key" };
    std::string extension = resource.pathExtension();
    std::transform(extension.begin(), extension.end(), extension.begin(),
        [](unsigned char c) { return char(std::tolower(c)); });
    return std::find(iWorkExtensions.begin(), iWorkExtensions.end(), extension) != iWorkExtensions.end()
        && resource.isDirectory();
}

// "<home>/tmp/<UUID>-<name>.zip".
std::string temporaryZipFilename(const std::string& name)
{
    return core::path::appendingPathComponent(VKTemporaryDirectory(), fmt::format("{}-{}.zip", vkGenerateUUID(), name));
}

void showUnsupportedURLAlert(const core::URL& url)
{
    showAlertViewWithTitle(core::localized("Unsupported URL"),
        fmt::format(fmt::runtime(core::localized("This URL wasn't loaded:\n{}")), core::path::lastPathComponent(url.path())),
        core::localized("Dismiss"));
}

} // namespace

std::shared_ptr<VKWebViewController> VKWebViewController::create(const std::shared_ptr<VKFileResource>& resource,
    const std::shared_ptr<VKViewerFolderHost>& folderController)
{
    auto viewer = std::make_shared<VKWebViewController>();
    viewer->initWithResource(resource, folderController);
    return viewer;
}

VKWebViewController::~VKWebViewController()
{
    if (m_slowLoadTimer)
        m_slowLoadTimer->invalidate();
    if (m_webView) {
        m_webView->setDelegate({});
        m_webView->setVkDelegate({});
        m_webView->cancelRTFConversion();
    }
    stopObservingWindow();
    m_printing.release();
    if (m_zipThread)
        m_zipThread->cancel();
    cancelConversion();
    removeTempResource();
}

bool VKWebViewController::isHTML() const
{
    return resource() && resource()->mimeType() == HTMLType;
}

// ---- The frame's contract ----------------------------------------------------

gfx::Point VKWebViewController::contentOffset()
{
    return m_webView ? m_webView->scrollView().contentOffset() : gfx::Point();
}

void VKWebViewController::setContentOffset(gfx::Point offset)
{
    if (m_webView)
        m_webView->scrollView().setContentOffset(offset);
}

gfx::Size VKWebViewController::contentSize()
{
    // The page's own size: the room above it counts as the text viewer's
    // inset does, not as a page more.
    if (!m_webView)
        return {};
    gfx::Size size = m_webView->scrollView().contentSize();
    return { size.width, std::max(0.0f, size.height - m_webView->pageTop()) };
}

ui::View* VKWebViewController::verticalScrollIndicator()
{
    return m_webView ? m_webView->scrollView().verticalScrollIndicator() : nullptr;
}

void VKWebViewController::updatePageTop()
{
    auto* navigation = navigationController();
    if (m_webView)
        m_webView->setPageTop(navigation && !navigation->isNavigationBarHidden() ? barInsets().top : 0);
}

void VKWebViewController::setUIHidden(bool hidden, bool animated)
{
    VKDocumentViewController::setUIHidden(hidden, animated);
    updatePageTop();
}

void VKWebViewController::didRotate(ui::Orientation fromOrientation)
{
    VKDocumentViewController::didRotate(fromOrientation);
    updatePageTop();
}

bool VKWebViewController::shouldSingleTapHideUI() const
{
    return !m_formInputActive && VKDocumentViewController::shouldSingleTapHideUI();
}

// ---- Loading -------------------------------------------------------------------

void VKWebViewController::loadContentView()
{
    auto webView = VKWebView::create(view()->bounds());
    webView->setVkDelegate(this);
    webView->setBackgroundColor(gfx::Color::white(1));
    if (auto* document = VKWebViewGetDocumentView(*webView))
        document->setHidden(true);
    m_webView = webView;
    setContentView(webView);
    updatePageTop();

    m_offsetObservation = webView->scrollView().observeContentOffset([this](const gfx::Point&, const gfx::Point&) {
        if (contentIsLoading())
            return;
        setupNormalisedPageHeight();
        currentOffsetDidChange();
    });
    webView->setDelegate(std::static_pointer_cast<web::WebViewDelegate>(sharedAs<VKWebViewController>()));
    m_selfReference = sharedAs<VKWebViewController>();
    m_webViewReference = webView;

    webView->setScalesPageToFit(true);
    bool detectorsOff = core::UserDefaults::standard()->boolForKey(DisableDataDetectorsKey);
    webView->setDataDetectorTypes(detectorsOff ? 0u : unsigned(ui::TextView::All));
    webView->setAutoresizingMask(ui::View::FlexibleWidth | ui::View::FlexibleHeight);
    webView->setAutoresizesSubviews(true);
    webView->scrollView().setAutoresizingMask(ui::View::FlexibleWidth | ui::View::FlexibleHeight);

    // A file that cannot be read (no permission, gone, a link out of the
    // home or in a loop, no regular file) says why, never loading.
    core::Error unopened;
    if (!resource()->isDirectory() && !core::fs::openRegularFileWithin(resource()->path(), core::paths::home(), &unopened)) {
        dropContent(false);
        showUnableToDisplayAlertView(unopened);
        return;
    }
    if (isZippedPackage(*resource())) {
        startActivityIndicatorWithStyle(ui::ActivityIndicator::Style::Gray, 0);
        compressPackageResource();
        return;
    }
    if (isConvertedType(resource()->mimeType()) && !resource()->isDirectory()) {
        convertDocument();
        return;
    }
    if (resource()->mimeType() == "application/rtf")
        startActivityIndicatorWithStyle(ui::ActivityIndicator::Style::Gray, 0);
    loadDocument(*webView);
}

void VKWebViewController::keepToGuestFolders(web::WebView& view) const
{
    auto application = VKApplication::sharedApplication();
    auto hooks = VKAppDelegateHooks::current();
    if (!application || !hooks || !hooks->isGuestMode()) {
        view.setFileFolders(std::nullopt);
        return;
    }
    std::vector<std::string> folders { application->publicDirectory() };
    if (!m_conversionFolder.empty())
        folders.push_back(m_conversionFolder);
    view.setFileFolders(std::move(folders));
}

void VKWebViewController::loadDocument(VKWebView& view)
{
    keepToGuestFolders(view);
    const auto& document = resource();
    std::string type = document->mimeType();
    if (type.starts_with("text/") && type != HTMLType) {
        core::Data bytes;
        core::Error error;
        if (!core::fs::readFile(document->path(), bytes, &error))
            core::log("Warning, unable to read {}: {}", document->path(), error.description());
        view.loadData(bytes, "text/plain");
        return;
    }
    if (type == "application/rtf") {
        std::string path = document->path();
        if (document->isDirectory())
            path = core::path::appendingPathComponent(path, "TXT.rtf");
        view.loadRTFAtPath(path, document->fileURL());
        return;
    }
    if (&view != m_webView.get() && !m_conversionOutput.empty()) {
        view.loadRequest(core::URLRequest(core::URL::fileURL(m_conversionOutput)));
        return;
    }
    if (&view != m_webView.get() && m_tempResource) {
        view.loadRequest(core::URLRequest(m_tempResource->fileURL()));
        return;
    }
    view.loadRequest(core::URLRequest(document->fileURL()));
}

void VKWebViewController::compressPackageResource()
{
    std::string package = resource()->path();
    std::string zip = temporaryZipFilename(resource()->name());
    unsigned generation = ++m_zipGeneration;
    std::weak_ptr<VKWebViewController> weak = sharedAs<VKWebViewController>();
    m_zipThread = core::Thread::detach(ZipThreadName, [weak, generation, package, zip] {
        bool zipped = VKZipArchiver::archiveItemAtPath(package, zip, 1);
        core::RunLoop::main().post([weak, generation, zip, zipped] {
            auto self = weak.lock();
            if (!self || self->m_zipGeneration != generation) {
                // Nobody waits for the zip any more.
                if (zipped)
                    core::fs::removeItem(zip);
                return;
            }
            self->m_zipThread.reset();
            std::optional<core::URLRequest> request;
            if (zipped) {
                self->setTempResource(VKFileResource::resourceWithPath(zip));
                if (self->m_tempResource)
                    request = core::URLRequest(self->m_tempResource->fileURL());
            }
            self->tempResourceCreationDidEnd(request);
        });
    });
}

void VKWebViewController::tempResourceCreationDidEnd(const std::optional<core::URLRequest>& request)
{
    if (!m_webView)
        return;
    if (request && isConvertedType(resource()->mimeType()))
        convertDocument();
    else if (request)
        m_webView->loadRequest(*request);
    else
        didFailLoad(*m_webView, core::Error());
}

// ---- Office documents ---------------------------------------------------------------

void VKWebViewController::cancelConversion()
{
    if (m_conversion)
        m_conversion->cancel();
    m_conversion.reset();
    if (!m_conversionFolder.empty() && !core::fs::removeItem(m_conversionFolder) && core::fs::exists(m_conversionFolder))
        core::log("Warning, unable to remove {}", m_conversionFolder);
    m_conversionFolder.clear();
    m_conversionOutput.clear();
}

void VKWebViewController::convertDocument()
{
    cancelConversion();
    if (!VKWebDocumentConverter::isAvailable()) {
        dropContent(false);
        showAlertViewWithTitle(fmt::format(fmt::runtime(core::localized("Unable to display \"{}\"")), resource()->name()),
            core::localized("This kind of document is shown after conversion by LibreOffice, which is not installed."),
            core::localized("OK"));
        return;
    }
    startActivityIndicatorWithStyle(ui::ActivityIndicator::Style::Gray, 0);
    VKWebDocumentConverter::Request request;
    request.path = resource()->path();
    request.name = resource()->name();
    request.slides = VKWebDocumentConverter::isPresentationType(resource()->mimeType());
    if (auto screen = ui::Screen::main())
        request.slideWidth = int(std::lround(std::max(screen->bounds().width(), screen->bounds().height()) * screen->scale()));
    std::weak_ptr<VKWebViewController> weak = sharedAs<VKWebViewController>();
    m_conversion = VKWebDocumentConverter::convert(request, [weak](VKWebDocumentConverter::Outcome outcome) {
        if (auto self = weak.lock())
            self->documentConversionDidEnd(std::move(outcome));
        else if (!outcome.folder.empty())
            core::fs::removeItem(outcome.folder);
    });
}

void VKWebViewController::documentConversionDidEnd(VKWebDocumentConverter::Outcome outcome)
{
    m_conversion.reset();
    if (!outcome.outputPath || !m_webView) {
        if (!outcome.folder.empty())
            core::fs::removeItem(outcome.folder);
        if (!outcome.outputPath) {
            core::log("Warning, document conversion failed: {}", outcome.error.description());
            dropContent(true);
        }
        return;
    }
    m_conversionFolder = outcome.folder;
    m_conversionOutput = *outcome.outputPath;
    keepToGuestFolders(*m_webView);
    m_webView->loadRequest(core::URLRequest(core::URL::fileURL(m_conversionOutput)));
}

void VKWebViewController::setTempResource(std::shared_ptr<VKFileResource> resource)
{
    if (resource != m_tempResource)
        removeTempResource();
    m_tempResource = std::move(resource);
}

void VKWebViewController::removeTempResource()
{
    if (!m_tempResource)
        return;
    core::Error error;
    if (core::fs::removeItem(m_tempResource->path(), &error) || !core::fs::exists(m_tempResource->path()))
        m_tempResource.reset();
    else
        core::log("Warning, removeTempResource failed: {}", error.description());
}

void VKWebViewController::releaseLoadReferences()
{
    m_webViewReference.reset();
    // It may be the only reference to this viewer: let go on the next pass.
    if (m_selfReference)
        core::RunLoop::main().post([self = std::move(m_selfReference)] { });
}

// ---- Link policy ----------------------------------------------------------------

VKWebLinkPolicy VKWebViewController::linkPolicy() const
{
    VKWebLinkPolicy policy;
    if (resource())
        policy.documentPaths.push_back(resource()->path());
    policy.documentPaths.push_back(m_conversionOutput);
    if (m_tempResource)
        policy.documentPaths.push_back(m_tempResource->path());
    if (auto application = VKApplication::sharedApplication()) {
        policy.publicFolder = application->publicDirectory();
        policy.privateFolder = application->documentsDirectory();
    }
    auto hooks = VKAppDelegateHooks::current();
    policy.guest = hooks && hooks->isGuestMode();
    return policy;
}

bool VKWebViewController::shouldStartLoad(web::WebView& view, const core::URLRequest& request, web::NavigationType type)
{
    if (m_printing.isPrintingView(view))
        return true;
    const core::URL& url = request.url();
    auto decision = linkPolicy().decide(url);
    switch (decision.verdict) {
    case VKWebLinkPolicy::Verdict::Document:
        if (!contentDidLoad() && &view == m_webView.get()) {
            startActivityIndicatorWithStyle(ui::ActivityIndicator::Style::Gray, LoadIndicatorDelay);
            if (!m_slowLoadTimer)
                m_slowLoadTimer = core::RunLoop::main().schedule(sharedAs<VKWebViewController>(), SlowLoadTimeout, false, [](VKWebViewController& self, core::Timer&) {
                    self.loadTooSlow();
                });
        }
        return true;
    case VKWebLinkPolicy::Verdict::OpenElsewhere:
        if (type == web::NavigationType::LinkClicked)
            handleOpenEventForURLRequest(request);
        return false;
    case VKWebLinkPolicy::Verdict::ReloadWithRealPath: {
        std::weak_ptr<VKWebView> weakView = std::static_pointer_cast<VKWebView>(view.shared_from_this());
        core::URL real = core::URL::fileURL(decision.path);
        core::RunLoop::main().performAfter(0, [weakView, real] {
            if (auto webView = weakView.lock())
                webView->loadRequest(core::URLRequest(real));
        });
        return false;
    }
    case VKWebLinkPolicy::Verdict::LoadFile: {
        auto target = VKFileResource::resourceWithPath(decision.path);
        setResource(target);
        if (target && &view == m_webView.get() && isConvertedType(target->mimeType())) {
            convertDocument();
            return false;
        }
        return true;
    }
    case VKWebLinkPolicy::Verdict::Unsupported:
        break;
    }
    showUnsupportedURLAlert(url);
    return false;
}

void VKWebViewController::decidePolicyForResponse(web::WebView&, const core::HTTPURLResponse&, const core::URLRequest&,
    const std::shared_ptr<web::WebPolicyListener>& listener)
{
    // What the engine cannot show fails the load; nothing is downloaded.
    if (listener->defaultUse())
        listener->use();
    else
        listener->ignore();
}

// ---- Load ends -------------------------------------------------------------------

void VKWebViewController::didFinishLoad(web::WebView& view)
{
    if (m_printing.isPrintingView(view)) {
        m_printing.didFinishLoad();
        return;
    }
    if (&view != m_webView.get())
        return;
    if (!contentDidLoad()) {
        firstLoadDidEnd();
        return;
    }
    if (!contentView())
        return;
    // A followed link's page: the script is the page's to lose, so it is
    // defined again.
    m_webView->evaluateJavaScript(FindAnchorScript, [](const std::string&, const core::Error*) { });
    if (isHTML())
        checkHTMLMetaTags();
    setUIHiddenAfterDelay(true, FollowedLinkBarsHideDelay);
    m_backForward.update();
}

void VKWebViewController::firstLoadDidEnd()
{
    if (auto timer = std::exchange(m_slowLoadTimer, nullptr))
        timer->invalidate();
    setContentLoading(false);
    setContentDidLoad(true);
    stopActivityIndicator();
    releaseLoadReferences();
    if (!contentView() || !m_webView)
        return;
    m_webView->evaluateJavaScript(FindAnchorScript, [](const std::string&, const core::Error*) { });
    if (isHTML())
        checkHTMLMetaTags();
    if (auto* document = VKWebViewGetDocumentView(*m_webView))
        document->setHidden(false);
    core::RunLoop::main().performAfter(sharedAs<VKWebViewController>(), 0, [](VKWebViewController& self) {
        if (self.contentView())
            self.contentLoadDidSucceed();
    });
    m_backForward.update();
}

void VKWebViewController::loadTooSlow()
{
    m_slowLoadTimer = nullptr;
    if (contentDidLoad() || !m_webView)
        return;
    // What came shows; what never comes is given up (the stopped load's
    // failure finds the content loaded and changes nothing).
    core::log("Warning, {} did not finish loading in {} s: shown as it stands", resource()->path(), SlowLoadTimeout);
    firstLoadDidEnd();
    m_webView->stopLoading();
    showAlertViewWithTitle(fmt::format(fmt::runtime(core::localized("\"{}\" did not finish loading")), resource()->name()),
        core::localized("Some of it may be missing."), core::localized("OK"));
}

void VKWebViewController::didFailLoad(web::WebView& view, const core::Error& error)
{
    core::log("webView didFailLoadWithError: {}", error.description());
    if (m_printing.isPrintingView(view)) {
        m_printing.didFailLoad();
        return;
    }
    if (&view != m_webView.get())
        return;
    // A later load that another one replaced leaves the page shown.
    if (contentDidLoad() && error.is("NSURLErrorDomain", -999))
        return;
    dropContent(true);
}

void VKWebViewController::dropContent(bool showAlert)
{
    if (auto timer = std::exchange(m_slowLoadTimer, nullptr))
        timer->invalidate();
    setContentLoading(false);
    if (!contentDidLoad()) {
        setContentDidLoad(true);
        releaseLoadReferences();
    }
    stopActivityIndicator();
    if (!contentView() || !m_webView)
        return;
    if (showAlert)
        showUnableToDisplayAlertView();
    m_offsetObservation.reset();
    m_webView->setDelegate({});
    m_webView->setVkDelegate({});
    m_webView->stopLoading();
    m_webView->cancelRTFConversion();
    setContentView(nullptr);
    m_webView.reset();
    for (const char* action : { ShowDocumentActionSheetAction, DeleteItemAction })
        if (auto item = findBarButtonItemWithAction(action))
            item->setEnabled(true);
}

void VKWebViewController::checkHTMLMetaTags()
{
    if (!m_webView)
        return;
    std::weak_ptr<VKWebViewController> weak = sharedAs<VKWebViewController>();
    m_webView->evaluateJavaScript(MetaTagsScript, [weak](const std::string& result, const core::Error*) {
        auto self = weak.lock();
        if (!self || !self->m_webView)
            return;
        bool detectorsOff = core::UserDefaults::standard()->boolForKey(DisableDataDetectorsKey);
        bool linksOnly = result.find("telephone=no") != std::string::npos || detectorsOff;
        self->m_webView->setDataDetectorTypes(linksOnly ? unsigned(ui::TextView::Link) : unsigned(ui::TextView::All));
    });
}

// ---- Taps, scrolling, forms --------------------------------------------------------

void VKWebViewController::singleTapGestureRecognized(ui::GestureRecognizer& recognizer)
{
    if (recognizer.state() != ui::GestureRecognizer::Recognized)
        return;
    if (!m_webView || !contentDidLoad() || m_webView->bounds().width() <= 0) {
        VKDocumentViewController::singleTapGestureRecognized(recognizer);
        return;
    }
    m_linkTap.ask(*m_webView, recognizer.locationInView(m_webView.get()), recognizer.locationInView(view().get()));
}

void VKWebViewController::restoreUIAfterLateLinkAnswer(bool uiWasHidden)
{
    const core::Value& pending = pendingToggleUserInfo();
    if (isUIHidden() != uiWasHidden)
        setUIHidden(uiWasHidden, true);
    else if (!pending.isNull() && pending["hidden"].toBool() != uiWasHidden)
        cancelToggleUITimer();
}

void VKWebViewController::continueSingleTap(gfx::Point pointInView)
{
    // The frame's answer to a tap that hit no link: the paging help goes,
    // an edge pages, anything else shows or hides the bars.
    if (pagingGestureInfoVisible()) {
        setPagingGestureInfoVisible(false);
        return;
    }
    if (contentDidLoad() && pagingGestureEnabled()) {
        int direction = pagingDirectionForTapPoint(pointInView);
        if (direction != None) {
            scrollViewByPageInDirection(direction, true);
            if (isUIHidden())
                return;
        }
    }
    if (isUIHidden())
        VKFullScreenViewController::setUIHidden(false, SingleTapDelay, shouldUIAutoHide() ? SingleTapRevertDelay : 0.0);
    else if (shouldSingleTapHideUI())
        VKFullScreenViewController::setUIHidden(true, SingleTapDelay, 0.0);
}

void VKWebViewController::webViewDidStartScrolling(VKWebView&, ui::ScrollView&)
{
    if (!isUIHidden() && shouldSingleTapHideUI())
        setUIHidden(true, true);
}

void VKWebViewController::webViewDidChangeContentSize(VKWebView&)
{
    // The engine's geometry may come before or after the load's end: the
    // pages are counted again in a pass of their own.
    core::RunLoop::main().performAfter(sharedAs<VKWebViewController>(), 0, [](VKWebViewController& self) {
        self.contentSizeDidChange();
    });
}

void VKWebViewController::didChangeEditingFocus(web::WebView& view, bool editing)
{
    if (&view == m_webView.get())
        setFormInputActive(editing);
}

void VKWebViewController::handleSendEvent(const ui::Event&, VKWindow&) { }

void VKWebViewController::windowDidAddSubview(VKWindow&, ui::View& subview)
{
    if (VKClassIsEqualToClassName(subview, "UIFormAssistant"))
        setFormInputActive(true);
}

void VKWebViewController::windowWillRemoveSubview(VKWindow&, ui::View& subview)
{
    if (VKClassIsEqualToClassName(subview, "UIFormAssistant"))
        setFormInputActive(false);
}

void VKWebViewController::setFormInputActive(bool active)
{
    m_formInputActive = active;
    if (active)
        setUIHidden(true, false);
}

// ---- Printing ---------------------------------------------------------------------

void VKWebViewController::actionSheetClickedButtonWithTag(VKActionSheet& sheet, int tag)
{
    if (tag == PrintButtonTag)
        printFile(shared_from_this());
    else
        VKDocumentViewController::actionSheetClickedButtonWithTag(sheet, tag);
}

std::shared_ptr<ui::PrintFormatter> VKWebViewController::printFormatter()
{
    // Offered while a document shows; what prints is the hidden view's page.
    if (auto printing = m_printing.formatter())
        return printing;
    return m_webView && contentDidLoad() ? m_webView->printFormatter() : nullptr;
}

// ---- E-mail -----------------------------------------------------------------------

void VKWebViewController::emailFile(const std::shared_ptr<core::Object>& sender)
{
    if (!m_tempResource || !resource()) {
        VKDocumentViewController::emailFile(sender);
        return;
    }
    setUIHidden(false, false);
    composeEmailWithPath(m_tempResource->path(), fmt::format("{}.zip", resource()->name()));
}

// ---- Lifecycle ------------------------------------------------------------------------

void VKWebViewController::viewDidLoad()
{
    VKDocumentViewController::viewDidLoad();
    if (isHTML())
        navigationItem().setRightBarButtonItem(backForwardHTMLControlItem());
}

void VKWebViewController::observeWindow()
{
    stopObservingWindow();
    auto* current = dynamic_cast<VKWindow*>(window());
    if (!current)
        return;
    m_window = std::static_pointer_cast<VKWindow>(current->shared_from_this());
    m_window->addObserver(std::static_pointer_cast<VKWindowObserver>(sharedAs<VKWebViewController>()));
}

void VKWebViewController::stopObservingWindow()
{
    if (m_window)
        m_window->removeObserver(this);
    m_window.reset();
}

void VKWebViewController::viewDidAppear(bool animated)
{
    VKDocumentViewController::viewDidAppear(animated);
    updatePageTop();
    observeWindow();
}

void VKWebViewController::viewWillDisappear(bool animated)
{
    stopObservingWindow();
    VKDocumentViewController::viewWillDisappear(animated);
}

void VKWebViewController::viewDidDisappear(bool animated)
{
    VKDocumentViewController::viewDidDisappear(animated);
    if (!contentIsLoading())
        return;
    // Gone while loading: nothing of this load may come back.
    if (auto timer = std::exchange(m_slowLoadTimer, nullptr))
        timer->invalidate();
    ++m_zipGeneration;
    if (m_zipThread)
        m_zipThread->cancel();
    m_zipThread.reset();
    cancelConversion();
    m_linkTap.cancel();
    if (m_webView) {
        m_webView->setDelegate({});
        m_webView->setVkDelegate({});
        m_webView->stopLoading();
        m_webView->cancelRTFConversion();
    }
    stopActivityIndicator();
    setContentView(nullptr);
    m_offsetObservation.reset();
    m_webView.reset();
    setContentLoading(false);
    releaseLoadReferences();
}

void VKWebViewController::viewDidUnload()
{
    stopObservingWindow();
    m_offsetObservation.reset();
    if (m_webView) {
        m_webView->setDelegate({});
        m_webView->setVkDelegate({});
        m_webView->cancelRTFConversion();
    }
    m_webView.reset();
    m_backForward.reset();
    setContentDidLoad(false);
    VKDocumentViewController::viewDidUnload();
}
