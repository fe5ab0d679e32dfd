#include "Platform/Core/MemoryWarning.h"

#include "Platform/Core/NotificationCenter.h"

namespace core {

void postMemoryWarning()
{
    NotificationCenter::defaultCenter().postOnMainThread(DidReceiveMemoryWarningNotification);
}

} // namespace core
