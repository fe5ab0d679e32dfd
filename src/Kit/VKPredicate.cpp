#include "Kit/VKPredicate.h"

bool VKPredicate::evaluateWithObject(const core::Value&) const
{
    return false;
}
