#pragma once

#include "App/Mail/VKEmailControllerDelegate.h"
#include "Platform/Core/Object.h"

#include <memory>
#include <vector>

class VKEmailController;
class VKFileResource;
class VKFolderCommands;

namespace ui {
class DocumentInteractionController;
}

// Handing the marked items to other programs: by e-mail (plain folders
// cannot go, a selection over the attachment limit asks first through the
// commands' dispatcher, and the mail controller lives until its sheet
// ends), or to another application through the toolkit's open-in menu,
// shown from the More item.
class VKFolderSharing : public core::Object, public VKEmailControllerDelegate {
public:
    // The commands own it and outlive it.
    explicit VKFolderSharing(VKFolderCommands& commands) : m_commands(commands) { }

    void emailMarkedItems();
    void emailResources(const std::vector<std::shared_ptr<VKFileResource>>& resources);
    void emailController(VKEmailController& controller, bool success, const core::Error* error) override;
    const std::shared_ptr<VKEmailController>& emailControllerInUse() const { return m_emailController; }

    void openIn();
    // The controller that offers the resource to other applications, or
    // none when none would take it. One is kept for the last file offered:
    // the same file keeps it, another file gets a new one and the old one
    // goes at the end of the pass (its menu may be closing).
    std::shared_ptr<ui::DocumentInteractionController> openInControllerWithResource(
        const std::shared_ptr<VKFileResource>& resource);

private:
    VKFolderCommands& m_commands;
    std::shared_ptr<VKEmailController> m_emailController;
    std::shared_ptr<ui::DocumentInteractionController> m_currentOpenInController;
};
