#include "WebDAV/WebDAVIfParser.h"

#include "Kit/CSRegex.h"
#include "Kit/FileManagerEtag.h"
#include "Kit/VKComparisonPredicate.h"
#include "Kit/VKCompoundPredicate.h"
#include "Platform/Core/Log.h"
#include "Platform/Core/URL.h"
#include "WebDAV/WebDAVLockManager.h"

#include <fmt/format.h>

#include <algorithm>

namespace {

using Predicate = std::shared_ptr<const VKPredicate>;
using Predicates = VKCompoundPredicate::Subpredicates;

// A resource tag is any absolute http(s) URL; lock tokens are our own UUIDs;
// an entity tag is any quoted text (ours hold "-", clients' may hold ":").
const CSRegex& resourceTagPattern()
{
    static const CSRegex pattern("<(https?://[^<>]+)>", CSRegex::IgnoreCase);
    return pattern;
}

const CSRegex& lockTokenPattern()
{
    static const CSRegex pattern("<opaquelocktoken:([a-z0-9-]+)>", CSRegex::IgnoreCase);
    return pattern;
}

const CSRegex& entityTagPattern()
{
    static const CSRegex pattern("\\[(W/)?\"([^\"]*)\"\\]", CSRegex::IgnoreCase);
    return pattern;
}

Predicate comparison(std::string key, std::string value, bool negated)
{
    return VKComparisonPredicate::predicateWithKeyPath(std::move(key), core::Value(std::move(value)),
        negated ? VKComparisonPredicate::NotEqualToPredicateType : VKComparisonPredicate::EqualToPredicateType);
}

Predicate anyOf(Predicates predicates)
{
    if (predicates.size() == 1)
        return predicates.front();
    return VKCompoundPredicate::orPredicateWithSubpredicates(std::move(predicates));
}

Predicate allOf(Predicates predicates)
{
    if (predicates.size() == 1)
        return predicates.front();
    return VKCompoundPredicate::andPredicateWithSubpredicates(std::move(predicates));
}

bool isSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v';
}

// The header's words: "(", ")", "Not", a coded URL "<…>" and an entity
// tag "[…]", with or without white space between them (clients write both
// "(Not <a>)" and "(<a>[\"e\"])"). False when a "<" or "[" is not closed.
bool splitIfHeader(std::string_view header, std::vector<std::string>& words)
{
    size_t at = 0;
    while (at < header.size()) {
        const char c = header[at];
        if (isSpace(c)) {
            ++at;
        } else if (c == '(' || c == ')') {
            words.emplace_back(1, c);
            ++at;
        } else if (c == '<') {
            const size_t end = header.find('>', at);
            if (end == std::string_view::npos)
                return false;
            words.emplace_back(header.substr(at, end + 1 - at));
            at = end + 1;
        } else if (c == '[') {
            // The quoted tag may itself hold "]".
            size_t end = at + 1;
            const size_t open = header.find('"', end);
            if (open != std::string_view::npos && open <= at + 3) {
                const size_t close = header.find('"', open + 1);
                if (close == std::string_view::npos)
                    return false;
                end = close + 1;
            }
            end = header.find(']', end);
            if (end == std::string_view::npos)
                return false;
            words.emplace_back(header.substr(at, end + 1 - at));
            at = end + 1;
        } else {
            size_t end = at;
            while (end < header.size() && !isSpace(header[end]) && header[end] != '(' && header[end] != ')'
                && header[end] != '<' && header[end] != '[')
                ++end;
            words.emplace_back(header.substr(at, end - at));
            at = end;
        }
    }
    return true;
}

} // namespace

core::Error WebDAVIfParser::errorWithCode(int code, std::string text)
{
    return core::Error(ErrorDomain, code, std::move(text));
}

std::shared_ptr<WebDAVIfParser> WebDAVIfParser::parserWithIfHeader(std::string_view header, core::Error* error)
{
    core::setError(error, core::Error());
    auto parser = std::shared_ptr<WebDAVIfParser>(new WebDAVIfParser());
    while (!header.empty() && isSpace(header.front()))
        header.remove_prefix(1);
    while (!header.empty() && isSpace(header.back()))
        header.remove_suffix(1);
    if (header.empty())
        return parser;
    if (!parser->parse(header)) {
        parser->m_predicate = nullptr;
        core::log("Warning, WebDAVIfParser invalid header syntax");
        core::setError(error, errorWithCode(400, "Bad Request - invalid If header syntax"));
    } else if (!parser->m_predicate) {
        core::setError(error, errorWithCode(412, "Precondition Failed"));
    }
    return parser;
}

bool WebDAVIfParser::parse(std::string_view header)
{
    struct PendingList {
        Predicates conditions;
        std::vector<std::string> tokens;
    };
    std::vector<PendingList> groupLists;
    PendingList list;
    Predicate resourceCondition;
    bool groupOpen = false;
    bool listOpen = false;
    bool listNamesLockToken = false;
    bool namesLockToken = false;
    bool negate = false;

    auto closeGroup = [&] {
        for (auto& pending : groupLists) {
            if (resourceCondition)
                pending.conditions.insert(pending.conditions.begin(), resourceCondition);
            m_lists.push_back({ allOf(std::move(pending.conditions)), std::move(pending.tokens) });
        }
        groupLists.clear();
    };

    std::vector<std::string> words;
    if (!splitIfHeader(header, words))
        return false;
    for (const auto& text : words) {
        std::string_view word = text;
        if (!listOpen) {
            if (word == "(") {
                listOpen = true;
                continue;
            }
            if (!word.starts_with('<'))
                return false;
            // A resource tag opens a group of lists about that resource.
            if (groupOpen) {
                if (groupLists.empty())
                    return false;
                closeGroup();
            }
            groupOpen = true;
            auto tag = resourceTagPattern().capturedSubstringsOfString(word);
            auto url = tag ? core::URL::parse((*tag)[1]) : std::nullopt;
            resourceCondition = url ? comparison("URI", WebDAVLockManager::lockPathForPath(url->path()), false) : nullptr;
            continue;
        }
        if (word == "(") {
            return false;
        } else if (word == "Not") {
            if (negate)
                return false;
            negate = true;
        } else if (word.starts_with('<')) {
            if (auto token = lockTokenPattern().capturedSubstringsOfString(word); token && (*token)[0] == word) {
                list.conditions.push_back(comparison("locktoken", (*token)[1], negate));
                if (!negate)
                    list.tokens.push_back((*token)[1]);
                listNamesLockToken = true;
            } else {
                // Another state token ("DAV:no-lock", another server's): it
                // names none of our locks, so it never matches one. Kept with
                // its "<", which no token of ours begins with.
                list.conditions.push_back(comparison("locktoken", std::string(word.substr(0, word.size() - 1)), negate));
            }
            negate = false;
        } else if (word.starts_with('[')) {
            // An entity tag in no form we know matches no item.
            auto etag = entityTagPattern().capturedSubstringsOfString(word);
            list.conditions.push_back(comparison("etag", etag ? (*etag)[2] : std::string(word), negate));
            m_includesEtag = true;
            negate = false;
        } else if (word == ")") {
            if (negate || list.conditions.empty())
                return false;
            groupLists.push_back(std::move(list));
            namesLockToken = namesLockToken || listNamesLockToken;
            list = PendingList();
            listOpen = false;
            listNamesLockToken = false;
        } else {
            return false;
        }
    }
    if (listOpen)
        return false;
    closeGroup();
    // A header that names none of our locks, not even negated, cannot be
    // about them.
    if (namesLockToken) {
        Predicates all;
        for (const auto& each : m_lists)
            all.push_back(each.predicate);
        m_predicate = anyOf(std::move(all));
    }
    return true;
}

WebDAVLockRef WebDAVIfParser::validateLocks(const std::vector<WebDAVLockRef>& locks, core::Error* error) const
{
    core::setError(error, core::Error());
    if (!m_predicate) {
        core::setError(error, errorWithCode(423, "Locked"));
        return nullptr;
    }
    bool someListHolds = false;
    for (const auto& lock : locks) {
        core::Value::Dictionary facts { { "locktoken", lock->lockToken() }, { "URI", lock->lockURIPath() } };
        if (m_includesEtag) {
            if (auto etag = etagForItemAtPath(lock->lockLocalPath()))
                facts["etag"] = *etag;
        }
        const core::Value object(std::move(facts));
        for (const auto& list : m_lists) {
            if (!list.predicate->evaluateWithObject(object))
                continue;
            someListHolds = true;
            if (std::find(list.tokens.begin(), list.tokens.end(), lock->lockToken()) != list.tokens.end())
                return lock;
        }
    }
    core::setError(error, someListHolds ? errorWithCode(423, "Locked") : errorWithCode(412, "Precondition Failed"));
    return nullptr;
}

std::string WebDAVIfParser::description() const
{
    return fmt::format("<WebDAVIfParser: {}>", m_predicate ? m_predicate->description() : std::string("(none)"));
}
