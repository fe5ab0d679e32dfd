#pragma once

#include "Platform/Core/Value.h"

// An object that stands for a JSON value: the writer writes what
// proxyForJson() answers in its place. Objects held in a core::Value add it
// beside core::Object.
class KWJsonProxy {
public:
    virtual ~KWJsonProxy() = default;
    virtual core::Value proxyForJson() const = 0;
};
