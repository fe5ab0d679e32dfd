#include "Viewers/Document/VKReadingPlace.h"

#include "Viewers/Document/VKDocumentViewController.h"

#include "FileModel/VKFileResource.h"
#include "FileModel/VKFileSettingsManager.h"
#include "Platform/Core/FileSystem.h"
#include "Platform/Core/Log.h"

void VKReadingPlace::restore(VKDocumentViewController& viewer)
{
    if (!viewer.resource() || !viewer.contentView())
        return;
    auto settings = VKFileSettingsManager::defaultManager();
    const std::string& path = viewer.resource()->path();
    float zoom = settings->contentZoomForFile(path);
    if (zoom != 0)
        viewer.setContentZoom(zoom);
    viewer.scrollToNormalisedOffset({ settings->contentInsetForFile(path), settings->contentOffsetForFile(path) }, false,
        true);
}

void VKReadingPlace::store(VKDocumentViewController& viewer)
{
    if (!viewer.resource() || !viewer.contentView() || !core::fs::exists(viewer.resource()->path()))
        return;
    auto settings = VKFileSettingsManager::defaultManager();
    const std::string& path = viewer.resource()->path();
    gfx::Point normalised = viewer.normalisedOffset();
    if (!settings->setContentOffset(normalised.y, path))
        core::log("Warning, setContentOffset failed: {}", path);
    if (!settings->setContentInset(normalised.x, path))
        core::log("Warning, setContentInset failed: {}", path);
    if (!settings->setContentZoom(viewer.contentZoom(), path))
        core::log("Warning, setContentZoom failed: {}", path);
}
