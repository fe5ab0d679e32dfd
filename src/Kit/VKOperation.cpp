#include "Kit/VKOperation.h"

#include "Kit/VKFunctions.h"

void VKOperation::run()
{
    VKRaiseNotImplemented(*this, "run");
}
