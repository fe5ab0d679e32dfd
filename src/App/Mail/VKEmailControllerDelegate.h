#pragma once

#include "Platform/Core/Error.h"

class VKEmailController;

// Told once when a mail with attachments is done: sent, saved, cancelled
// (also while attachments were being prepared) or failed. The error is
// always null; a failure is success false.
class VKEmailControllerDelegate {
public:
    virtual ~VKEmailControllerDelegate() = default;
    virtual void emailController(VKEmailController& controller, bool success, const core::Error* error)
    {
        (void)controller, (void)success, (void)error;
    }
};
