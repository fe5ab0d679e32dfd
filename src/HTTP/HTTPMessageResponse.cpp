#include "HTTP/HTTPMessageResponse.h"

std::shared_ptr<HTTPMessageResponse> HTTPMessageResponse::responseWithStatusCode(int statusCode,
    std::optional<std::string_view> description, std::string_view httpVersion)
{
    std::shared_ptr<HTTPMessageResponse> response(new HTTPMessageResponse());
    if (!response->makeMessage(statusCode, description, httpVersion))
        return nullptr;
    return response;
}

std::shared_ptr<HTTPMessageResponse> HTTPMessageResponse::create()
{
    return std::shared_ptr<HTTPMessageResponse>(new HTTPMessageResponse());
}

bool HTTPMessageResponse::makeMessage(int statusCode, std::optional<std::string_view> description,
    std::string_view httpVersion)
{
    auto message = net::HttpMessage::response(statusCode,
        description ? *description : net::HttpMessage::reasonPhrase(statusCode), httpVersion);
    if (!message)
        return false;
    replaceMessage(std::move(*message));
    return true;
}
