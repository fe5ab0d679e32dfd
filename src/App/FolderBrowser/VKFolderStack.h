#pragma once

#include <memory>

class VKFileResource;
class VKFolderController;

// The folder screen's walks over the browser's stack of folder screens.
class VKFolderStack {
public:
    // A folder opened from a "Local Files" result may sit on a stack that
    // does not lead to it. When a search begins there, the stack is made
    // again through the screen's services: one screen per folder from the
    // root down to this one, keeping the screens that already lead here. A
    // screen off the way down ends the kept part as a wrong parent does; a
    // stack reached through a "Folder" search (a screen below still
    // searching its folder) is left alone, and other searches below end.
    static void repair(VKFolderController& screen);
    // Shows the resource's row: on this screen at once; in another folder
    // through the services' stack (or, while searching, by opening its
    // parent), on the screen on top one pass later, once laid out.
    static void reveal(VKFolderController& screen, const std::shared_ptr<VKFileResource>& resource);
};
