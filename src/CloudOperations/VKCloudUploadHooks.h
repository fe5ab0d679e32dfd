#pragma once

#include "Cloud/VKCloudFileModelHooks.h"

// The program's cloud hooks: the mirror's answers to the file model, and
// the upload queue's answers about active uploads.
class VKCloudUploadHooks : public VKCloudFileModelHooks {
public:
    bool hasActiveUploads() const override;
    int activeUploadCount() const override;
    float totalUploadProgress() const override;
    core::Observation observeTotalUploadProgress(std::function<void(float)> handler) override;
};
