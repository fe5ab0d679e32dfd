#pragma once

// The application's delegate: the life-cycle callbacks, each followed by the
// application's notification of the same news. Every method is optional.

#include "Platform/Core/URL.h"
#include "Platform/Core/Value.h"

namespace ui {

class Application;

class ApplicationDelegate {
public:
    virtual ~ApplicationDelegate() = default;

    // `options` is a dictionary (Application::launchOptionsURLKey holds the
    // URL the program was opened with). Answering false keeps that URL from
    // handleOpenURL.
    virtual bool didFinishLaunching(Application&, const core::Value& options)
    {
        (void)options;
        return true;
    }
    virtual bool handleOpenURL(Application&, const core::URL& url)
    {
        (void)url;
        return false;
    }
    virtual void didBecomeActive(Application&) { }
    virtual void willResignActive(Application&) { }
    virtual void didEnterBackground(Application&) { }
    virtual void willEnterForeground(Application&) { }
    virtual void willTerminate(Application&) { }
    virtual void didReceiveMemoryWarning(Application&) { }
};

} // namespace ui
