#pragma once

#include <exception>
#include <string>

namespace rtf {

// A conversion that cannot go on: input the parser refuses (nesting too deep,
// a failing stream) or output the tag set cannot express. The conversion
// entry turns it into its one error.
class Exception : public std::exception {
public:
    // Output the tag set cannot express.
    static constexpr int kOutputError = -10;
    // Input the parser cannot read.
    static constexpr int kInputError = -1;

    Exception(int code, std::string message)
        : code(code)
        , message(std::move(message))
    {
    }
    ~Exception() override = default;

    const char* what() const noexcept override { return message.c_str(); }

    int code;
    std::string message;
};

} // namespace rtf
