#include "App/FolderBrowser/VKFolderBrowserServices.h"

#include "App/VKAppDelegate.h"

std::shared_ptr<VKFolderBrowserServices> VKFolderBrowserServices::current()
{
    return VKAppDelegate::sharedAppDelegate();
}
