#include "App/Mail/VKMailComposeViewController.h"

std::shared_ptr<VKMailComposeViewController> VKMailComposeViewController::create()
{
    // The compose screen joins when the view loads, titled with the subject
    // given by then.
    return std::make_shared<VKMailComposeViewController>();
}

bool VKMailComposeViewController::shouldAutorotate(ui::Orientation)
{
    return true;
}
