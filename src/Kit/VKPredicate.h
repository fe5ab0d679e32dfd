#pragma once

#include "Platform/Core/Object.h"
#include "Platform/Core/Value.h"

// A condition over an object's key paths. The WebDAV If header turns each
// of its condition lists into a tree of these and evaluates it against a
// dictionary of the resource's facts (lock tokens, entity tag).
class VKPredicate : public core::Object {
public:
    // The abstract predicate holds for nothing.
    virtual bool evaluateWithObject(const core::Value& object) const;
};
