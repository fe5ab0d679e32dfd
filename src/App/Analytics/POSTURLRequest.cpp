#include "App/Analytics/POSTURLRequest.h"

#include "Kit/StringAdditions.h"
#include "Platform/Core/Log.h"

#include <fmt/format.h>

POSTURLRequest::POSTURLRequest(core::URL url, const core::Value& dictionary)
    : core::URLRequest(std::move(url))
    , m_boundary(vkGenerateUUID())
{
    setMethod("POST");
    setHeader("Content-Type", "multipart/form-data; boundary=" + m_boundary);
    if (auto body = multipartBody(m_boundary, dictionary))
        setBody(core::Data(std::move(*body)));
    else
        core::log("Warning, POSTURLRequest: a form key holds a quote or a line break; the request has no body");
}

std::optional<std::string> POSTURLRequest::multipartBody(const std::string& boundary, const core::Value& dictionary)
{
    std::string body = "--" + boundary;
    if (dictionary.isDictionary()) {
        for (const auto& [key, value] : dictionary.dictionary()) {
            if (key.find_first_of("\"\r\n") != std::string::npos)
                return std::nullopt;
            body += fmt::format("\r\nContent-Disposition: form-data; name=\"{}\"\r\n\r\n{}\r\n--{}", key,
                value.toString(), boundary);
        }
    }
    body += "--\r\n";
    return body;
}
