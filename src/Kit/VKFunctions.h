#pragma once

// Free functions for small recurring jobs across the system: transition
// style names, fuzzy comparisons, key-value access that tolerates missing
// keys, platform facts and the abstract-method exception.

#include "Platform/Core/Value.h"
#include "Platform/Graphics/Geometry.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace core {
class Object;
}
namespace gfx {
class Context;
}

// Names of the view transition styles; views and the slide show keep them in
// the settings, so the texts are fixed.
constexpr std::string_view VKTransitionFade() { return "fade"; }
constexpr std::string_view VKTransitionReveal() { return "reveal"; }
constexpr std::string_view VKTransitionMoveIn() { return "moveIn"; }
constexpr std::string_view VKTransitionPush() { return "push"; }
constexpr std::string_view VKTransitionFromRight() { return "fromRight"; }
constexpr std::string_view VKTransitionFromLeft() { return "fromLeft"; }

// |a − b| ≤ epsilon in single precision; any NaN answers false.
bool VKFloatIsEqualToFloatFuzzy(float a, float b, float epsilon);
bool VKPointIsEqualToPointFuzzy(gfx::Point p, gfx::Point q, float epsilon);

// Whether the object's class name is exactly `className`.
bool VKClassIsEqualToClassName(const core::Object& object, std::string_view className);

// The private temporary directory, "<home>/tmp/".
std::string VKTemporaryDirectory();
// The main bundle's "CFBundleDisplayName", when it has one.
std::optional<std::string> VKMainBundleDisplayName();

// Whether the device runs applications in the background: its
// "multitaskingSupported" value, so that a device without it answers false.
bool VKIsMultitaskingSupported();
bool VKIsMultitaskingSupported(const core::Object& device);

// A string of one character per code (the low 8 bits, as Latin-1), for names
// stored as arrays of character codes.
std::string _VKMappedString(const int32_t* codes, size_t count);

// The object's value for the key, or null when the object has no such key
// (NSUnknownKeyException) or refuses the argument (NSInvalidArgumentException).
// Other exceptions pass. A null object answers null.
core::Value VKSafeValueForKey(const core::Object* object, std::string_view key);
inline core::Value VKSafeValueForKey(const std::shared_ptr<core::Object>& object, std::string_view key)
{
    return VKSafeValueForKey(object.get(), key);
}
// Sets the value; the same two exceptions are swallowed.
void VKSafeSetValueForKey(core::Object* object, const core::Value& value, std::string_view key);
inline void VKSafeSetValueForKey(const std::shared_ptr<core::Object>& object, const core::Value& value, std::string_view key)
{
    VKSafeSetValueForKey(object.get(), value, key);
}

// Adds a rounded rectangle to the context's current path, from (x, y + r)
// round all four corners (arcs with angles decreasing) and back, without
// closing, filling or stroking it.
void VKContextAddRoundedRect(gfx::Context& context, float x, float y, float w, float h, float r);

