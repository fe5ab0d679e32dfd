#pragma once

// The mail composer the system presents: the toolkit's, turning with the
// device in every orientation.

#include "Platform/UI/MailComposeController.h"

class VKMailComposeViewController : public ui::MailComposeController {
public:
    static std::shared_ptr<VKMailComposeViewController> create();

    bool shouldAutorotate(ui::Orientation orientation) override;
};
