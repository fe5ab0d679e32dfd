#pragma once

#include "Platform/Core/Error.h"
#include "Platform/Core/Value.h"

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace core {

// Property lists in the device's two encodings, XML and binary, read in
// either and written in either. Files and peers are untrusted: input over
// 64 MiB, nested deeper than 512 levels, with UID nodes (keyed archives) or
// with references that loop or multiply is refused before it is decoded.
//
// Writing never lets one odd value block the rest: invalid UTF-8 becomes
// U+FFFD and dates outside the format's range are clamped, each with a log
// line. Null and object handles have no property-list form and fail.
class PropertyList {
public:
    enum class Format { XML, Binary };

    static constexpr size_t MaximumLength = size_t(64) << 20;
    static constexpr size_t MaximumDepth = 512;
    // Decoding expands shared references; past this many nodes the input is
    // taken for a reference bomb.
    static constexpr size_t MaximumNodes = size_t(16) << 20;

    // The device's error codes (Cocoa domain).
    static constexpr int64_t ReadCorruptError = 3840;
    static constexpr int64_t WriteInvalidError = 3851;

    // The value of a property list; null (and the error) when the bytes are
    // not one. `format` receives the encoding found.
    static Value read(std::string_view bytes, Error* error = nullptr, Format* format = nullptr);
    // The same for a file; errors name the file (description and
    // Error::FilePathKey).
    static Value readFile(const std::string& path, Error* error = nullptr, Format* format = nullptr);

    static std::optional<std::string> write(const Value& value, Format format, Error* error = nullptr);
    // Writes atomically (temporary file in the same folder, then rename).
    static bool writeFile(const std::string& path, const Value& value, Format format, Error* error = nullptr);
};

} // namespace core
