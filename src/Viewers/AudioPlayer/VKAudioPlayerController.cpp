#include "Viewers/AudioPlayer/VKAudioPlayerController.h"

#include "Shell/Interface/AlertViewAdditions.h"
#include "Shell/Interface/BarButtonItemAdditions.h"
#include "Shell/Interface/VKActionSheet.h"
#include "Shell/Interface/ViewControllerAdditions.h"
#include "Shell/VKAppDelegateHooks.h"
#include "Shell/VKApplication.h"
#include "FileModel/VKFileResource.h"
#include "App/FolderBrowser/VKFailureReason.h"
#include "App/Viewers/VKViewerFolderHost.h"
#include "Kit/VKFunctions.h"
#include "FileModel/VKResourceMoveNotifications.h"
#include "Platform/Core/Localized.h"
#include "Platform/Core/Log.h"
#include "Platform/Core/NotificationCenter.h"
#include "Platform/Core/RunLoop.h"
#include "Platform/Core/UserDefaults.h"
#include "Platform/Media/AudioSink.h"
#include "Platform/UI/Application.h"
#include "Platform/UI/BarButtonItem.h"
#include "Platform/UI/Button.h"
#include "Platform/UI/Images.h"
#include "Platform/UI/Label.h"
#include "Platform/UI/NavigationBar.h"
#include "Platform/UI/NavigationController.h"
#include "Platform/UI/Toolbar.h"
#include "Viewers/AudioPlayer/VKAudioPlayerRegistry.h"
#include "Viewers/AudioPlayer/VKAudioPlayerView.h"
#include "Viewers/AudioPlayer/VKAudioSlider.h"
#include "Viewers/AudioPlayer/VKAudioTrackSource.h"
#include "Viewers/AudioPlayer/VKVolumeView.h"

#include <utility>
#include <fmt/format.h>
#include <fmt/printf.h>

namespace {

std::optional<std::string> pathIn(const std::string& path)
{
    if (path.empty())
        return std::nullopt;
    return path;
}

} // namespace

std::shared_ptr<VKAudioPlayerController> VKAudioPlayerController::create(const std::shared_ptr<VKFileResource>& resource,
    const std::shared_ptr<VKViewerFolderHost>& folderController)
{
    auto controller = std::make_shared<VKAudioPlayerController>();
    controller->initWithResource(resource, folderController);
    return controller;
}

std::weak_ptr<VKAudioPlayerController> VKAudioPlayerController::weakSelf()
{
    return sharedAs<VKAudioPlayerController>();
}

void VKAudioPlayerController::performOnNextPass(void (VKAudioPlayerController::*step)())
{
    core::RunLoop::main().performAfter(weakSelf(), 0, [step](VKAudioPlayerController& self) {
        (self.*step)();
    });
}

void VKAudioPlayerController::initWithResource(const std::shared_ptr<VKFileResource>& resource,
    const std::shared_ptr<VKViewerFolderHost>& folderController)
{
    VKViewController::initWithResource(resource, folderController);
    if (auto application = VKApplication::sharedApplication())
        application->initializeMediaPlaybackAudioSession();
    if (folderController)
        m_playlist.setResources(folderController->getAllViewableResourcesWithType(std::string("audio/")));

    auto weak = weakSelf();
    m_bar.setHost(weak);
    auto& center = core::NotificationCenter::defaultCenter();
    auto handle = [&](std::string_view name, void (VKAudioPlayerController::*handler)()) {
        m_observations.push_back(center.observe(name, nullptr, [weak, handler](const core::Notification&) {
            if (auto self = weak.lock())
                ((*self).*handler)();
        }));
    };
    handle(ui::Application::willResignActiveNotification, &VKAudioPlayerController::applicationWillResignActive);
    handle(ui::Application::didBecomeActiveNotification, &VKAudioPlayerController::applicationDidBecomeActive);
    handle(VKApplicationAudioInterruptionDidBeginNotification, &VKAudioPlayerController::audioInterruptionDidBegin);
    handle(VKApplicationAudioInterruptionDidEndNotification, &VKAudioPlayerController::audioInterruptionDidEnd);
    handle(media::SoundOutputUnavailableNotification, &VKAudioPlayerController::soundOutputUnavailable);
}

void VKAudioPlayerController::soundOutputUnavailable()
{
    // Said in the controls, not by an alert each track would bring again;
    // the player goes on, silently.
    if (std::exchange(m_toldNoSoundOutput, true) || !isViewLoaded())
        return;
    if (auto* view = audioPlayerView())
        view->setNotice(core::localized("No sound output is available"));
}

VKAudioPlayerController::~VKAudioPlayerController()
{
    m_observations.clear();
    m_bufferingObservation = {};
    if (m_audioPlayer) {
        m_audioPlayer->stop();
        m_audioPlayer->setDelegate({});
        m_audioPlayer.reset();
    }
    // Any screen tearing down its player leaves no most recent one (a
    // dead weak pointer would answer nothing anyway).
    if (!VKAudioPlayerRegistry::hasMostRecent())
        setMostRecentAudioPlayer(nullptr);
}

VKAudioPlayerView* VKAudioPlayerController::audioPlayerView() const
{
    return dynamic_cast<VKAudioPlayerView*>(contentView().get());
}

// Settings

void VKAudioPlayerController::toggleShuffle()
{
    setShuffleEnabled(!isShuffleEnabled());
    m_playlist.dropOrder();
    updatePlaylistInfo();
}

void VKAudioPlayerController::cycleRepeatMode()
{
    setRepeatMode(VKAudioPlayModes::nextRepeatMode(repeatMode()));
}

// Playlist

const std::vector<std::shared_ptr<VKFileResource>>& VKAudioPlayerController::playlistResources()
{
    if (auto first = m_playlist.rebuildIfNeeded(resource().get(), isSharedController()))
        VKViewController::setResource(first);
    return m_playlist.resources();
}

const std::vector<std::shared_ptr<VKFileResource>>& VKAudioPlayerController::sortedPlaylistResources()
{
    playlistResources();
    return m_playlist.order(resource(), isShuffleEnabled());
}

std::shared_ptr<VKFileResource> VKAudioPlayerController::getNextResource()
{
    playlistResources();
    return m_playlist.next(resource(), isShuffleEnabled());
}

std::shared_ptr<VKFileResource> VKAudioPlayerController::getPreviousResource()
{
    playlistResources();
    return m_playlist.previous(resource(), isShuffleEnabled());
}

void VKAudioPlayerController::updatePlaylistInfo()
{
    auto* view = audioPlayerView();
    if (!view || !view->playlistInfo())
        return;
    const auto& list = sortedPlaylistResources();
    std::ptrdiff_t index = VKAudioPlaylist::indexOf(list, resource());
    std::string text;
    if (index >= 0)
        text = fmt::sprintf(core::localized("%d of %d"), int(index + 1), int(list.size()));
    else if (!list.empty())
        text = fmt::sprintf(core::localized("? of %d"), int(list.size()));
    view->playlistInfo()->setText(text);
}

void VKAudioPlayerController::resourceWillBeDeleted(const std::string& path)
{
    // The screen keeps its file even when it is deleted: it goes on playing
    // what it has, and the playlist is gathered afresh.
    m_playlist.itemWillBeDeleted(pathIn(path), resource().get());
}

void VKAudioPlayerController::resourceDidMove(const VKResourceMove& move)
{
    m_playlist.itemDidMove(pathIn(move.oldPath), pathIn(move.newPath), resource().get());
    VKViewController::resourceDidMove(move);
}

// The player

void VKAudioPlayerController::tearDownAudioPlayer()
{
    if (!m_audioPlayer)
        return;
    stop();
    m_bufferingObservation = {};
    m_audioPlayer->setDelegate({});
    m_audioPlayer.reset();
    setMostRecentAudioPlayer(nullptr);
}

void VKAudioPlayerController::createAudioPlayerForResource(const std::shared_ptr<VKFileResource>& newResource,
    bool restoreOffset, bool startPlayback)
{
    tearDownAudioPlayer();
    if (!VKAudioPlaylist::sameResource(newResource, resource()))
        VKViewController::setResource(newResource);
    if (!newResource) {
        performOnNextPass(&VKAudioPlayerController::audioPlayerDidLoad);
        return;
    }

    core::Error error;
    m_unreadable = {};
    auto player = VKAudioTrackSource::open(*newResource, &error, &m_unreadable);
    if (!player || bool(error)) {
        core::log("Warning, VKAudioPlayer failed to load: {}", error.description());
    } else {
        m_audioPlayer = player;
        player->setDelegate(std::static_pointer_cast<VKAudioPlayerDelegate>(sharedAs<VKAudioPlayerController>()));
        m_bufferingObservation = player->bufferingObservable().observe([weak = weakSelf()](const bool&, const bool&) {
            if (auto self = weak.lock())
                self->showBuffering(true);
        });
        setMostRecentAudioPlayer(sharedAs<VKAudioPlayerController>());
        if (restoreOffset)
            VKAudioTrackSource::restorePosition(*player, *newResource);
        player->prepareToPlay();
        player->setVolume(1.0f);
        if (m_playlist.addIfMissing(newResource, isShuffleEnabled()))
            updatePlaylistInfo();
    }
    performOnNextPass(&VKAudioPlayerController::audioPlayerDidLoad);
    if (startPlayback)
        performOnNextPass(&VKAudioPlayerController::play);
}

void VKAudioPlayerController::audioPlayerDidLoad()
{
    auto* view = audioPlayerView();
    if (!view)
        return;
    setContentLoading(false);
    setContentDidLoad(true);
    view->trackName()->setText(resource() ? resource()->name() : std::string());
    updatePlaylistInfo();
    updatePlayButton();
    updateTimeSliderAndLabels(currentTime());
    showBuffering(true);
    m_bar.setCanPlay(m_audioPlayer != nullptr);
    view->timeSlider()->setEnabled(VKAudioProgress::durationOf(m_audioPlayer.get()) > 0);
}

void VKAudioPlayerController::showBuffering(bool animated)
{
    if (auto* view = audioPlayerView())
        view->setBuffering(m_audioPlayer && m_audioPlayer->isBuffering(), animated);
}

void VKAudioPlayerController::setResource(const std::shared_ptr<VKFileResource>& newResource)
{
    if (VKAudioPlaylist::sameResource(newResource, resource()))
        return;
    bool wasPlaying = isPlaying();
    VKViewController::setResource(newResource);
    if (contentView())
        createAudioPlayerForResource(newResource, true, wasPlaying);
}

// The content

void VKAudioPlayerController::loadContentView()
{
    gfx::Rect frame = view() ? view()->bounds() : gfx::Rect {};
    auto content = VKAudioPlayerView::create(frame);
    auto bind = [&](ui::Control& control, const char* action, unsigned events, void (VKAudioPlayerController::*run)()) {
        control.addTarget(sharedAs<VKAudioPlayerController>(), action, [this, run](ui::Control&, const ui::Event*) {
            ((*this).*run)();
        }, events);
    };
    bind(*content->repeatButton(), "cycleRepeatMode", ui::Control::TouchUpInside, &VKAudioPlayerController::cycleRepeatMode);
    bind(*content->shuffleButton(), "toggleShuffle", ui::Control::TouchUpInside, &VKAudioPlayerController::toggleShuffle);
    bind(*content->timeSlider(), "updateCurrentTime", ui::Control::ValueChanged, &VKAudioPlayerController::updateCurrentTime);
    bind(*content->timeSlider(), "updateCurrentTimeTouchUpEvent", ui::Control::TouchUpInside | ui::Control::TouchUpOutside,
        &VKAudioPlayerController::updateCurrentTimeTouchUpEvent);
    content->volumeSlider()->setShowsRouteButton(true);
    setContentView(content);
}

void VKAudioPlayerController::contentViewDidLoad()
{
    createAudioPlayerForResource(resource(), true, false);
    auto* view = audioPlayerView();
    bool canShuffle = sortedPlaylistResources().size() >= 2;
    view->shuffleButton()->setEnabled(canShuffle);
    if (canShuffle)
        setShuffleEnabled(isShuffleEnabled());
    setRepeatMode(repeatMode());
    applyControlInsets();
    if (!isSharedController())
        performOnNextPass(&VKAudioPlayerController::play);
}

void VKAudioPlayerController::applyControlInsets()
{
    auto* view = audioPlayerView();
    auto* navigation = navigationController();
    if (!view || !navigation)
        return;
    view->setControlInsets({ navigation->navigationBar().frame().height() + ui::Application::currentStatusBarHeight(), 0,
        navigation->toolbar().frame().height(), 0 });
}

void VKAudioPlayerController::didRotate(ui::Orientation fromOrientation)
{
    VKViewController::didRotate(fromOrientation);
    applyControlInsets();
}

void VKAudioPlayerController::startCloudFileFetch()
{
    // Audio streams: the content loads at once and the player fetches.
    loadContentView();
}

std::vector<std::shared_ptr<ui::BarButtonItem>> VKAudioPlayerController::createToolbarItems()
{
    return m_bar.makeItems(shared_from_this(), isPlaying(), m_audioPlayer != nullptr);
}

void VKAudioPlayerController::updatePlayButton()
{
    if (auto item = findBarButtonItemWithAction(VKAudioPlayerBar::TogglePlayAction))
        item->setImage(VKAudioPlayerBar::playImage(isPlaying()));
}

// Next, previous, end

void VKAudioPlayerController::closeScreen()
{
    if (isSendingEmail())
        return;
    stopBackgroundSession();
    dismissActiveActionSheet(*this);
    if (auto* navigation = navigationController())
        navigation->popViewController(true);
}

VKAudioPlaylist::Current VKAudioPlayerController::currentTrack()
{
    return [this] {
        playlistResources();
        return resource();
    };
}

void VKAudioPlayerController::follow(const VKAudioPlaylist::Step& step, bool byButton)
{
    switch (step.kind) {
    case VKAudioPlaylist::Step::Close:
        closeScreen();
        break;
    case VKAudioPlaylist::Step::Open:
        createAudioPlayerForResource(step.resource, byButton, true);
        break;
    case VKAudioPlaylist::Step::Restart:
        setCurrentTime(0);
        break;
    case VKAudioPlaylist::Step::Stay:
        break;
    }
}

void VKAudioPlayerController::handleNext(const std::shared_ptr<core::Object>& sender)
{
    int mode = repeatMode();
    follow(m_playlist.stepNext(currentTrack(), isShuffleEnabled(), mode, sender != nullptr), sender != nullptr);
}

void VKAudioPlayerController::handlePrevious(const std::shared_ptr<core::Object>& sender)
{
    int mode = repeatMode();
    if (currentTime() > RestartThreshold) {
        setCurrentTime(0);
        return;
    }
    follow(m_playlist.stepPrevious(currentTrack(), isShuffleEnabled(), mode, sender != nullptr), sender != nullptr);
}

void VKAudioPlayerController::handleEnd()
{
    auto step = m_playlist.stepAtEnd(currentTrack(), isShuffleEnabled(), repeatMode());
    if (step.kind == VKAudioPlaylist::Step::Restart) {
        setCurrentTime(0);
        play();
        return;
    }
    follow(step, false);
}

// Play, pause, stop

void VKAudioPlayerController::play()
{
    if (m_audioPlayer)
        m_audioPlayer->setVolume(1.0f);
    if (m_audioPlayer && m_audioPlayer->play()) {
        showBuffering(true);
        if (!m_progress.isTimerRunning() && !m_applicationInactive)
            m_progress.startTimer();
        updatePlayButton();
        m_fader.end();
        return;
    }
    std::string name = resource() ? resource()->name() : std::string();
    core::log("Warning, failed to play: {}", name);
    showAlertViewWithMessage(
        VKTextWithFailureReason(fmt::format(fmt::runtime(core::localized("Unable to play \"{}\"")), name), m_unreadable),
        core::localized("OK"));
}

void VKAudioPlayerController::pause()
{
    if (m_audioPlayer)
        m_audioPlayer->pause();
    updatePlayButton();
    m_progress.endTimer();
    m_fader.end();
    storePersistentState();
}

void VKAudioPlayerController::stop()
{
    if (m_audioPlayer) {
        m_audioPlayer->stop();
        storePersistentState();
    }
    if (auto* view = audioPlayerView())
        view->setBuffering(false, true);
    m_progress.endTimer();
    m_fader.end();
}

void VKAudioPlayerController::togglePlay(const std::shared_ptr<core::Object>&)
{
    if (isPlaying()) {
        pause();
        m_background.pause();
    } else {
        play();
        m_background.play();
    }
}

bool VKAudioPlayerController::isPlaying() const
{
    return m_audioPlayer && m_audioPlayer->isPlaying();
}

double VKAudioPlayerController::currentTime() const
{
    return m_audioPlayer ? m_audioPlayer->currentTime() : 0;
}

void VKAudioPlayerController::setCurrentTime(double time)
{
    if (m_audioPlayer && time >= 0 && VKAudioProgress::durationOf(m_audioPlayer.get()) != 0)
        m_audioPlayer->setCurrentTime(time);
}

// Stored position

void VKAudioPlayerController::storePersistentState()
{
    if (m_audioPlayer && resource())
        VKAudioTrackSource::storePosition(*m_audioPlayer, resource()->path());
}

// Fades

void VKAudioPlayerController::playAndFadeIn()
{
    if (!isPlaying())
        m_fader.start(false);
}

void VKAudioPlayerController::fadeOutAndStop()
{
    if (isPlaying())
        m_fader.start(true);
}

// Background and interruptions

void VKAudioPlayerController::applicationWillResignActive()
{
    m_applicationInactive = true;
    if (m_progress.isTimerRunning() && VKIsMultitaskingSupported())
        m_background.start();
    m_progress.endTimer();
}

void VKAudioPlayerController::applicationDidBecomeActive()
{
    m_applicationInactive = false;
    m_background.stop();
    if (isPlaying() && !m_progress.isTimerRunning())
        m_progress.startTimer();
    updateTimeSliderAndLabels(currentTime());
    updatePlaylistInfo();
    updatePlayButton();
}

void VKAudioPlayerController::audioInterruptionDidBegin()
{
    // Nothing else pauses the player here when another sound takes over.
    m_wasPlayingAtInterruption = isPlaying();
    if (m_wasPlayingAtInterruption) {
        m_audioPlayer->pause();
        updatePlayButton();
        m_progress.endTimer();
    }
}

void VKAudioPlayerController::audioInterruptionDidEnd()
{
    if (!m_wasPlayingAtInterruption)
        return;
    m_wasPlayingAtInterruption = false;
    play();
    auto* application = ui::Application::shared();
    if (application && application->applicationState() == ui::Application::State::Background)
        startBackgroundSession();
}

// Appearance

void VKAudioPlayerController::viewWillAppear(bool animated)
{
    VKViewController::viewWillAppear(animated);
    auto hooks = VKAppDelegateHooks::current();
    if (!modalViewController() && !(hooks && hooks->isRootPasscodeControllerActive()))
        updatePlaylistInfo();
}

void VKAudioPlayerController::viewDidAppear(bool animated)
{
    VKViewController::viewDidAppear(animated);
    if (!m_didEmailFile && !isSharedController() && contentDidLoad())
        play();
    m_didEmailFile = false;
}

void VKAudioPlayerController::viewWillDisappear(bool animated)
{
    VKViewController::viewWillDisappear(animated);
    if (!modalViewController() && !isSharedController())
        stop();
}

void VKAudioPlayerController::actionSheetClickedButtonWithTag(VKActionSheet& sheet, int tag)
{
    if (tag == EmailFileButtonTag) {
        m_didEmailFile = true;
        emailFile(nullptr);
        return;
    }
    VKViewController::actionSheetClickedButtonWithTag(sheet, tag);
}

// The player's news

void VKAudioPlayerController::audioPlayerErrorDidOccur(VKAudioPlayer&, const core::Error& error)
{
    core::log("Warning audioPlayerErrorDidOccur: {}", error.description());
    showAlertViewWithMessage(core::localized("Playback error encountered."), core::localized("OK"));
    stop();
    stopBackgroundSession();
}

void VKAudioPlayerController::audioPlayerDidFinishPlaying(VKAudioPlayer&, bool successfully)
{
    updatePlayButton();
    if (successfully) {
        // The finished track starts from the top next time: its position
        // (just short of the duration) is not worth storing when the
        // screen goes.
        setCurrentTime(0);
        if (resource())
            VKAudioTrackSource::forgetPosition(resource()->path());
        handleEnd();
    } else {
        stopBackgroundSession();
    }
}
