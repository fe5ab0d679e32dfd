#include "Kit/URLResponseAdditions.h"

#include <limits>

int64_t expectedTotalLength(const core::HTTPURLResponse& response)
{
    std::optional<std::string> range = response.header("Content-Range");
    if (range) {
        size_t slash = range->find('/');
        if (slash != std::string::npos) {
            std::string_view rest = std::string_view(*range).substr(slash + 1);
            while (!rest.empty() && (rest.front() == ' ' || rest.front() == '\t'))
                rest.remove_prefix(1);
            // A complete length is a plain decimal number; "*" (unknown) and
            // anything negative fall back to the announced length.
            int64_t total = 0;
            size_t digits = 0;
            for (char c : rest) {
                if (c < '0' || c > '9')
                    break;
                int digit = c - '0';
                total = total > (std::numeric_limits<int64_t>::max() - digit) / 10 ? std::numeric_limits<int64_t>::max()
                                                                                    : total * 10 + digit;
                ++digits;
            }
            if (digits > 0)
                return total;
        }
    }
    return response.expectedContentLength();
}

std::optional<std::string> valueForHTTPHeaderField(const core::HTTPURLResponse* response, std::string_view name)
{
    if (!response)
        return std::nullopt;
    return response->header(name);
}
