#include "App/Shell/Interface/VKNonRotatingTableViewController.h"

#include "App/Shell/Interface/VKNonRotatingViewController.h"

bool VKNonRotatingTableViewController::shouldAutorotate(ui::Orientation orientation)
{
    return VKIsCurrentInterfaceOrientation(orientation);
}
