#pragma once

#include "Platform/Core/Value.h"

// A copy of the dictionary that can be changed at any depth without touching
// the source: nested dictionaries are copies too. Values share their
// containers until one side changes (copy on write), so the copy costs
// nothing until then, and arrays inside stay shared as long as nobody
// changes them.
core::Value::Dictionary deepMutableCopy(const core::Value::Dictionary& dictionary);
core::Value deepMutableCopy(const core::Value& dictionary);
