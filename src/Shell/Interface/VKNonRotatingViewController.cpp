#include "Shell/Interface/VKNonRotatingViewController.h"

#include "Platform/UI/Application.h"

bool VKIsCurrentInterfaceOrientation(ui::Orientation orientation)
{
    auto* application = ui::Application::shared();
    return orientation == (application ? application->statusBarOrientation() : ui::Orientation::Portrait);
}

bool VKNonRotatingViewController::shouldAutorotate(ui::Orientation orientation)
{
    return VKIsCurrentInterfaceOrientation(orientation);
}
