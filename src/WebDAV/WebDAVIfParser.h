#pragma once

#include "WebDAV/WebDAVLock.h"

#include "Kit/VKPredicate.h"
#include "Platform/Core/Error.h"
#include "Platform/Core/Object.h"

#include <memory>
#include <string_view>
#include <vector>

// A request's "If" header as a condition that a lock must meet: tagged
// groups ("<http://host/path>") hold lists ("(...)") of lock tokens and
// entity tags, each possibly negated; a lock meets the header when one list
// of its URI's group holds for its token, path and the entity tag of its
// item. Only lists naming a lock token count: a list of entity tags alone
// could be met without holding any lock.
class WebDAVIfParser : public core::Object {
public:
    static constexpr const char* ErrorDomain = "WebDAVIfParserErrorDomain";

    // Always a parser. A malformed header gives 400 "Bad Request - invalid If
    // header syntax", one that yields no condition 412 "Precondition Failed".
    // An empty header gives neither predicate nor error.
    static std::shared_ptr<WebDAVIfParser> parserWithIfHeader(std::string_view header, core::Error* error = nullptr);

    // The first lock that meets the header; else nothing with 412 when the
    // header held conditions the server cannot evaluate, otherwise 423.
    WebDAVLockRef validateLocks(const std::vector<WebDAVLockRef>& locks, core::Error* error = nullptr) const;

    const std::shared_ptr<const VKPredicate>& predicate() const { return m_predicate; }
    bool includesEtag() const { return m_includesEtag; }
    bool isPartialPredicate() const { return m_isPartialPredicate; }

    std::string description() const override;

    static core::Error errorWithCode(int code, std::string text);

private:
    WebDAVIfParser() = default;
    // False when the header is malformed.
    bool parse(std::string_view header);

    std::shared_ptr<const VKPredicate> m_predicate;
    bool m_includesEtag = false;
    bool m_isPartialPredicate = false;
};
