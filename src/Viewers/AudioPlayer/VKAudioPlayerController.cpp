#include "Viewers/AudioPlayer/VKAudioPlayerController.h"

#include "Shell/Interface/AlertViewAdditions.h"
#include "Shell/Interface/BarButtonItemAdditions.h"
#include "Shell/Interface/VKActionSheet.h"
#include "Shell/Interface/ViewControllerAdditions.h"
#include "Shell/VKAppDelegateHooks.h"
#include "Shell/VKApplication.h"
#include "App/VKAppDelegate.h"
#include "Cloud/VKCloudService.h"
#include "Cloud/VKCloudServicesManager.h"
#include "FileModel/VKFileResource.h"
#include "FileModel/VKFileSettingsManager.h"
#include "App/Viewers/VKViewerFolderHost.h"
#include "Kit/ArrayAdditions.h"
#include "Kit/StringAdditions.h"
#include "Kit/VKFunctions.h"
#include "Kit/VKNotificationKeys.h"
#include "Platform/Core/Bundle.h"
#include "Platform/Core/FileSystem.h"
#include "Platform/Core/Localized.h"
#include "Platform/Core/Log.h"
#include "Platform/Core/NotificationCenter.h"
#include "Platform/Core/Path.h"
#include "Platform/Core/RunLoop.h"
#include "Platform/Core/Timer.h"
#include "Platform/Core/UserDefaults.h"
#include "Platform/Media/AudioPlayer.h"
#include "Platform/Media/AudioSink.h"
#include "Platform/UI/Application.h"
#include "Platform/UI/BarButtonItem.h"
#include "Platform/UI/Button.h"
#include "Platform/UI/Images.h"
#include "Platform/UI/Label.h"
#include "Platform/UI/NavigationBar.h"
#include "Platform/UI/NavigationController.h"
#include "Platform/UI/Toolbar.h"
#include "Viewers/AudioPlayer/VKAudioPlayerView.h"
#include "Viewers/AudioPlayer/VKAudioSlider.h"
#include "Viewers/AudioPlayer/VKVolumeView.h"

#include <algorithm>
#include <cmath>
#include <utility>
#include <fmt/format.h>
#include <fmt/printf.h>

namespace {

constexpr const char* TogglePlayAction = "togglePlay";

std::weak_ptr<VKAudioPlayerController>& mostRecent()
{
    static std::weak_ptr<VKAudioPlayerController> controller;
    return controller;
}

std::shared_ptr<VKAudioPlayerController>& shared()
{
    static std::shared_ptr<VKAudioPlayerController> controller;
    return controller;
}

bool isAudio(const VKFileResource& resource)
{
    return resource.mimeType().rfind("audio/", 0) == 0;
}

bool sameResource(const std::shared_ptr<VKFileResource>& a, const std::shared_ptr<VKFileResource>& b)
{
    return a == b || (a && b && a->isEqual(*b));
}

std::ptrdiff_t indexOf(const std::vector<std::shared_ptr<VKFileResource>>& list, const std::shared_ptr<VKFileResource>& resource)
{
    if (!resource)
        return -1;
    for (size_t i = 0; i < list.size(); ++i)
        if (sameResource(list[i], resource))
            return std::ptrdiff_t(i);
    return -1;
}

std::optional<std::string> pathIn(const core::Notification& notification, const char* key)
{
    const core::Value& value = notification.userInfo()[key];
    if (!value.isString() || value.string().empty())
        return std::nullopt;
    return value.string();
}

// A duration as the screen takes it: NaN and negative ones are none.
double usableDuration(double duration)
{
    return std::isfinite(duration) && duration > 0 ? duration : 0;
}

} // namespace

std::shared_ptr<VKAudioPlayerController> VKAudioPlayerController::create(const std::shared_ptr<VKFileResource>& resource,
    const std::shared_ptr<VKViewerFolderHost>& folderController)
{
    auto controller = std::make_shared<VKAudioPlayerController>();
    controller->initWithResource(resource, folderController);
    return controller;
}

std::shared_ptr<VKAudioPlayerController> VKAudioPlayerController::mostRecentAudioPlayer()
{
    return mostRecent().lock();
}

void VKAudioPlayerController::setMostRecentAudioPlayer(const std::shared_ptr<VKAudioPlayerController>& controller)
{
    mostRecent() = controller;
    VKAppDelegate::setMostRecentAudioPlayer(controller);
}

std::shared_ptr<VKAudioPlayerController> VKAudioPlayerController::sharedAudioPlayerController()
{
    if (!shared())
        shared() = create(nullptr, nullptr);
    return shared();
}

bool VKAudioPlayerController::isAnyPlaying()
{
    if (auto controller = shared())
        return controller->isPlaying();
    auto controller = mostRecentAudioPlayer();
    return controller && controller->isPlaying();
}

void VKAudioPlayerController::resetForTesting()
{
    shared().reset();
    setMostRecentAudioPlayer(nullptr);
}

bool VKAudioPlayerController::isSharedController() const
{
    return shared().get() == this;
}

std::weak_ptr<VKAudioPlayerController> VKAudioPlayerController::weakSelf()
{
    return sharedAs<VKAudioPlayerController>();
}

void VKAudioPlayerController::performOnNextPass(void (VKAudioPlayerController::*step)())
{
    core::RunLoop::main().performAfter(0, [weak = weakSelf(), step] {
        if (auto self = weak.lock())
            ((*self).*step)();
    });
}

void VKAudioPlayerController::initWithResource(const std::shared_ptr<VKFileResource>& resource,
    const std::shared_ptr<VKViewerFolderHost>& folderController)
{
    VKViewController::initWithResource(resource, folderController);
    if (auto application = VKApplication::sharedApplication())
        application->initializeMediaPlaybackAudioSession();
    if (folderController)
        m_playlistResources = folderController->getAllViewableResourcesWithType(std::string("audio/"));

    auto weak = weakSelf();
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
    // Said once; the player goes on, silently.
    if (std::exchange(m_toldNoSoundOutput, true) || !isViewLoaded())
        return;
    showAlertViewWithMessage(core::localized("No sound output is available"), core::localized("OK"));
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
    if (mostRecent().expired())
        setMostRecentAudioPlayer(nullptr);
    if (m_backgroundPlayer)
        m_backgroundPlayer->stop();
    if (m_playbackTimer)
        m_playbackTimer->invalidate();
    if (m_fadeTimer)
        m_fadeTimer->invalidate();
}

VKAudioPlayerView* VKAudioPlayerController::audioPlayerView() const
{
    return dynamic_cast<VKAudioPlayerView*>(contentView().get());
}

// Settings

bool VKAudioPlayerController::isShuffleEnabled() const
{
    return core::UserDefaults::standard()->boolForKey(ShuffleKey);
}

void VKAudioPlayerController::setShuffleEnabled(bool enabled)
{
    core::UserDefaults::standard()->set(ShuffleKey, core::Value(enabled));
    if (auto* view = audioPlayerView())
        view->shuffleButton()->setImage(ui::Images::imageNamed(enabled ? "AudioShuffleOn.png" : "AudioShuffleOff.png"),
            ui::Control::Normal);
}

int VKAudioPlayerController::repeatMode() const
{
    return int(core::UserDefaults::standard()->integerForKey(RepeatModeKey));
}

void VKAudioPlayerController::setRepeatMode(int mode)
{
    core::UserDefaults::standard()->set(RepeatModeKey, core::Value(mode));
    auto* view = audioPlayerView();
    if (!view)
        return;
    static constexpr const char* images[] = { "AudioRepeatOff.png", "AudioRepeatAll.png", "AudioRepeatTrack.png",
        "AudioPlaySingleTrack.png" };
    if (mode >= 0 && mode <= 3)
        view->repeatButton()->setImage(ui::Images::imageNamed(images[mode]), ui::Control::Normal);
}

void VKAudioPlayerController::toggleShuffle()
{
    setShuffleEnabled(!isShuffleEnabled());
    m_sortedPlaylistValid = false;
    m_sortedPlaylistResources.clear();
    updatePlaylistInfo();
}

void VKAudioPlayerController::cycleRepeatMode()
{
    int mode = repeatMode() + 1;
    setRepeatMode(mode > SingleTrack || mode < 0 ? RepeatOff : mode);
}

// Playlist

const std::vector<std::shared_ptr<VKFileResource>>& VKAudioPlayerController::playlistResources()
{
    if (m_playlistNeedsRebuild && isSharedController() && resource()) {
        std::string folder = core::path::deletingLastPathComponent(resource()->path());
        auto folderResource = VKFileResource::resourceWithPath(folder);
        if (folderResource && folderResource->isDirectory()) {
            core::log("Rebuilding playlistResources...");
            m_playlistResources.clear();
            m_sortedPlaylistResources.clear();
            m_sortedPlaylistValid = false;
            if (auto children = folderResource->children())
                for (const auto& child : *children)
                    if (child && !child->isDirectory() && isAudio(*child))
                        m_playlistResources.push_back(child);
            if (!resource()->exists() && !m_playlistResources.empty())
                VKViewController::setResource(m_playlistResources.front());
        }
    }
    m_playlistNeedsRebuild = false;
    return m_playlistResources;
}

void VKAudioPlayerController::setPlaylistResources(const std::vector<std::shared_ptr<VKFileResource>>& resources)
{
    if (&resources == &m_playlistResources)
        return;
    m_playlistNeedsRebuild = false;
    m_playlistResources = resources;
    m_sortedPlaylistResources.clear();
    m_sortedPlaylistValid = false;
    updatePlaylistInfo();
}

const std::vector<std::shared_ptr<VKFileResource>>& VKAudioPlayerController::sortedPlaylistResources()
{
    if (m_sortedPlaylistValid)
        return m_sortedPlaylistResources;
    const auto& playlist = playlistResources();
    if (!isShuffleEnabled()) {
        m_sortedPlaylistResources = playlist;
    } else {
        std::vector<std::shared_ptr<VKFileResource>> others;
        others.reserve(playlist.size());
        for (const auto& entry : playlist)
            if (!sameResource(entry, resource()))
                others.push_back(entry);
        if (others.size() >= 3)
            sortInRandomOrder(others);
        m_sortedPlaylistResources.clear();
        if (resource())
            m_sortedPlaylistResources.push_back(resource());
        m_sortedPlaylistResources.insert(m_sortedPlaylistResources.end(), others.begin(), others.end());
    }
    m_sortedPlaylistValid = true;
    return m_sortedPlaylistResources;
}

std::shared_ptr<VKFileResource> VKAudioPlayerController::getNextResource()
{
    const auto& list = sortedPlaylistResources();
    std::ptrdiff_t index = indexOf(list, resource());
    if (index < 0 || size_t(index + 1) >= list.size())
        return nullptr;
    return list[size_t(index + 1)];
}

std::shared_ptr<VKFileResource> VKAudioPlayerController::getPreviousResource()
{
    const auto& list = sortedPlaylistResources();
    std::ptrdiff_t index = indexOf(list, resource());
    if (index <= 0)
        return nullptr;
    return list[size_t(index - 1)];
}

void VKAudioPlayerController::updatePlaylistInfo()
{
    auto* view = audioPlayerView();
    if (!view || !view->playlistInfo())
        return;
    const auto& list = sortedPlaylistResources();
    std::ptrdiff_t index = indexOf(list, resource());
    std::string text;
    if (index >= 0)
        text = fmt::sprintf(core::localized("%d of %d"), int(index + 1), int(list.size()));
    else if (!list.empty())
        text = fmt::sprintf(core::localized("? of %d"), int(list.size()));
    view->playlistInfo()->setText(text);
}

void VKAudioPlayerController::resourceWillBeDeleted(const core::Notification& notification)
{
    // The screen keeps its file even when it is deleted: it goes on playing
    // what it has, and the playlist is gathered afresh.
    auto path = pathIn(notification, VKNotificationPathKey);
    if (!path || !resource())
        return;
    if (*path == core::path::deletingLastPathComponent(resource()->path())) {
        m_sortedPlaylistResources.clear();
        m_sortedPlaylistValid = false;
        m_playlistNeedsRebuild = true;
    }
}

void VKAudioPlayerController::resourceDidMove(const core::Notification& notification)
{
    if (resource()) {
        std::string folder = core::path::deletingLastPathComponent(resource()->path());
        auto oldPath = pathIn(notification, VKNotificationOldPathKey);
        auto newPath = pathIn(notification, VKNotificationNewPathKey);
        if ((oldPath && core::path::deletingLastPathComponent(*oldPath) == folder)
            || (newPath && core::path::deletingLastPathComponent(*newPath) == folder)) {
            m_sortedPlaylistResources.clear();
            m_sortedPlaylistValid = false;
            m_playlistNeedsRebuild = true;
        }
    }
    VKViewController::resourceDidMove(notification);
}

// The player

std::shared_ptr<VKAudioPlayer> VKAudioPlayerController::makeStreamingPlayer(const std::shared_ptr<VKFileResource>& resource,
    core::Error* error)
{
    const std::string localPath = resource->path();
    if (core::fs::exists(localPath))
        core::fs::removeItem(localPath);
    auto manager = VKCloudServicesManager::sharedManager();
    auto service = manager ? manager->cloudServiceForResource(*resource) : nullptr;
    auto request = service ? service->streamingURLRequestForPath(resource->cloudPath()) : std::nullopt;
    if (!request)
        return nullptr;
    auto player = VKAudioPlayer::initWithURLRequest(*request, error);
    // While the cloud layer fetches the file itself, the stream goes to a
    // temporary file so that the two do not write over each other.
    if (player && !service->isFetchingItemAtPath(resource->cloudPath())) {
        std::string folder = core::path::deletingLastPathComponent(localPath);
        if (!core::fs::isDirectory(folder))
            core::fs::createDirectory(folder, true);
        player->setStreamDestinationPath(localPath);
    }
    return player;
}

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
    if (!sameResource(newResource, resource()))
        VKViewController::setResource(newResource);
    if (!newResource) {
        performOnNextPass(&VKAudioPlayerController::audioPlayerDidLoad);
        return;
    }

    core::Error error;
    bool failed = false;
    std::shared_ptr<VKAudioPlayer> player;
    if (newResource->isCloudResource() && newResource->size() != newResource->localSize())
        player = makeStreamingPlayer(newResource, &error);
    else
        player = VKAudioPlayer::initWithURL(newResource->fileURL(), &error);
    failed = !player || bool(error);

    if (failed) {
        core::log("Warning, VKAudioPlayer failed to load: {}", error.description());
    } else {
        m_audioPlayer = player;
        player->setDelegate(std::static_pointer_cast<VKAudioPlayerDelegate>(sharedAs<VKAudioPlayerController>()));
        m_bufferingObservation = player->bufferingObservable().observe([weak = weakSelf()](const bool&, const bool&) {
            if (auto self = weak.lock())
                self->showBuffering(true);
        });
        setMostRecentAudioPlayer(sharedAs<VKAudioPlayerController>());
        if (restoreOffset && !player->isStreamingPlayer()) {
            double offset = VKFileSettingsManager::defaultManager()->contentOffsetForFile(newResource->path());
            if (offset > 0) {
                core::log("Setting initial currentTime ({}): {:f}", newResource->name(), offset);
                player->setCurrentTime(offset);
            }
        }
        player->prepareToPlay();
        player->setVolume(1.0f);
        if (indexOf(m_playlistResources, newResource) < 0) {
            auto playlist = m_playlistResources;
            playlist.push_back(newResource);
            if (!isShuffleEnabled())
                std::stable_sort(playlist.begin(), playlist.end(), [](const auto& a, const auto& b) {
                    return localizedNumericAndCaseInsensitiveCompare(a->baseName(), b->baseName()) < 0;
                });
            setPlaylistResources(playlist);
        }
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
    if (m_playItem)
        m_playItem->setEnabled(m_audioPlayer != nullptr);
    view->timeSlider()->setEnabled(m_audioPlayer && usableDuration(m_audioPlayer->duration()) > 0);
}

void VKAudioPlayerController::showBuffering(bool animated)
{
    if (auto* view = audioPlayerView())
        view->setBuffering(m_audioPlayer && m_audioPlayer->isBuffering(), animated);
}

void VKAudioPlayerController::setResource(const std::shared_ptr<VKFileResource>& newResource)
{
    if (sameResource(newResource, resource()))
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
    auto weak = weakSelf();
    auto bind = [&](ui::Control& control, const char* action, unsigned events, void (VKAudioPlayerController::*run)()) {
        control.addTarget(sharedAs<VKAudioPlayerController>(), action, [weak, run](ui::Control&, const ui::Event*) {
            if (auto self = weak.lock())
                ((*self).*run)();
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
    auto weak = weakSelf();
    auto self = shared_from_this();
    auto item = [&](ui::BarButtonItem::SystemItem kind, const char* action, void (VKAudioPlayerController::*run)(const std::shared_ptr<core::Object>&)) {
        return barButtonSystemItem(kind, self, action, [weak, run](ui::BarButtonItem& sender) {
            if (auto controller = weak.lock())
                ((*controller).*run)(sender.shared_from_this());
        });
    };
    m_playItem = barButtonItemWithImage(ui::Images::imageNamed(isPlaying() ? "VKButtonBarPause.png" : "VKButtonBarPlay.png"),
        ui::BarButtonItem::Style::Plain, self, TogglePlayAction, [weak](ui::BarButtonItem& sender) {
            if (auto controller = weak.lock())
                controller->togglePlay(sender.shared_from_this());
        });
    m_playItem->setEnabled(m_audioPlayer != nullptr);
    return {
        item(ui::BarButtonItem::SystemItem::Action, ShowDocumentActionSheetAction, &VKAudioPlayerController::showDocumentActionSheet),
        flexibleSpaceBarButtonItem(),
        item(ui::BarButtonItem::SystemItem::Rewind, "handlePrevious", &VKAudioPlayerController::handlePrevious),
        flexibleSpaceBarButtonItem(),
        m_playItem,
        flexibleSpaceBarButtonItem(),
        item(ui::BarButtonItem::SystemItem::FastForward, "handleNext", &VKAudioPlayerController::handleNext),
        flexibleSpaceBarButtonItem(),
        fixedSpaceBarButtonItemWithWidth(32),
    };
}

void VKAudioPlayerController::updatePlayButton()
{
    if (auto item = findBarButtonItemWithAction(TogglePlayAction))
        item->setImage(ui::Images::imageNamed(isPlaying() ? "VKButtonBarPause.png" : "VKButtonBarPlay.png"));
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

void VKAudioPlayerController::handleNext(const std::shared_ptr<core::Object>& sender)
{
    int mode = repeatMode();
    if (!sender && mode == SingleTrack) {
        closeScreen();
        return;
    }
    if (auto next = getNextResource()) {
        createAudioPlayerForResource(next, sender != nullptr, true);
        return;
    }
    if (mode == RepeatAll) {
        const auto& list = sortedPlaylistResources();
        if (list.size() >= 2)
            createAudioPlayerForResource(list.front(), sender != nullptr, true);
        return;
    }
    closeScreen();
}

void VKAudioPlayerController::handlePrevious(const std::shared_ptr<core::Object>& sender)
{
    int mode = repeatMode();
    if (currentTime() > RestartThreshold) {
        setCurrentTime(0);
        return;
    }
    if ((!sender && mode == SingleTrack) || (mode == RepeatAll && sortedPlaylistResources().size() == 1)) {
        setCurrentTime(0);
        return;
    }
    if (auto previous = getPreviousResource()) {
        createAudioPlayerForResource(previous, sender != nullptr, true);
        return;
    }
    if (mode == RepeatAll && !sortedPlaylistResources().empty()) {
        createAudioPlayerForResource(sortedPlaylistResources().back(), sender != nullptr, true);
        return;
    }
    closeScreen();
}

void VKAudioPlayerController::handleEnd()
{
    int mode = repeatMode();
    if (mode == RepeatTrack || (mode == RepeatAll && sortedPlaylistResources().size() == 1)) {
        setCurrentTime(0);
        play();
        return;
    }
    handleNext(nullptr);
}

// Play, pause, stop

void VKAudioPlayerController::play()
{
    if (m_audioPlayer)
        m_audioPlayer->setVolume(1.0f);
    if (m_audioPlayer && m_audioPlayer->play()) {
        showBuffering(true);
        if (!m_playbackTimer && !m_applicationInactive)
            startPlaybackTimer();
        updatePlayButton();
        endFade();
        return;
    }
    std::string name = resource() ? resource()->name() : std::string();
    core::log("Warning, failed to play: {}", name);
    showAlertViewWithMessage(fmt::format(fmt::runtime(core::localized("Unable to play \"{}\"")), name), core::localized("OK"));
}

void VKAudioPlayerController::pause()
{
    if (m_audioPlayer)
        m_audioPlayer->pause();
    updatePlayButton();
    endPlaybackTimer();
    endFade();
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
    endPlaybackTimer();
    endFade();
}

void VKAudioPlayerController::togglePlay(const std::shared_ptr<core::Object>&)
{
    if (isPlaying()) {
        pause();
        if (m_backgroundPlayer)
            m_backgroundPlayer->pause();
    } else {
        play();
        if (m_backgroundPlayer)
            m_backgroundPlayer->play();
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
    if (m_audioPlayer && time >= 0 && usableDuration(m_audioPlayer->duration()) != 0)
        m_audioPlayer->setCurrentTime(time);
}

// Progress

void VKAudioPlayerController::startPlaybackTimer()
{
    m_playbackTimer = core::RunLoop::main().schedule(PlaybackTimerInterval, true, [weak = weakSelf()](core::Timer&) {
        auto self = weak.lock();
        if (!self || !self->isPlaying())
            return;
        auto* view = self->audioPlayerView();
        if (view && !view->timeSlider()->isTracking())
            self->updateTimeSliderAndLabels(self->currentTime());
    });
}

void VKAudioPlayerController::endPlaybackTimer()
{
    if (m_playbackTimer)
        m_playbackTimer->invalidate();
    m_playbackTimer.reset();
}

std::string VKAudioPlayerController::stringForTimeInterval(double seconds)
{
    if (!std::isfinite(seconds))
        seconds = 0;
    double a = std::fabs(seconds);
    int h = int(std::floor(a / 3600));
    int m = int(std::floor(std::fmod(a, 3600) / 60));
    int s = int(std::floor(a - 3600.0 * h - 60.0 * m));
    const char* prefix = seconds < 0 ? "-" : "";
    if (h >= 1)
        return fmt::format("{}{:02d}:{:02d}:{:02d}", prefix, h, m, s);
    return fmt::format("{}{:02d}:{:02d}", prefix, m, s);
}

void VKAudioPlayerController::updateTimeSliderAndLabels(double seconds)
{
    auto* view = audioPlayerView();
    if (!view)
        return;
    double t = std::isfinite(seconds) ? std::round(seconds) : 0;
    double duration = m_audioPlayer ? usableDuration(m_audioPlayer->duration()) : 0;
    view->timeElapsedLabel()->setText(stringForTimeInterval(t));
    view->timeRemainingLabel()->setText(stringForTimeInterval(t - duration));
    if (duration > 0) {
        view->timeSlider()->setValue(float(std::clamp(t / duration, 0.0, 1.0)));
        view->timeSlider()->setEnabled(true);
    } else {
        view->timeSlider()->setValue(0);
    }
    view->setNeedsLayout();
    view->layoutIfNeeded();
}

void VKAudioPlayerController::updateCurrentTime()
{
    auto* view = audioPlayerView();
    double duration = m_audioPlayer ? usableDuration(m_audioPlayer->duration()) : 0;
    if (view && duration != 0)
        updateTimeSliderAndLabels(view->timeSlider()->value() * duration);
}

void VKAudioPlayerController::updateCurrentTimeTouchUpEvent()
{
    auto* view = audioPlayerView();
    double duration = m_audioPlayer ? usableDuration(m_audioPlayer->duration()) : 0;
    if (view && duration != 0)
        setCurrentTime(view->timeSlider()->value() * duration);
}

// Stored position

void VKAudioPlayerController::storePersistentState()
{
    if (!m_audioPlayer || !resource())
        return;
    auto settings = VKFileSettingsManager::defaultManager();
    const std::string path = resource()->path();
    double time = m_audioPlayer->currentTime();
    double duration = usableDuration(m_audioPlayer->duration());
    if (time < duration && time > MinimumStoredTime) {
        if (!settings->setContentOffset(float(time), path))
            core::log("Warning, setContentOffset failed: {}", path);
    } else {
        settings->removeSettingsForItemAtPath(path);
    }
}

// Fades

void VKAudioPlayerController::playAndFadeIn()
{
    if (!isPlaying())
        startFade(false);
}

void VKAudioPlayerController::fadeOutAndStop()
{
    if (isPlaying())
        startFade(true);
}

bool VKAudioPlayerController::isFadingIn() const
{
    return m_fadeTimer && !m_fadeOut;
}

bool VKAudioPlayerController::isFadingOut() const
{
    return m_fadeTimer && m_fadeOut;
}

void VKAudioPlayerController::startFade(bool fadeOut)
{
    if (!m_audioPlayer || (m_fadeTimer && m_fadeOut == fadeOut))
        return;
    if (fadeOut && m_audioPlayer->volume() == 0) {
        stop();
        return;
    }
    if (!fadeOut) {
        play();
        if (m_audioPlayer)
            m_audioPlayer->setVolume(0);
    }
    endFade();
    m_fadeOut = fadeOut;
    m_fadeTimer = core::RunLoop::main().schedule(FadeTimerInterval, true, [weak = weakSelf()](core::Timer&) {
        if (auto self = weak.lock())
            self->fadeTimerDidFire();
    });
}

void VKAudioPlayerController::fadeTimerDidFire()
{
    if (!m_audioPlayer) {
        endFade();
        return;
    }
    float step = m_fadeOut ? -FadeStep : FadeStep;
    float current = m_audioPlayer->volume();
    float volume = std::clamp(current + step, 0.0f, 1.0f);
    if (volume == current) {
        bool fadeOut = m_fadeOut;
        endFade();
        if (fadeOut)
            stop();
        return;
    }
    m_audioPlayer->setVolume(volume);
}

void VKAudioPlayerController::endFade()
{
    if (m_fadeTimer)
        m_fadeTimer->invalidate();
    m_fadeTimer.reset();
}

// Background and interruptions

void VKAudioPlayerController::applicationWillResignActive()
{
    m_applicationInactive = true;
    if (m_playbackTimer && VKIsMultitaskingSupported())
        startBackgroundSession();
    endPlaybackTimer();
}

void VKAudioPlayerController::startBackgroundSession()
{
    if (m_backgroundPlayer)
        return;
    auto bundle = core::Bundle::main();
    std::string path = bundle ? bundle->pathForResource("silence", "mp3") : std::string();
    if (path.empty()) {
        core::log("Warning, no silence.mp3 to keep playing in the background");
        return;
    }
    core::Error error;
    auto player = media::AudioPlayer::create(core::URL::fileURL(path), &error);
    if (!player) {
        core::log("Warning, the background player failed to load: {}", error.description());
        return;
    }
    player->setNumberOfLoops(-1);
    player->setVolume(0);
    player->play();
    m_backgroundPlayer = player;
}

void VKAudioPlayerController::stopBackgroundSession()
{
    if (m_backgroundPlayer)
        m_backgroundPlayer->stop();
    m_backgroundPlayer.reset();
}

void VKAudioPlayerController::applicationDidBecomeActive()
{
    m_applicationInactive = false;
    stopBackgroundSession();
    if (isPlaying() && !m_playbackTimer)
        startPlaybackTimer();
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
        endPlaybackTimer();
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
            VKFileSettingsManager::defaultManager()->removeSettingsForItemAtPath(resource()->path());
        handleEnd();
    } else {
        stopBackgroundSession();
    }
}
