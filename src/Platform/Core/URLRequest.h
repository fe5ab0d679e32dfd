#pragma once

#include "Platform/Core/Data.h"
#include "Platform/Core/HeaderFields.h"
#include "Platform/Core/URL.h"
#include "Platform/Core/Value.h"

#include <string>
#include <string_view>

namespace core {

// What the URL loading system is asked to fetch: the URL, the method, the
// header fields in order, a body given as bytes or as a file to stream, the
// time-out and cache policy, and properties that travel with the request to
// whoever loads it but are never sent. A value; copy it to make a variant.
class URLRequest {
public:
    enum class CachePolicy {
        UseProtocol = 0,
        ReloadIgnoringLocalCache = 1,
        ReturnCacheDataElseLoad = 2,
        ReturnCacheDataDontLoad = 3,
    };

    static constexpr double DefaultTimeoutInterval = 60;

    URLRequest() = default;
    explicit URLRequest(URL url, CachePolicy cachePolicy = CachePolicy::UseProtocol,
        double timeoutInterval = DefaultTimeoutInterval);

    const URL& url() const { return m_url; }
    void setURL(URL url) { m_url = std::move(url); }

    // "GET" unless set. False, and nothing changed, for a method that is not
    // an HTTP token.
    const std::string& method() const { return m_method; }
    bool setMethod(std::string_view method);

    const HeaderFields& headers() const { return m_headers; }
    std::optional<std::string> header(std::string_view name) const { return m_headers.value(name); }
    bool setHeader(std::string_view name, std::string_view value) { return m_headers.set(name, value); }
    bool addHeader(std::string_view name, std::string_view value) { return m_headers.add(name, value); }
    void removeHeader(std::string_view name) { m_headers.remove(name); }

    // The body: bytes, or a file streamed when the request is sent. Setting
    // one clears the other.
    const Data& body() const { return m_body; }
    void setBody(Data body);
    const std::string& bodyFilePath() const { return m_bodyFilePath; }
    void setBodyFilePath(std::string path);

    // Seconds without progress before the load fails.
    double timeoutInterval() const { return m_timeoutInterval; }
    void setTimeoutInterval(double seconds) { m_timeoutInterval = seconds; }

    CachePolicy cachePolicy() const { return m_cachePolicy; }
    void setCachePolicy(CachePolicy policy) { m_cachePolicy = policy; }

    // The properties, a dictionary; null for a missing key. Setting null
    // removes the key.
    const Value& properties() const { return m_properties; }
    const Value& property(std::string_view key) const { return m_properties[key]; }
    void setProperty(const std::string& key, Value value);

    // Equal when the URL, the method, the header fields (in order, names
    // ignoring case) and the body are; properties, time-out and cache policy
    // do not count.
    bool operator==(const URLRequest& other) const;

private:
    URL m_url;
    std::string m_method = "GET";
    HeaderFields m_headers;
    Data m_body;
    std::string m_bodyFilePath;
    double m_timeoutInterval = DefaultTimeoutInterval;
    CachePolicy m_cachePolicy = CachePolicy::UseProtocol;
    Value m_properties = Value::makeDictionary();
};

} // namespace core
