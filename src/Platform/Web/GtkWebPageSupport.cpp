#include "Platform/Web/GtkWebPageSupport.h"

#include <fmt/format.h>
#include "Platform/Core/URL.h"
#include "Platform/Web/PageMessage.h"

#include <webkit2/webkit2.h>

#include <cctype>

namespace web {

namespace {

constexpr unsigned MaximumProperties = 16;

core::HeaderFields headersFrom(SoupMessageHeaders* headers)
{
    core::HeaderFields fields;
    if (!headers)
        return fields;
    SoupMessageHeadersIter iterator;
    soup_message_headers_iter_init(&iterator, headers);
    const char* name = nullptr;
    const char* value = nullptr;
    while (soup_message_headers_iter_next(&iterator, &name, &value))
        fields.add(name, value);
    return fields;
}

std::string stringProperty(JSCValue* object, const char* name)
{
    JSCValue* property = jsc_value_object_get_property(object, name);
    std::string text;
    if (property && jsc_value_is_string(property)) {
        char* string = jsc_value_to_string(property);
        text = PageMessage::boundedText(string ? string : "");
        g_free(string);
    }
    if (property)
        g_object_unref(property);
    return text;
}

} // namespace

std::optional<core::URL> urlFrom(const char* uri)
{
    if (!uri)
        return std::nullopt;
    if (auto url = core::URL::parse(uri))
        return url;
    // Spaces and the like in a data: or javascript: address.
    std::string escaped;
    for (const char* c = uri; *c; ++c) {
        unsigned char byte = static_cast<unsigned char>(*c);
        if (byte <= 0x20 || byte >= 0x7F || std::string_view("\"<>\\^`{|}").find(char(byte)) != std::string_view::npos)
            escaped += fmt::format("%{:02X}", byte);
        else
            escaped += char(byte);
    }
    return core::URL::parse(escaped);
}

core::URLRequest requestFrom(WebKitURIRequest* request)
{
    auto url = urlFrom(webkit_uri_request_get_uri(request));
    core::URLRequest result(url.value_or(core::URL::parse("about:blank").value()));
    if (const char* method = webkit_uri_request_get_http_method(request))
        result.setMethod(method);
    core::HeaderFields headers = headersFrom(webkit_uri_request_get_http_headers(request));
    for (const auto& [name, value] : headers.fields())
        result.addHeader(name, value);
    return result;
}

core::HTTPURLResponse responseFrom(WebKitURIResponse* response)
{
    auto url = urlFrom(webkit_uri_response_get_uri(response));
    const char* mimeType = webkit_uri_response_get_mime_type(response);
    return core::HTTPURLResponse(url.value_or(core::URL::parse("about:blank").value()),
        int(webkit_uri_response_get_status_code(response)), headersFrom(webkit_uri_response_get_http_headers(response)),
        mimeType ? mimeType : "application/octet-stream");
}

core::Value valueFrom(JSCValue* value)
{
    if (!value || !jsc_value_is_object(value) || jsc_value_is_array(value) || jsc_value_is_function(value))
        return {};
    core::Value::Dictionary dictionary;
    gchar** names = jsc_value_object_enumerate_properties(value);
    for (unsigned i = 0; names && names[i] && i < MaximumProperties; ++i) {
        JSCValue* property = jsc_value_object_get_property(value, names[i]);
        if (!property)
            continue;
        if (jsc_value_is_number(property)) {
            dictionary[names[i]] = core::Value(jsc_value_to_double(property));
        } else if (jsc_value_is_boolean(property)) {
            dictionary[names[i]] = core::Value(bool(jsc_value_to_boolean(property)));
        } else if (jsc_value_is_string(property)) {
            char* string = jsc_value_to_string(property);
            dictionary[names[i]] = core::Value(PageMessage::boundedText(string ? string : ""));
            g_free(string);
        }
        g_object_unref(property);
    }
    g_strfreev(names);
    return core::Value(std::move(dictionary));
}

ElementInfo elementInfoFrom(JSCValue* value)
{
    ElementInfo info;
    if (!value || !jsc_value_is_object(value))
        return info;
    info.linkURL = stringProperty(value, "link");
    info.imageSource = stringProperty(value, "src");
    info.imageAlt = stringProperty(value, "alt");
    return info;
}

std::string fileFolderRules(const std::vector<std::string>& folders)
{
    // The folder's address as a pattern of itself, written as a JSON string.
    auto literal = [](const std::string& text) {
        std::string pattern;
        for (char c : text) {
            if (std::string_view(".*+?^$()[]{}|\\").find(c) != std::string_view::npos)
                pattern += '\\';
            pattern += c;
        }
        std::string json;
        for (char c : pattern) {
            if (c == '"' || c == '\\')
                json += '\\';
            json += c;
        }
        return json;
    };
    std::string rules = R"([{"trigger":{"url-filter":"^file:"},"action":{"type":"block"}})";
    for (const auto& folder : folders) {
        std::string url = core::URL::fileURL(folder, true).absoluteString();
        if (!url.ends_with('/'))
            url += '/';
        rules += R"(,{"trigger":{"url-filter":"^)" + literal(url)
            + R"(","url-filter-is-case-sensitive":true},"action":{"type":"ignore-previous-rules"}})";
    }
    return rules + "]";
}

void evaluateInOwnWorld(WebKitWebView* view, const std::string& script, std::weak_ptr<void> owner,
    std::function<void(JSCValue* value)> done)
{
    struct WorldCall {
        std::weak_ptr<void> owner;
        std::function<void(JSCValue*)> completion;
    };
    webkit_web_view_evaluate_javascript(
        view, script.c_str(), gssize(script.size()), OWN_WORLD_NAME, nullptr, nullptr,
        [](GObject* source, GAsyncResult* result, gpointer data) {
            std::unique_ptr<WorldCall> call(static_cast<WorldCall*>(data));
            GError* error = nullptr;
            JSCValue* value = webkit_web_view_evaluate_javascript_finish(WEBKIT_WEB_VIEW(source), result, &error);
            if (error)
                g_error_free(error);
            if (call->owner.lock())
                call->completion(value);
            if (value)
                g_object_unref(value);
        },
        new WorldCall { std::move(owner), std::move(done) });
}

} // namespace web
