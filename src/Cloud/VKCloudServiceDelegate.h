#pragma once

#include "Platform/Core/Error.h"

#include <string>

class VKCloudService;

// The callback object of a cloud operation. Every method is optional: the
// empty default stands for an object that does not answer the message.
// Callers hand it in as a shared_ptr, and the service holds it until the
// operation ends. Paths are cloud paths.
class VKCloudServiceDelegate {
public:
    virtual ~VKCloudServiceDelegate() = default;

    virtual void cloudServiceThumbnailFetchFailedForPath(VKCloudService&, const std::string& /*path*/) { }
    virtual void cloudServiceThumbnailFetchCompletedForPath(VKCloudService&, const std::string& /*path*/,
        const std::string& /*destination*/) { }
    virtual void cloudServiceDidCancelUploadForPath(VKCloudService&, const std::string& /*path*/) { }
    virtual void cloudServiceUploadFailedForPath(VKCloudService&, const std::string& /*path*/, const core::Error&) { }
    virtual void cloudServiceUploadForPathDidUpdateProgress(VKCloudService&, const std::string& /*path*/, float) { }
    virtual void cloudServiceUploadCompletedForPath(VKCloudService&, const std::string& /*path*/) { }
    virtual void cloudServiceDidCancelFetchForPath(VKCloudService&, const std::string& /*path*/) { }
    virtual void cloudServiceFetchFailedForPath(VKCloudService&, const std::string& /*path*/) { }
    virtual void cloudServiceFetchCompletedForPath(VKCloudService&, const std::string& /*path*/) { }
    virtual void cloudServiceFetchForPathDidUpdateProgress(VKCloudService&, const std::string& /*path*/, float) { }
    virtual void cloudServiceFetchWillStartForPath(VKCloudService&, const std::string& /*path*/) { }
    virtual void cloudServiceCopyFailedForPath(VKCloudService&, const std::string& /*path*/, const core::Error&) { }
    virtual void cloudServiceDidCopyPath(VKCloudService&, const std::string& /*from*/, const std::string& /*to*/) { }
    virtual void cloudServiceMoveFailedForPath(VKCloudService&, const std::string& /*path*/, const core::Error&) { }
    virtual void cloudServiceDidMovePath(VKCloudService&, const std::string& /*from*/, const std::string& /*to*/) { }
    virtual void cloudServiceDeleteFailedForPath(VKCloudService&, const std::string& /*path*/, const core::Error&) { }
    virtual void cloudServiceDidDeletePath(VKCloudService&, const std::string& /*path*/) { }
    virtual void cloudServiceCreateDirectoryFailedForPath(VKCloudService&, const std::string& /*path*/,
        const core::Error&) { }
    virtual void cloudServiceDidCreateDirectoryAtPath(VKCloudService&, const std::string& /*path*/) { }
    virtual void cloudServiceItemAtPathExists(VKCloudService&, const std::string& /*path*/, bool /*exists*/) { }
    virtual void cloudServiceMetadataUpdateFailedForPath(VKCloudService&, const std::string& /*path*/) { }
    virtual void cloudServiceMetadataUnchangedAtPath(VKCloudService&, const std::string& /*path*/) { }
    virtual void cloudServiceDidUpdateMetadataAtPath(VKCloudService&, const std::string& /*path*/) { }
};
