#include "App/Viewers/VKViewerFolderHost.h"

#include "Shell/Interface/AlertViewAdditions.h"
#include "Platform/Core/Localized.h"

bool VKViewerFolderHost::alertUnlessMoved(int result, const char* lockedMessage, const char* failedMessage)
{
    if (result == TrashMoved)
        return true;
    showAlertViewWithMessage(core::localized(result == TrashLocked ? lockedMessage : failedMessage),
        core::localized("OK"));
    return false;
}
