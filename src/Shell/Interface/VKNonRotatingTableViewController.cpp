#include "Shell/Interface/VKNonRotatingTableViewController.h"

#include "Shell/Interface/VKNonRotatingViewController.h"

bool VKNonRotatingTableViewController::shouldAutorotate(ui::Orientation orientation)
{
    return VKIsCurrentInterfaceOrientation(orientation);
}
