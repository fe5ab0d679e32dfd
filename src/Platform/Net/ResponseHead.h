#pragma once

#include "Platform/Core/HeaderFields.h"

#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace net {

// The response head of one URL load, from the header lines curl hands over
// one at a time. Every status line starts a head anew (the hops curl
// follows, its retries with credentials and interim 1xx heads replace what
// was collected); the empty line ends it, and a head that is not interim is
// then complete. Lines after a complete head (a chunked body's trailers)
// change nothing. Any thread; one load's lines only.
class ResponseHead {
public:
    enum class State { None, Collecting, Complete, Reported };

    // One header line as curl gives it, its line end included or not.
    // Returns the state after it.
    State addLine(std::string_view line);

    State state() const { return m_state; }
    // The three-digit code of the last status line; 0 when it has none.
    int statusCode() const { return m_statusCode; }
    // The fields collected, in order, names and values trimmed; a folded
    // line is joined to its field with one space.
    const std::vector<std::pair<std::string, std::string>>& fields() const { return m_fields; }

    // Hands the complete head's fields on (those no header may carry left
    // out); the head is reported from then on.
    core::HeaderFields takeFields();

    // A complete 3xx head whose first "Location" names a scheme other than
    // http and https: curl refuses to follow it.
    bool redirectsToOtherScheme() const;

    // The scheme a URI reference begins with: a letter, then letters,
    // digits, "+", "-" or ".", up to the first ":". Empty for a relative
    // reference ("/a:b", "a b:c"), which keeps the scheme it was sent with.
    static std::string_view schemeOfReference(std::string_view reference);

private:
    State m_state = State::None;
    int m_statusCode = 0;
    std::vector<std::pair<std::string, std::string>> m_fields;
};

} // namespace net
