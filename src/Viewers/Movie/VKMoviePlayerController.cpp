#include "Viewers/Movie/VKMoviePlayerController.h"

#include "Shell/Interface/AlertViewAdditions.h"
#include "Shell/VKApplication.h"
#include "FileModel/VKFileResource.h"
#include "FileModel/VKFileSettingsManager.h"
#include "Kit/VKFunctions.h"
#include "Platform/Core/ErrorInfo.h"
#include "Platform/Core/Localized.h"
#include "Platform/Core/Log.h"
#include "Platform/Core/NotificationCenter.h"
#include "Platform/Core/Paths.h"
#include "Platform/Core/RunLoop.h"
#include "Platform/Media/Movie/MovieAsset.h"
#include "Platform/Media/Movie/MoviePlayerController.h"
#include "Platform/Media/Movie/MovieView.h"
#include "Platform/UI/Application.h"
#include "Platform/UI/BarButtonItem.h"
#include "Platform/UI/Fonts.h"
#include "Platform/UI/Label.h"
#include "Platform/UI/NavigationController.h"
#include "Platform/UI/Screen.h"
#include "Platform/UI/ScreenWindows.h"
#include "Platform/UI/TapGestureRecognizer.h"
#include "Platform/UI/Toolbar.h"
#include "Platform/UI/Window.h"
#include "Viewers/Movie/VKMovieControls.h"

#include <algorithm>
#include <cmath>
#include <fmt/format.h>
#include <utility>

using media::MovieControlStyle;
using media::MoviePlaybackState;

std::shared_ptr<VKMoviePlayerController> VKMoviePlayerController::create(const std::shared_ptr<VKFileResource>& resource,
    const std::shared_ptr<VKViewerFolderHost>& folderController)
{
    auto controller = std::make_shared<VKMoviePlayerController>();
    controller->initWithResource(resource, folderController);
    return controller;
}

VKMoviePlayerController::~VKMoviePlayerController()
{
    m_movieObservations.clear();
    if (m_tvoutAlert)
        m_tvoutAlert->setDelegate({});
    tearDownTVOut();
    if (m_movieController)
        m_movieController->stop();
}

std::weak_ptr<VKMoviePlayerController> VKMoviePlayerController::weakSelf()
{
    return sharedAs<VKMoviePlayerController>();
}

double VKMoviePlayerController::startPlaybackTime() const
{
    return VKMovieControls::startPlaybackTime(m_movieController.get());
}

double VKMoviePlayerController::endPlaybackTime() const
{
    return VKMovieControls::endPlaybackTime(m_movieController.get());
}

bool VKMoviePlayerController::isResourceAudioOnly() const
{
    // The player's own answer once it knows its streams: no picture, sound.
    return m_movieController && m_movieController->mediaTypes() == media::MovieMediaTypeAudio;
}

bool VKMoviePlayerController::isKnownWithoutPicture() const
{
    int types = m_movieController ? m_movieController->mediaTypes() : media::MovieMediaTypeNone;
    return types != media::MovieMediaTypeNone && !(types & media::MovieMediaTypeVideo);
}

// ---- Loading ----------------------------------------------------------------

void VKMoviePlayerController::loadContentView()
{
    // Only a regular file of this home is handed to the media library.
    core::Error unopened;
    m_movieController =
        resource() ? media::MoviePlayerController::create(resource()->path(), core::paths::home(), &unopened) : nullptr;
    if (!m_movieController) {
        setContentLoading(false);
        showUnableToDisplayAlertView(unopened);
        return;
    }
    if (auto application = VKApplication::sharedApplication())
        application->initializeMediaPlaybackAudioSession();
    auto content = ui::View::create(view()->bounds());
    content->setBackgroundColor(*preferredBackgroundColor());
    m_movieController->view()->setAutoresizingMask(ui::View::FlexibleWidth | ui::View::FlexibleHeight);
    m_movieController->setShouldAutoplay(false);
    m_movieController->setUseApplicationAudioSession(true);
    m_movieController->setAllowsAirPlay(true);
    if (auto* navigation = navigationController())
        navigation->toolbar().setAlpha(0);
    setContentView(content);
    observeNotifications();
    m_movieController->setControlStyle(MovieControlStyle::Fullscreen);
    if (m_movieController->loadState() & media::MovieLoadStatePlayable)
        moviePlayerLoadStateDidChange(core::Notification(media::MoviePlayerLoadStateDidChangeNotification, m_movieController));
}

void VKMoviePlayerController::observeNotifications()
{
    auto weak = weakSelf();
    auto& center = core::NotificationCenter::defaultCenter();
    auto handle = [&](std::string_view name, const std::shared_ptr<core::Object>& sender,
                      void (VKMoviePlayerController::*handler)(const core::Notification&)) {
        m_movieObservations.push_back(center.observe(name, sender, [weak, handler](const core::Notification& notification) {
            if (auto self = weak.lock())
                ((*self).*handler)(notification);
        }));
    };
    handle(media::MoviePlayerLoadStateDidChangeNotification, m_movieController,
        &VKMoviePlayerController::moviePlayerLoadStateDidChange);
    m_movieObservations.push_back(center.observe(media::MoviePlayerPlaybackDidFinishNotification, m_movieController,
        [weak](const media::MovieFinish& finish) {
            if (auto self = weak.lock())
                self->moviePlayerDidFinish(finish);
        }));
    handle(ui::Screen::didConnectNotification, nullptr, &VKMoviePlayerController::screenDidConnect);
    handle(ui::Screen::didDisconnectNotification, nullptr, &VKMoviePlayerController::screenDidDisconnect);
}

void VKMoviePlayerController::stopObserving()
{
    m_movieObservations.clear();
}

void VKMoviePlayerController::showStatusBar()
{
    if (auto* application = ui::Application::shared())
        application->setStatusBarHidden(false, ui::Application::StatusBarAnimation::Fade);
}

void VKMoviePlayerController::putMovieViewIntoContentView()
{
    auto content = contentView();
    if (!m_movieController || !content)
        return;
    auto movieView = m_movieController->view();
    if (movieView->superview() != content.get())
        content->addSubview(movieView);
    movieView->setFrame(content->bounds());
    movieView->layoutIfNeeded();
    showNoSoundOutputNoticeIfNeeded();
}

void VKMoviePlayerController::moviePlayerLoadStateDidChange(const core::Notification&)
{
    if (!m_movieController)
        return;
    int loadState = m_movieController->loadState();
    if ((loadState & media::MovieLoadStatePlayable) && !contentDidLoad()) {
        setContentDidLoad(true);
        setContentLoading(false);
        setToolbarItemsEnabled(true);
        if (isKnownWithoutPicture() && handOverToAudioPlayer())
            return;
        // While the screen still comes in, the folder it leaves lies over
        // it: the picture, its sound and the hidden bars wait for its end.
        if (m_appeared)
            showLoadedMovie();
        else
            m_showWhenAppeared = true;
        return;
    }
    if (loadState == media::MovieLoadStateUnknown && contentDidLoad()) {
        double end = m_movieController->endPlaybackTime() != -1 ? m_movieController->endPlaybackTime()
                                                                 : m_movieController->duration();
        if (std::fabs(m_movieController->currentPlaybackTime() - end) > EndTolerance)
            return;
        // The stored position no longer applies once the movie was seen to
        // the end: the next opening starts from the beginning.
        if (resource())
            VKFileSettingsManager::defaultManager()->removeSettingsForItemAtPath(resource()->path());
        showStatusBar();
        showEnd();
    }
}

void VKMoviePlayerController::showLoadedMovie()
{
    if (!m_movieController)
        return;
    if (ui::Screen::screens().size() < 2) {
        putMovieViewIntoContentView();
        resumeFromLastOffset();
        if (!isResourceAudioOnly() && !isKnownWithoutPicture())
            setUIHidden(true, false);
    } else {
        promptUserForTVDisplay();
    }
}

void VKMoviePlayerController::viewDidAppear(bool animated)
{
    VKViewController::viewDidAppear(animated);
    m_appeared = true;
    if (std::exchange(m_showWhenAppeared, false))
        showLoadedMovie();
}

void VKMoviePlayerController::showEnd()
{
    // The last frame stays, and with it the player's controls: Done, the
    // timeline and Play, which plays the movie again from its start. On a
    // second screen the device's own controls are already there; the bars
    // show as they do before anything plays there.
    auto& movieView = m_movieController->view();
    if (movieView->showsControls())
        movieView->setControlsVisible(true);
    else
        setUIHidden(false, true);
}

void VKMoviePlayerController::showNoSoundOutputNoticeIfNeeded()
{
    if (m_noSoundOutputNotice || !m_movieController || m_movieController->hasSoundOutput()
        || !(m_movieController->mediaTypes() & media::MovieMediaTypeAudio))
        return;
    auto* controls = m_movieController->view()->controlsView();
    if (!controls)
        return;
    // Part of the controls rather than an alert over the picture: it shows
    // and hides with them, just above the play button.
    auto notice = ui::Label::create();
    notice->setText(core::localized("No sound output is available"));
    notice->setFont(ui::Fonts::boldSystemFont(14));
    notice->setTextColor(gfx::Color::white(1));
    notice->setTextAlignment(gfx::TextAlignment::Center);
    notice->setBackgroundColor(gfx::Color(0, 0, 0, 0.6f));
    notice->layer().setCornerRadius(8);
    gfx::Rect b = controls->bounds();
    gfx::Size text = notice->sizeThatFits({ b.width(), NoticeHeight });
    float width = std::min(b.width() - 2 * NoticeMargin, std::ceil(text.width) + 2 * NoticeMargin);
    notice->setFrame({ std::round((b.width() - width) / 2),
        b.height() - media::MovieView::BarHeight - 16 - NoticeMargin / 2 - NoticeHeight, width, NoticeHeight });
    notice->setAutoresizingMask(ui::View::FlexibleLeftMargin | ui::View::FlexibleRightMargin | ui::View::FlexibleTopMargin);
    controls->addSubview(notice);
    m_noSoundOutputNotice = std::move(notice);
}

bool VKMoviePlayerController::handOverToAudioPlayer()
{
    auto* navigation = navigationController();
    if (!navigation || navigation->topViewController() != this || !resource())
        return false;
    auto audio = audioPlayerControllerForResource(resource(), folderController());
    if (!audio)
        return false;
    // Nothing was played yet: the file's stored position stays for the
    // audio screen, and the player goes before that screen opens the file.
    stopObserving();
    auto movie = std::move(m_movieController);
    m_movieController = nullptr;
    movie->stop();
    movie->view()->removeFromSuperview();
    auto stack = navigation->viewControllers();
    stack.back() = audio;
    navigation->setViewControllers(std::move(stack), false);
    return true;
}

bool VKMoviePlayerController::shouldSingleTapShowUI() const
{
    // At the end a tap is the player's: it shows or hides its controls.
    return contentDidLoad()
        && (!m_movieController
            || (m_movieController->loadState() == media::MovieLoadStateUnknown && !m_movieController->hasEnded()));
}

bool VKMoviePlayerController::performKeyCommand(ui::KeyCommand command)
{
    auto movie = m_movieController;
    if (!movie || !(movie->isPreparedToPlay() || movie->hasEnded()))
        return VKViewController::performKeyCommand(command);
    switch (command) {
    case ui::KeyCommand::PageDown:
        if (movie->playbackState() == media::MoviePlaybackState::Playing)
            movie->pause();
        else
            movie->play();
        return true;
    case ui::KeyCommand::Left:
    case ui::KeyCommand::Right: {
        double step = command == ui::KeyCommand::Left ? -SeekKeyStep : SeekKeyStep;
        double end = movie->duration() > 0 ? movie->duration() : movie->currentPlaybackTime() + SeekKeyStep;
        movie->setCurrentPlaybackTime(std::clamp(movie->currentPlaybackTime() + step, 0.0, end));
        return true;
    }
    case ui::KeyCommand::Return:
        if (auto& view = movie->view(); view && view->showsControls()) {
            view->toggleControls();
            return true;
        }
        return VKViewController::performKeyCommand(command);
    default:
        return VKViewController::performKeyCommand(command);
    }
}

bool VKMoviePlayerController::isUIHidden() const
{
    auto* navigation = navigationController();
    return navigation && navigation->isNavigationBarHidden();
}

void VKMoviePlayerController::setUIHidden(bool hidden, bool animated)
{
    cancelToggleUITimer();
    if (auto* navigation = navigationController()) {
        navigation->setNavigationBarHidden(hidden, animated);
        navigation->setToolbarHidden(hidden, animated);
    }
}

std::optional<gfx::Color> VKMoviePlayerController::preferredBackgroundColor() const
{
    return gfx::Color(0, 0, 0, 1);
}

bool VKMoviePlayerController::shouldBegin(ui::GestureRecognizer& recognizer)
{
    if (m_tvoutControls && &recognizer == singleTapGestureRecognizer().get())
        return false;
    return VKViewController::shouldBegin(recognizer);
}

// ---- Resume and store ---------------------------------------------------------

void VKMoviePlayerController::resumeFromLastOffset()
{
    if (!m_movieController || !resource())
        return;
    double offset = VKFileSettingsManager::defaultManager()->contentOffsetForFile(resource()->path());
    double time = offset;
    if (m_movieController->duration() > 0) {
        time = std::max(startPlaybackTime(), offset);
        if (time >= endPlaybackTime())
            time = startPlaybackTime();
    }
    core::RunLoop::main().performAfter(weakSelf(), 0, [time](VKMoviePlayerController& self) {
        self.setCurrentPlaybackTimeDelayed(time);
    });
}

void VKMoviePlayerController::setCurrentPlaybackTimeDelayed(double seconds)
{
    if (!m_movieController)
        return;
    m_movieController->setCurrentPlaybackTime(seconds);
    m_movieController->setShouldAutoplay(true);
    m_movieController->play();
}

void VKMoviePlayerController::storePersistentState()
{
    if (!m_movieController || !resource())
        return;
    if (!(m_movieController->loadState() & media::MovieLoadStatePlayable))
        return;
    auto settings = VKFileSettingsManager::defaultManager();
    const std::string path = resource()->path();
    double time = m_movieController->currentPlaybackTime();
    if (time < m_movieController->duration()) {
        if (!settings->setContentOffset(float(time), path))
            core::log("Warning, setContentOffset failed: {}", path);
    } else {
        settings->removeSettingsForItemAtPath(path);
    }
}

void VKMoviePlayerController::removeMovieControllerStatusBarWorkaroundHack()
{
    if (!m_movieController)
        return;
    storePersistentState();
    auto movie = std::move(m_movieController);
    m_movieController = nullptr;
    movie->stop();
    movie->view()->removeFromSuperview();
}

// ---- Finishing and leaving ------------------------------------------------------

void VKMoviePlayerController::moviePlayerDidFinish(const media::MovieFinish& finish)
{
    if (finish.error) {
        setUIHidden(false, false);
        const auto& error = finish.error;
        core::log("Movie playback failed with error: {}", error->description());
        for (const char* action : { ShowBookmarksAction, AddBookmarkAction })
            if (auto item = findBarButtonItemWithAction(action))
                item->setEnabled(false);
        std::string message = core::errorInfo::statedDescription(*error).value_or(std::string());
        if (message.empty())
            message = fmt::format(fmt::runtime(core::localized("{} encountered an error playing \"{}\"")),
                VKMainBundleDisplayName().value_or("Tandry"), resource() ? resource()->name() : std::string());
        showAlertViewWithTitle(core::localized("Warning"), message, core::localized("OK"));
        return;
    }
    if (finish.reason != media::MovieFinishReason::UserExited)
        return;
    stopObserving();
    removeMovieControllerStatusBarWorkaroundHack();
    core::RunLoop::main().performAfter(weakSelf(), 0, [](VKMoviePlayerController& self) {
        self.popMoviePlayerControllerDelayed();
    });
}

void VKMoviePlayerController::popMoviePlayerControllerDelayed()
{
    showStatusBar();
    if (auto* navigation = navigationController())
        navigation->popViewController(true);
}

void VKMoviePlayerController::viewWillDisappear(bool animated)
{
    VKViewController::viewWillDisappear(animated);
    m_appeared = false;
    if (auto* navigation = navigationController())
        navigation->toolbar().setAlpha(1.0f);
    stopObserving();
    if (m_movieController) {
        m_movieController->setShouldAutoplay(false);
        m_movieController->stop();
    }
    showStatusBar();
}

// ---- TV out ------------------------------------------------------------------

void VKMoviePlayerController::screenDidConnect(const core::Notification&)
{
    if (isUsingTVOut() || ui::Screen::screens().size() < 2 || !m_movieController)
        return;
    m_movieController->pause();
    promptUserForTVDisplay();
}

void VKMoviePlayerController::promptUserForTVDisplay()
{
    core::RunLoop::main().performAfter(weakSelf(), 0, [](VKMoviePlayerController& self) {
        if (self.m_tvoutAlert)
            self.m_tvoutAlert->setDelegate({});
        self.m_tvoutAlert = ui::AlertView::create({}, core::localized("Display on TV"),
            std::static_pointer_cast<ui::AlertViewDelegate>(self.sharedAs<VKMoviePlayerController>()), core::localized("No"), { core::localized("Use TV") });
        self.m_tvoutAlert->setTag(TVOutAlertTag);
        self.m_tvoutAlert->show();
    });
}

void VKMoviePlayerController::clickedButton(ui::AlertView& alert, int index)
{
    if (alert.tag() == VKAlertViewTagSystemCancelled)
        return;
    if (alert.tag() != TVOutAlertTag || !m_movieController)
        return;
    m_tvoutAlert = nullptr;
    auto movieView = m_movieController->view();
    bool hadSuperview = movieView->superview() != nullptr;
    auto screens = ui::Screen::screens();
    if (index == alert.firstOtherButtonIndex() && screens.size() > 1) {
        if (!m_tvoutWindow) {
            auto screen = screens.back();
            m_tvoutWindow = ui::Window::create(screen->bounds());
            movieView->removeFromSuperview();
            movieView->setFrame(m_tvoutWindow->bounds());
            m_tvoutWindow->addSubview(movieView);
            m_movieController->setControlStyle(MovieControlStyle::None);
            ui::setScreenOfWindow(*m_tvoutWindow, screen);
            m_tvoutWindow->makeKeyAndVisible();
        }
        if (!m_tvoutControls) {
            m_tvoutControls = VKMovieControls::create(m_movieController);
            if (auto content = contentView()) {
                m_tvoutControls->view()->setFrame(content->bounds());
                content->addSubview(m_tvoutControls->view());
            }
        }
        showStatusBar();
    } else if (!contentView() || movieView->superview() != contentView().get()) {
        putMovieViewIntoContentView();
        if (!isResourceAudioOnly())
            setUIHidden(true, true);
    }
    if (hadSuperview)
        m_movieController->play();
    else
        resumeFromLastOffset();
}

void VKMoviePlayerController::screenDidDisconnect(const core::Notification& notification)
{
    if (!m_tvoutWindow || !m_movieController)
        return;
    auto screen = ui::screenOfWindow(*m_tvoutWindow);
    if (screen && notification.object() && notification.object() != screen)
        return;
    MoviePlaybackState state = m_movieController->playbackState();
    m_movieController->pause();
    putMovieViewIntoContentView();
    m_movieController->setControlStyle(MovieControlStyle::Fullscreen);
    tearDownTVOut();
    // The base's delayed change asks the tap questions, which never let
    // this screen hide its bars: the movie hides them itself.
    if (!isResourceAudioOnly())
        core::RunLoop::main().performAfter(weakSelf(), TVOutDisconnectHideDelay, [](VKMoviePlayerController& self) {
            if (self.m_movieController && !self.isUsingTVOut())
                self.setUIHidden(true, true);
        });
    if (state == MoviePlaybackState::Playing)
        m_movieController->play();
}

void VKMoviePlayerController::tearDownTVOut()
{
    if (m_tvoutWindow) {
        auto window = std::move(m_tvoutWindow);
        m_tvoutWindow = nullptr;
        ui::setScreenOfWindow(*window, nullptr);
        window->setHidden(true);
    }
    if (m_tvoutControls) {
        m_tvoutControls->invalidate();
        m_tvoutControls = nullptr;
    }
}
