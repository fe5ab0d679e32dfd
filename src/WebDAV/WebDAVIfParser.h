#pragma once

#include "WebDAV/WebDAVLock.h"

#include "Kit/VKPredicate.h"
#include "Platform/Core/Error.h"
#include "Platform/Core/Object.h"

#include <memory>
#include <string>
#include <string_view>
#include <vector>

// A request's "If" header as a condition that a lock must meet: tagged
// groups ("<http://host/path>") hold lists ("(...)") of state tokens and
// entity tags, each possibly negated. A lock is met only by a list that
// holds for its token, path and the entity tag of its item and names its
// token without "Not": a list that merely holds, such as "(Not <DAV:no-lock>)"
// or a negated foreign token, proves nothing about holding the lock. State
// tokens that are not our lock tokens name no lock and never match.
class WebDAVIfParser : public core::Object {
public:
    static constexpr const char* ErrorDomain = "WebDAVIfParserErrorDomain";

    // Always a parser. A malformed header gives 400 "Bad Request - invalid If
    // header syntax", one that yields no condition 412 "Precondition Failed".
    // An empty header gives neither predicate nor error.
    static std::shared_ptr<WebDAVIfParser> parserWithIfHeader(std::string_view header, core::Error* error = nullptr);

    // The first lock that meets the header; else nothing with 423 when some
    // list holds (the client is fine but lacks the lock) and 412 when none
    // does (the precondition itself failed).
    WebDAVLockRef validateLocks(const std::vector<WebDAVLockRef>& locks, core::Error* error = nullptr) const;

    // Every list of the header, ORed; nothing when no list names a lock
    // token.
    const std::shared_ptr<const VKPredicate>& predicate() const { return m_predicate; }
    bool includesEtag() const { return m_includesEtag; }

    std::string description() const override;

    static core::Error errorWithCode(int code, std::string text);

private:
    // One list with its group's resource condition, and the lock tokens it
    // names without "Not".
    struct List {
        std::shared_ptr<const VKPredicate> predicate;
        std::vector<std::string> tokens;
    };

    WebDAVIfParser() = default;
    // False when the header is malformed.
    bool parse(std::string_view header);

    std::vector<List> m_lists;
    std::shared_ptr<const VKPredicate> m_predicate;
    bool m_includesEtag = false;
};
