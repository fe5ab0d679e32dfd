#include "Viewers/AudioPlayer/VKAudioTrackSource.h"

#include "Audio/VKAudioPlayer.h"
#include "Cloud/VKCloudService.h"
#include "Cloud/VKCloudServicesManager.h"
#include "FileModel/VKFileResource.h"
#include "FileModel/VKFileSettingsManager.h"
#include "Platform/Core/FileSystem.h"
#include "Platform/Core/Log.h"
#include "Platform/Core/Path.h"
#include "Platform/Core/Paths.h"
#include "Platform/Core/RegularFile.h"
#include "Viewers/AudioPlayer/VKAudioProgress.h"

std::shared_ptr<VKAudioPlayer> VKAudioTrackSource::open(
    const VKFileResource& resource, core::Error* error, core::Error* unreadable)
{
    if (resource.isCloudResource() && resource.size() != resource.localSize())
        return openStream(resource, error);
    core::Error unopened;
    if (!core::fs::openRegularFileWithin(resource.path(), core::paths::home(), &unopened)) {
        if (unreadable)
            *unreadable = unopened;
        core::setError(error, unopened);
        return nullptr;
    }
    return VKAudioPlayer::initWithURL(resource.fileURL(), error);
}

std::shared_ptr<VKAudioPlayer> VKAudioTrackSource::openStream(const VKFileResource& resource,
    core::Error* error)
{
    const std::string localPath = resource.path();
    if (core::fs::exists(localPath))
        core::fs::removeItem(localPath);
    auto manager = VKCloudServicesManager::sharedManager();
    auto service = manager ? manager->cloudServiceForResource(resource) : nullptr;
    auto request = service ? service->streamingURLRequestForPath(resource.cloudPath()) : std::nullopt;
    if (!request)
        return nullptr;
    auto player = VKAudioPlayer::initWithURLRequest(*request, error);
    // While the cloud layer fetches the file itself, the stream goes to a
    // temporary file so that the two do not write over each other.
    if (player && !service->isFetchingItemAtPath(resource.cloudPath())) {
        std::string folder = core::path::deletingLastPathComponent(localPath);
        if (!core::fs::isDirectory(folder))
            core::fs::createDirectory(folder, true);
        player->setStreamDestinationPath(localPath);
    }
    return player;
}

void VKAudioTrackSource::restorePosition(VKAudioPlayer& player, const VKFileResource& resource)
{
    if (player.isStreamingPlayer())
        return;
    double offset = VKFileSettingsManager::defaultManager()->contentOffsetForFile(resource.path());
    if (offset > 0)
        player.setCurrentTime(offset);
}

void VKAudioTrackSource::storePosition(const VKAudioPlayer& player, const std::string& path)
{
    auto settings = VKFileSettingsManager::defaultManager();
    double time = player.currentTime();
    double duration = VKAudioProgress::usableDuration(player.duration());
    if (time < duration && time > MinimumStoredTime) {
        if (!settings->setContentOffset(float(time), path))
            core::log("Warning, setContentOffset failed: {}", path);
    } else {
        settings->removeSettingsForItemAtPath(path);
    }
}

void VKAudioTrackSource::forgetPosition(const std::string& path)
{
    VKFileSettingsManager::defaultManager()->removeSettingsForItemAtPath(path);
}
