#pragma once

#include "App/VKAppServiceHooks.h"

// The launch's upload hooks, answered by the cloud upload queue.
class VKAppUploadManagerHooks : public VKAppUploadHooks {
public:
    void initializeUploads() override;
};
