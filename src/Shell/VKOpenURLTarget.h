#pragma once

#include "Platform/Core/URLRequest.h"

// A screen that opens links inside the application rather than handing
// them to the system: while it is the current content screen, the
// application object gives it every URL the program asks to open. The text
// viewer adopts it.
class VKOpenURLTarget {
public:
    virtual ~VKOpenURLTarget() = default;
    virtual void handleOpenEventForURLRequest(const core::URLRequest& request) = 0;
};
