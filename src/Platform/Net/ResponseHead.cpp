#include "Platform/Net/ResponseHead.h"

#include "Platform/Core/ASCII.h"

namespace net {

namespace {

using core::ascii::equalIgnoringCase;
using core::ascii::trimmed;

// "HTTP/1.1 404 Not Found" gives 404. A code that is not three digits
// standing alone after the version is no code (0), never a code made of
// the digits that are there.
int statusCodeOfLine(std::string_view line)
{
    const size_t space = line.find(' ');
    if (space == std::string_view::npos || line.size() < space + 4)
        return 0;
    int status = 0;
    for (size_t i = space + 1; i < space + 4; ++i) {
        if (line[i] < '0' || line[i] > '9')
            return 0;
        status = status * 10 + (line[i] - '0');
    }
    if (line.size() > space + 4 && line[space + 4] != ' ')
        return 0;
    return status;
}

} // namespace

ResponseHead::State ResponseHead::addLine(std::string_view line)
{
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r'))
        line.remove_suffix(1);

    if (line.starts_with("HTTP/")) {
        m_state = State::Collecting;
        m_statusCode = statusCodeOfLine(line);
        m_fields.clear();
        return m_state;
    }
    if (m_state != State::Collecting)
        return m_state;
    if (line.empty()) {
        if (m_statusCode >= 100 && m_statusCode < 200) {
            m_state = State::None;
        } else {
            m_state = State::Complete;
        }
        return m_state;
    }
    if (line.front() == ' ' || line.front() == '\t') {
        // An obsolete folded line continues the previous field.
        if (!m_fields.empty()) {
            auto& value = m_fields.back().second;
            value += ' ';
            value += trimmed(line);
        }
        return m_state;
    }
    const size_t colon = line.find(':');
    if (colon != std::string_view::npos)
        m_fields.emplace_back(std::string(trimmed(line.substr(0, colon))), std::string(trimmed(line.substr(colon + 1))));
    return m_state;
}

core::HeaderFields ResponseHead::takeFields()
{
    core::HeaderFields fields;
    for (const auto& [name, value] : m_fields)
        fields.add(name, value);
    m_fields.clear();
    m_state = State::Reported;
    return fields;
}

bool ResponseHead::redirectsToOtherScheme() const
{
    if (m_state != State::Complete || m_statusCode < 300 || m_statusCode >= 400)
        return false;
    for (const auto& [name, value] : m_fields) {
        if (!equalIgnoringCase(name, "Location"))
            continue;
        const std::string_view scheme = schemeOfReference(value);
        return !scheme.empty() && !equalIgnoringCase(scheme, "http") && !equalIgnoringCase(scheme, "https");
    }
    return false;
}

std::string_view ResponseHead::schemeOfReference(std::string_view reference)
{
    const auto isLetter = [](char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); };
    if (reference.empty() || !isLetter(reference.front()))
        return {};
    for (size_t i = 1; i < reference.size(); ++i) {
        const char c = reference[i];
        if (c == ':')
            return reference.substr(0, i);
        if (!isLetter(c) && !(c >= '0' && c <= '9') && c != '+' && c != '-' && c != '.')
            return {};
    }
    return {};
}

} // namespace net
