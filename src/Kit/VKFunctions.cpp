#include "Kit/VKFunctions.h"

#include "Platform/Core/Bundle.h"
#include "Platform/Core/Device.h"
#include "Platform/Core/Exception.h"
#include "Platform/Core/Object.h"
#include "Platform/Core/Paths.h"
#include "Platform/Graphics/Context.h"

#include <cmath>
#include <fmt/format.h>

bool VKFloatIsEqualToFloatFuzzy(float a, float b, float epsilon)
{
    return std::fabs(a - b) <= epsilon;
}

bool VKPointIsEqualToPointFuzzy(gfx::Point p, gfx::Point q, float epsilon)
{
    return std::fabs(q.x - p.x) <= epsilon && std::fabs(q.y - p.y) <= epsilon;
}

bool VKClassIsEqualToClassName(const core::Object& object, std::string_view className)
{
    return object.className() == className;
}

std::string VKTemporaryDirectory()
{
    return core::paths::temporaryDirectory();
}

std::optional<std::string> VKMainBundleDisplayName()
{
    core::Value name = core::Bundle::main()->objectForInfoDictionaryKey("CFBundleDisplayName");
    if (!name.isString())
        return std::nullopt;
    return name.string();
}

bool VKIsMultitaskingSupported()
{
    return VKIsMultitaskingSupported(*core::Device::current());
}

bool VKIsMultitaskingSupported(const core::Object& device)
{
    return VKSafeValueForKey(&device, "multitaskingSupported").toBool();
}

std::string _VKMappedString(const int32_t* codes, size_t count)
{
    std::string result;
    result.reserve(count);
    for (size_t i = 0; i < count; ++i) {
        auto byte = static_cast<unsigned char>(codes[i] & 0xFF);
        if (byte < 0x80) {
            result += static_cast<char>(byte);
        } else {
            result += static_cast<char>(0xC0 | (byte >> 6));
            result += static_cast<char>(0x80 | (byte & 0x3F));
        }
    }
    return result;
}

static bool isSwallowedByKeyValueAccess(const core::Exception& exception)
{
    return exception.name() == core::Exception::UnknownKey || exception.name() == core::Exception::InvalidArgument;
}

core::Value VKSafeValueForKey(const core::Object* object, std::string_view key)
{
    if (!object)
        return {};
    try {
        return object->valueForKey(key);
    } catch (const core::Exception& exception) {
        if (!isSwallowedByKeyValueAccess(exception))
            throw;
        return {};
    }
}

void VKSafeSetValueForKey(core::Object* object, const core::Value& value, std::string_view key)
{
    if (!object)
        return;
    try {
        object->setValueForKey(value, key);
    } catch (const core::Exception& exception) {
        if (!isSwallowedByKeyValueAccess(exception))
            throw;
    }
}

void VKContextAddRoundedRect(gfx::Context& context, float x, float y, float w, float h, float r)
{
    constexpr float pi = float(M_PI);
    context.moveToPoint(x, y + r);
    context.addLineToPoint(x, y + h - r);
    context.addArc(x + r, y + h - r, r, pi, pi / 2, true);
    context.addLineToPoint(x + w - r, y + h);
    context.addArc(x + w - r, y + h - r, r, pi / 2, 0.0f, true);
    context.addLineToPoint(x + w, y + r);
    context.addArc(x + w - r, y + r, r, 0.0f, -pi / 2, true);
    context.addLineToPoint(x + r, y);
    context.addArc(x + r, y + r, r, -pi / 2, pi, true);
}
