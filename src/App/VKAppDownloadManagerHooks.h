#pragma once

#include "App/VKAppServiceHooks.h"

// The launch's download hooks, answered by the download manager.
class VKAppDownloadManagerHooks : public VKAppDownloadHooks {
public:
    void initializeDownloads() override;
    bool hasActiveDownloads() const override;
};
