#include "Kit/StringRegexAdditions.h"

#include "Platform/Core/UTF8.h"

#include "Platform/Core/Exception.h"
#include "Platform/Core/MemoryWarning.h"
#include "Platform/Core/NotificationCenter.h"
#include "Platform/Core/RunLoop.h"

#include <unicode/regex.h>
#include <unicode/ubrk.h>
#include <unicode/uchar.h>
#include <unicode/ustring.h>
#include <unicode/utext.h>
#include <unicode/utf16.h>

#include <atomic>
#include <climits>
#include <condition_variable>
#include <fmt/format.h>
#include <memory>
#include <mutex>
#include <thread>

namespace {

constexpr size_t kSlotCount = 23;
constexpr size_t kIntMax = INT32_MAX;
constexpr char16_t kEmptyText[] = u"";

// ---- UTF-8 edges ----

std::u16string utf16(std::string_view text)
{
    return core::toUTF16(text);
}

std::string utf8(std::u16string_view text)
{
    return core::toUTF8(text);
}

std::vector<std::string> utf8Strings(const std::vector<std::u16string>& strings)
{
    std::vector<std::string> result;
    result.reserve(strings.size());
    for (const auto& string : strings)
        result.push_back(utf8(string));
    return result;
}

std::optional<std::string> utf8Optional(const std::optional<std::u16string>& string)
{
    if (!string)
        return std::nullopt;
    return utf8(*string);
}

// ---- Operations ----

enum class Op { Range, Components, CaptureComponents, ArrayOfCaptureComponents, Split, Replace, CaptureCount };

struct Request {
    Op op = Op::Range;
    const char* selector = "";
    std::u16string_view subject;
    std::u16string_view regex;
    RKLRegexOptions options = 0;
    RegexRange range = RegexWholeRange;
    int capture = 0;
    std::u16string_view replacement;
    core::Error* error = nullptr;
    const char* receiverClass = "NSString";
    char kind = '-';
};

Request named(const char* selector)
{
    Request request;
    request.selector = selector;
    return request;
}

struct Outcome {
    bool compiled = false;
    int32_t groups = -1;
    UErrorCode compileStatus = U_ZERO_ERROR;
    UParseError parseError {};
    // Absolute ranges in the subject, laid out as the operation needs.
    std::vector<RegexRange> ranges;
    size_t replacements = 0;
    icu::UnicodeString replaced;
    std::optional<core::Exception> failure;
};

struct Slot {
    std::u16string pattern;
    RKLRegexOptions options = 0;
    std::unique_ptr<icu::RegexPattern> compiled;
    std::unique_ptr<icu::RegexMatcher> matcher;
    int32_t groups = -1;

    bool holds(std::u16string_view regex, RKLRegexOptions wanted) const
    {
        return matcher && options == wanted && pattern == regex;
    }
    void clear()
    {
        matcher.reset();
        compiled.reset();
        pattern.clear();
        pattern.shrink_to_fit();
        options = 0;
        groups = -1;
    }
};

// Made once and never destroyed: a memory warning or another thread may
// reach it while static objects are torn down at exit.
struct Cache {
    std::mutex lock;
    Slot slots[kSlotCount];
    size_t lastSlot = kSlotCount;
    uint64_t compiles = 0;

    void clearAll()
    {
        for (auto& slot : slots)
            slot.clear();
        lastSlot = kSlotCount;
    }
};

Cache& cache()
{
    static Cache& instance = *new Cache;
    return instance;
}

size_t slotIndex(std::u16string_view regex)
{
    // FNV-1a over the UTF-16 units: stable from run to run.
    uint64_t hash = 14695981039346656037ull;
    for (char16_t unit : regex) {
        hash ^= unit;
        hash *= 1099511628211ull;
    }
    return static_cast<size_t>(hash % kSlotCount);
}

std::string reasonPrefix(const Request& request)
{
    return fmt::format("*** {}[{} {}]: ", request.kind, request.receiverClass, request.selector);
}

core::Exception misuse(const Request& request, const char* name, std::string_view text)
{
    return core::Exception(name, reasonPrefix(request) + std::string(text));
}

core::Value::Dictionary icuUserInfo(const Request& request, UErrorCode status)
{
    core::Value::Dictionary userInfo {
        { RKLICURegexRegexErrorKey, utf8(request.regex) },
        { RKLICURegexErrorCodeErrorKey, static_cast<int64_t>(status) },
        { RKLICURegexErrorNameErrorKey, std::string(u_errorName(status)) },
    };
    if (request.options != 0)
        userInfo[RKLICURegexRegexOptionsErrorKey] = static_cast<int64_t>(request.options);
    return userInfo;
}

core::Error compileError(const Request& request, const Outcome& outcome)
{
    core::Value::Dictionary userInfo = icuUserInfo(request, outcome.compileStatus);
    const UParseError& parse = outcome.parseError;
    std::string name = u_errorName(outcome.compileStatus);
    if (parse.line != -1 && parse.offset != -1) {
        std::string before = utf8(std::u16string_view(parse.preContext));
        std::string after = utf8(std::u16string_view(parse.postContext));
        userInfo[RKLICURegexLineErrorKey] = static_cast<int64_t>(parse.line);
        userInfo[RKLICURegexOffsetErrorKey] = static_cast<int64_t>(parse.offset);
        userInfo[RKLICURegexPreContextErrorKey] = before;
        userInfo[RKLICURegexPostContextErrorKey] = after;
        userInfo[core::Error::LocalizedFailureReasonKey] = fmt::format(
            "The error {} occurred at line {}, column {}: {}<<HERE>>{}", name, parse.line, parse.offset, before, after);
    } else {
        userInfo[core::Error::LocalizedFailureReasonKey] = fmt::format("The error {} occurred.", name);
    }
    userInfo[core::Error::LocalizedDescriptionKey] = std::string("There was an error compiling the regular expression.");
    return core::Error(RKLICURegexErrorDomain, outcome.compileStatus, std::move(userInfo));
}

RegexRange groupRange(icu::RegexMatcher& matcher, int group, size_t offset, UErrorCode& status)
{
    int64_t start = matcher.start64(group, status);
    int64_t end = matcher.end64(group, status);
    if (U_FAILURE(status) || start < 0)
        return RegexNotFoundRange;
    return { offset + static_cast<size_t>(start), static_cast<size_t>(end - start) };
}

// Sets the searched text on the matcher for the length of one operation.
class MatcherText {
public:
    MatcherText(icu::RegexMatcher& matcher, const char16_t* text, size_t length) : m_matcher(matcher) { set(text, length); }
    // ICU must not keep a pointer into the caller's buffer once the call is
    // over: the next call may hand the same address with other contents.
    ~MatcherText() { set(kEmptyText, 0); }
    MatcherText(const MatcherText&) = delete;
    MatcherText& operator=(const MatcherText&) = delete;

private:
    void set(const char16_t* text, size_t length)
    {
        UErrorCode status = U_ZERO_ERROR;
        UText input = UTEXT_INITIALIZER;
        utext_openUChars(&input, text, static_cast<int64_t>(length), &status);
        m_matcher.reset(&input);
        utext_close(&input);
    }
    icu::RegexMatcher& m_matcher;
};

// Finds the compiled expression for the request, compiling it into its
// slot when needed. Runs under the cache lock.
Slot* expressionFor(Cache& cache, const Request& request, Outcome& outcome)
{
    if (cache.lastSlot < kSlotCount && cache.slots[cache.lastSlot].holds(request.regex, request.options))
        return &cache.slots[cache.lastSlot];
    size_t index = slotIndex(request.regex);
    Slot& slot = cache.slots[index];
    if (slot.holds(request.regex, request.options)) {
        cache.lastSlot = index;
        return &slot;
    }
    slot.clear();
    if (cache.lastSlot == index)
        cache.lastSlot = kSlotCount;
    ++cache.compiles;
    UErrorCode status = U_ZERO_ERROR;
    icu::UnicodeString pattern(request.regex.data(), static_cast<int32_t>(request.regex.size()));
    std::unique_ptr<icu::RegexPattern> compiled(icu::RegexPattern::compile(pattern, request.options, outcome.parseError, status));
    std::unique_ptr<icu::RegexMatcher> matcher(U_SUCCESS(status) && compiled ? compiled->matcher(status) : nullptr);
    if (U_FAILURE(status) || !matcher) {
        outcome.compileStatus = U_FAILURE(status) ? status : U_MEMORY_ALLOCATION_ERROR;
        return nullptr;
    }
    slot.pattern.assign(request.regex);
    slot.options = request.options;
    slot.groups = matcher->groupCount();
    slot.compiled = std::move(compiled);
    slot.matcher = std::move(matcher);
    cache.lastSlot = index;
    return &slot;
}

// The scan of one operation over the range set as the matcher's text.
void scan(const Request& request, RegexRange range, Slot& slot, Outcome& outcome, UErrorCode& status)
{
    icu::RegexMatcher& matcher = *slot.matcher;
    const size_t offset = range.location;
    MatcherText text(matcher, request.subject.empty() ? kEmptyText : request.subject.data() + range.location, range.length);
    auto& ranges = outcome.ranges;
    switch (request.op) {
    case Op::Range:
        ranges.push_back(matcher.find(status) ? groupRange(matcher, request.capture, offset, status) : RegexNotFoundRange);
        break;
    case Op::Components:
        while (matcher.find(status))
            ranges.push_back(groupRange(matcher, request.capture, offset, status));
        break;
    case Op::CaptureComponents:
    case Op::ArrayOfCaptureComponents:
        while (matcher.find(status)) {
            for (int32_t group = 0; group <= slot.groups; ++group)
                ranges.push_back(groupRange(matcher, group, offset, status));
            if (request.op == Op::CaptureComponents)
                break;
        }
        break;
    case Op::Split: {
        size_t pieceStart = offset;
        while (matcher.find(status)) {
            RegexRange match = groupRange(matcher, 0, offset, status);
            ranges.push_back({ pieceStart, match.location - pieceStart });
            pieceStart = match.end();
        }
        if (pieceStart < range.end())
            ranges.push_back({ pieceStart, range.end() - pieceStart });
        break;
    }
    case Op::Replace: {
        icu::UnicodeString replacement(false, request.replacement.data(), static_cast<int32_t>(request.replacement.size()));
        while (matcher.find(status)) {
            matcher.appendReplacement(outcome.replaced, replacement, status);
            if (U_FAILURE(status))
                break;
            ++outcome.replacements;
        }
        if (U_SUCCESS(status))
            matcher.appendTail(outcome.replaced);
        if (outcome.replaced.isBogus())
            outcome.failure = misuse(request, core::Exception::RangeError, "Replaced string length exceeds INT_MAX.");
        break;
    }
    case Op::CaptureCount:
        break;
    }
}

void ensureMemoryWarningObserver();

// The part of an operation under the cache lock: failures are recorded in
// the outcome and thrown by the caller once the lock is released.
void runLocked(const Request& request, Cache& shared, Outcome& outcome)
{
    Slot* slot = expressionFor(shared, request, outcome);
    if (!slot)
        return;
    outcome.compiled = true;
    outcome.groups = slot->groups;
    if (request.op == Op::CaptureCount)
        return;

    const size_t length = request.subject.size();
    RegexRange range = request.range;
    if (length >= kIntMax) {
        outcome.failure = misuse(request, core::Exception::RangeError, "String length exceeds INT_MAX.");
        return;
    }
    if (range.length == SIZE_MAX && range.location <= length)
        range.length = length - range.location;
    if (range.location > length || range.length > length - range.location) {
        outcome.failure = misuse(request, core::Exception::RangeError, "Range or index out of bounds.");
        return;
    }
    if ((request.op == Op::Range || request.op == Op::Components) && (request.capture < 0 || request.capture > slot->groups)) {
        outcome.failure = misuse(request, core::Exception::InvalidArgument, "The capture argument is not valid.");
        return;
    }
    UErrorCode status = U_ZERO_ERROR;
    scan(request, range, *slot, outcome, status);
    if (U_FAILURE(status) && !outcome.failure) {
        outcome.failure = core::Exception(RKLICURegexException,
            reasonPrefix(request) + fmt::format("ICU regular expression error #{}, {}.", static_cast<int>(status), u_errorName(status)),
            icuUserInfo(request, status));
    }
}

Outcome perform(const Request& request)
{
    core::setError(request.error, core::Error());
    if (request.regex.size() >= kIntMax)
        throw misuse(request, core::Exception::RangeError, "Regex string length exceeds INT_MAX");
    if (request.op == Op::Replace && request.replacement.size() >= kIntMax)
        throw misuse(request, core::Exception::RangeError, "Replacement string length exceeds INT_MAX.");
    ensureMemoryWarningObserver();

    Outcome outcome;
    Cache& shared = cache();
    {
        std::lock_guard<std::mutex> guard(shared.lock);
        runLocked(request, shared, outcome);
    }
    if (outcome.failure)
        throw *outcome.failure;
    if (!outcome.compiled)
        core::setError(request.error, compileError(request, outcome));
    return outcome;
}

std::u16string textOf(std::u16string_view subject, RegexRange range)
{
    if (range.location == RegexNotFound)
        return {};
    return std::u16string(subject.substr(range.location, range.length));
}

std::vector<std::u16string> textsOf(std::u16string_view subject, const std::vector<RegexRange>& ranges)
{
    std::vector<std::u16string> result;
    result.reserve(ranges.size());
    for (RegexRange range : ranges)
        result.push_back(textOf(subject, range));
    return result;
}

Request make(Op op, const char* selector, std::u16string_view subject, std::u16string_view regex, RKLRegexOptions options,
    RegexRange range, int capture, core::Error* error)
{
    Request request = named(selector);
    request.op = op;
    request.subject = subject;
    request.regex = regex;
    request.options = options;
    request.range = range;
    request.capture = capture;
    request.error = error;
    return request;
}

constexpr const char* kIsMatched = "isMatchedByRegex:options:inRange:error:";
constexpr const char* kRangeOf = "rangeOfRegex:options:inRange:capture:error:";
constexpr const char* kStringByMatching = "stringByMatching:options:inRange:capture:error:";
constexpr const char* kComponents = "componentsMatchedByRegex:options:range:capture:error:";
constexpr const char* kCaptureComponents = "captureComponentsMatchedByRegex:options:range:error:";
constexpr const char* kArrayOfCaptureComponents = "arrayOfCaptureComponentsMatchedByRegex:options:range:error:";
constexpr const char* kSeparated = "componentsSeparatedByRegex:options:range:error:";
constexpr const char* kReplacing = "stringByReplacingOccurrencesOfRegex:withString:options:range:error:";
constexpr const char* kReplaceInPlace = "replaceOccurrencesOfRegex:withString:options:range:error:";
constexpr const char* kCaptureCount = "captureCountWithOptions:error:";
constexpr const char* kCaptureCountForRegex = "captureCountForRegex:options:error:";
constexpr const char* kIsRegexValid = "isRegexValidWithOptions:error:";

RegexRange firstRange(const char* selector, std::u16string_view subject, std::u16string_view regex, RKLRegexOptions options,
    RegexRange range, int capture, core::Error* error)
{
    Outcome outcome = perform(make(Op::Range, selector, subject, regex, options, range, capture, error));
    return outcome.ranges.empty() ? RegexNotFoundRange : outcome.ranges.front();
}

std::optional<std::u16string> replacing(const char* selector, std::u16string_view subject, std::u16string_view regex,
    std::u16string_view replacement, RKLRegexOptions options, RegexRange range, core::Error* error, size_t* count)
{
    Request request = make(Op::Replace, selector, subject, regex, options, range, 0, error);
    request.replacement = replacement;
    Outcome outcome = perform(request);
    if (count)
        *count = outcome.replacements;
    if (!outcome.compiled)
        return std::nullopt;
    return std::u16string(outcome.replaced.getBuffer(), static_cast<size_t>(outcome.replaced.length()));
}

int64_t captureCountOf(const char* selector, char kind, std::u16string_view regex, RKLRegexOptions options, core::Error* error)
{
    Request request = make(Op::CaptureCount, selector, {}, regex, options, RegexWholeRange, 0, error);
    request.kind = kind;
    Outcome outcome = perform(request);
    return outcome.compiled ? outcome.groups : -1;
}

// A UTF-8 subject longer than an int can say is refused as the UTF-16 one.
std::u16string utf16Subject(std::string_view text, const char* selector)
{
    if (text.size() >= kIntMax) {
        Request request = named(selector);
        throw misuse(request, core::Exception::RangeError, "String length exceeds INT_MAX.");
    }
    return utf16(text);
}

// ---- Memory warnings ----

std::atomic<bool> memoryWarningObserverRegistered { false };

core::Observation& memoryWarningObservation()
{
    static core::Observation& observation = *new core::Observation;
    return observation;
}

// On a memory warning the whole cache goes. An operation running on another
// thread holds the lock; rather than wait for it on the main thread, try
// again 0.1 s later on this thread's loop.
void emptyCacheOnMemoryWarning()
{
    Cache& shared = cache();
    std::unique_lock<std::mutex> guard(shared.lock, std::try_to_lock);
    if (guard.owns_lock()) {
        shared.clearAll();
        return;
    }
    static const std::shared_ptr<const void> retryTarget = std::make_shared<int>(0);
    core::PerformKey key { retryTarget, "emptyCacheOnMemoryWarning", {} };
    core::RunLoop& loop = core::RunLoop::current();
    loop.cancelPerforms(key);
    loop.performAfter(0.1, emptyCacheOnMemoryWarning, key, core::RunLoop::CommonModes);
}

// Registered once, at the first use of the cache.
void ensureMemoryWarningObserver()
{
    if (memoryWarningObserverRegistered.load(std::memory_order_acquire))
        return;
    bool expected = false;
    if (!memoryWarningObserverRegistered.compare_exchange_strong(expected, true))
        return;
    memoryWarningObservation() = core::NotificationCenter::defaultCenter().observe(
        core::DidReceiveMemoryWarningNotification, nullptr, [](const core::Notification&) { emptyCacheOnMemoryWarning(); });
}

} // namespace

// ---- Lower layer: UTF-16 ----

bool isMatchedByRegex(std::u16string_view subject, std::u16string_view regex)
{
    return isMatchedByRegex(subject, regex, 0, RegexWholeRange);
}

bool isMatchedByRegex(std::u16string_view subject, std::u16string_view regex, RegexRange range)
{
    return isMatchedByRegex(subject, regex, 0, range);
}

bool isMatchedByRegex(std::u16string_view subject, std::u16string_view regex, RKLRegexOptions options, RegexRange range,
    core::Error* error)
{
    return firstRange(kIsMatched, subject, regex, options, range, 0, error).location != RegexNotFound;
}

RegexRange rangeOfRegex(std::u16string_view subject, std::u16string_view regex)
{
    return rangeOfRegex(subject, regex, 0, RegexWholeRange, 0);
}

RegexRange rangeOfRegex(std::u16string_view subject, std::u16string_view regex, int capture)
{
    return rangeOfRegex(subject, regex, 0, RegexWholeRange, capture);
}

RegexRange rangeOfRegex(std::u16string_view subject, std::u16string_view regex, RegexRange range)
{
    return rangeOfRegex(subject, regex, 0, range, 0);
}

RegexRange rangeOfRegex(std::u16string_view subject, std::u16string_view regex, RKLRegexOptions options, RegexRange range,
    int capture, core::Error* error)
{
    return firstRange(kRangeOf, subject, regex, options, range, capture, error);
}

std::optional<std::u16string> stringByMatching(std::u16string_view subject, std::u16string_view regex)
{
    return stringByMatching(subject, regex, 0, RegexWholeRange, 0);
}

std::optional<std::u16string> stringByMatching(std::u16string_view subject, std::u16string_view regex, int capture)
{
    return stringByMatching(subject, regex, 0, RegexWholeRange, capture);
}

std::optional<std::u16string> stringByMatching(std::u16string_view subject, std::u16string_view regex, RegexRange range)
{
    return stringByMatching(subject, regex, 0, range, 0);
}

std::optional<std::u16string> stringByMatching(std::u16string_view subject, std::u16string_view regex,
    RKLRegexOptions options, RegexRange range, int capture, core::Error* error)
{
    RegexRange found = firstRange(kStringByMatching, subject, regex, options, range, capture, error);
    if (found.location == RegexNotFound)
        return std::nullopt;
    return textOf(subject, found);
}

std::vector<std::u16string> componentsMatchedByRegex(std::u16string_view subject, std::u16string_view regex)
{
    return componentsMatchedByRegex(subject, regex, 0, RegexWholeRange, 0);
}

std::vector<std::u16string> componentsMatchedByRegex(std::u16string_view subject, std::u16string_view regex, int capture)
{
    return componentsMatchedByRegex(subject, regex, 0, RegexWholeRange, capture);
}

std::vector<std::u16string> componentsMatchedByRegex(std::u16string_view subject, std::u16string_view regex, RegexRange range)
{
    return componentsMatchedByRegex(subject, regex, 0, range, 0);
}

std::vector<std::u16string> componentsMatchedByRegex(std::u16string_view subject, std::u16string_view regex,
    RKLRegexOptions options, RegexRange range, int capture, core::Error* error)
{
    return textsOf(subject, perform(make(Op::Components, kComponents, subject, regex, options, range, capture, error)).ranges);
}

std::vector<std::u16string> captureComponentsMatchedByRegex(std::u16string_view subject, std::u16string_view regex)
{
    return captureComponentsMatchedByRegex(subject, regex, 0, RegexWholeRange);
}

std::vector<std::u16string> captureComponentsMatchedByRegex(std::u16string_view subject, std::u16string_view regex, RegexRange range)
{
    return captureComponentsMatchedByRegex(subject, regex, 0, range);
}

std::vector<std::u16string> captureComponentsMatchedByRegex(std::u16string_view subject, std::u16string_view regex,
    RKLRegexOptions options, RegexRange range, core::Error* error)
{
    return textsOf(subject,
        perform(make(Op::CaptureComponents, kCaptureComponents, subject, regex, options, range, 0, error)).ranges);
}

std::vector<std::vector<std::u16string>> arrayOfCaptureComponentsMatchedByRegex(std::u16string_view subject, std::u16string_view regex)
{
    return arrayOfCaptureComponentsMatchedByRegex(subject, regex, 0, RegexWholeRange);
}

std::vector<std::vector<std::u16string>> arrayOfCaptureComponentsMatchedByRegex(std::u16string_view subject,
    std::u16string_view regex, RegexRange range)
{
    return arrayOfCaptureComponentsMatchedByRegex(subject, regex, 0, range);
}

std::vector<std::vector<std::u16string>> arrayOfCaptureComponentsMatchedByRegex(std::u16string_view subject,
    std::u16string_view regex, RKLRegexOptions options, RegexRange range, core::Error* error)
{
    Outcome outcome = perform(make(Op::ArrayOfCaptureComponents, kArrayOfCaptureComponents, subject, regex, options, range, 0, error));
    std::vector<std::vector<std::u16string>> result;
    if (!outcome.compiled)
        return result;
    const size_t width = static_cast<size_t>(outcome.groups) + 1;
    result.reserve(outcome.ranges.size() / width);
    for (size_t i = 0; i + width <= outcome.ranges.size(); i += width) {
        std::vector<std::u16string> captures;
        captures.reserve(width);
        for (size_t group = 0; group < width; ++group)
            captures.push_back(textOf(subject, outcome.ranges[i + group]));
        result.push_back(std::move(captures));
    }
    return result;
}

std::vector<std::u16string> componentsSeparatedByRegex(std::u16string_view subject, std::u16string_view regex)
{
    return componentsSeparatedByRegex(subject, regex, 0, RegexWholeRange);
}

std::vector<std::u16string> componentsSeparatedByRegex(std::u16string_view subject, std::u16string_view regex, RegexRange range)
{
    return componentsSeparatedByRegex(subject, regex, 0, range);
}

std::vector<std::u16string> componentsSeparatedByRegex(std::u16string_view subject, std::u16string_view regex,
    RKLRegexOptions options, RegexRange range, core::Error* error)
{
    return textsOf(subject, perform(make(Op::Split, kSeparated, subject, regex, options, range, 0, error)).ranges);
}

std::optional<std::u16string> stringByReplacingOccurrencesOfRegex(std::u16string_view subject, std::u16string_view regex,
    std::u16string_view replacement)
{
    return stringByReplacingOccurrencesOfRegex(subject, regex, replacement, 0, RegexWholeRange);
}

std::optional<std::u16string> stringByReplacingOccurrencesOfRegex(std::u16string_view subject, std::u16string_view regex,
    std::u16string_view replacement, RegexRange range)
{
    return stringByReplacingOccurrencesOfRegex(subject, regex, replacement, 0, range);
}

std::optional<std::u16string> stringByReplacingOccurrencesOfRegex(std::u16string_view subject, std::u16string_view regex,
    std::u16string_view replacement, RKLRegexOptions options, RegexRange range, core::Error* error)
{
    return replacing(kReplacing, subject, regex, replacement, options, range, error, nullptr);
}

size_t replaceOccurrencesOfRegex(std::u16string& subject, std::u16string_view regex, std::u16string_view replacement)
{
    return replaceOccurrencesOfRegex(subject, regex, replacement, 0, RegexWholeRange);
}

size_t replaceOccurrencesOfRegex(std::u16string& subject, std::u16string_view regex, std::u16string_view replacement,
    RegexRange range)
{
    return replaceOccurrencesOfRegex(subject, regex, replacement, 0, range);
}

size_t replaceOccurrencesOfRegex(std::u16string& subject, std::u16string_view regex, std::u16string_view replacement,
    RKLRegexOptions options, RegexRange range, core::Error* error)
{
    size_t count = 0;
    Request request = make(Op::Replace, kReplaceInPlace, subject, regex, options, range, 0, error);
    request.replacement = replacement;
    request.receiverClass = "NSMutableString";
    Outcome outcome = perform(request);
    count = outcome.replacements;
    if (count == 0)
        return 0;
    size_t location = range.location;
    size_t length = range.length == SIZE_MAX ? subject.size() - location : range.length;
    subject.replace(location, length, outcome.replaced.getBuffer(), static_cast<size_t>(outcome.replaced.length()));
    return count;
}

int64_t captureCount(std::u16string_view regex)
{
    return captureCount(regex, 0);
}

int64_t captureCount(std::u16string_view regex, RKLRegexOptions options, core::Error* error)
{
    return captureCountOf(kCaptureCount, '-', regex, options, error);
}

int64_t captureCountForRegex(std::u16string_view regex)
{
    return captureCountForRegex(regex, 0);
}

int64_t captureCountForRegex(std::u16string_view regex, RKLRegexOptions options, core::Error* error)
{
    return captureCountOf(kCaptureCountForRegex, '+', regex, options, error);
}

bool isRegexValid(std::u16string_view regex)
{
    return isRegexValid(regex, 0);
}

bool isRegexValid(std::u16string_view regex, RKLRegexOptions options, core::Error* error)
{
    return captureCountOf(kIsRegexValid, '-', regex, options, error) >= 0;
}

void flushCachedRegexData(std::u16string_view)
{
}

void clearStringCache()
{
    Cache& shared = cache();
    std::lock_guard<std::mutex> guard(shared.lock);
    shared.clearAll();
}

// ---- Lower layer: UTF-8 ----

bool isMatchedByRegex(std::string_view subject, std::string_view regex, RKLRegexOptions options, core::Error* error)
{
    return isMatchedByRegex(utf16Subject(subject, kIsMatched), utf16(regex), options, RegexWholeRange, error);
}

std::optional<std::string> stringByMatching(std::string_view subject, std::string_view regex, RKLRegexOptions options,
    int capture, core::Error* error)
{
    return utf8Optional(stringByMatching(utf16Subject(subject, kStringByMatching), utf16(regex), options, RegexWholeRange, capture, error));
}

std::vector<std::string> componentsMatchedByRegex(std::string_view subject, std::string_view regex, RKLRegexOptions options,
    int capture, core::Error* error)
{
    return utf8Strings(componentsMatchedByRegex(utf16Subject(subject, kComponents), utf16(regex), options, RegexWholeRange, capture, error));
}

std::vector<std::string> captureComponentsMatchedByRegex(std::string_view subject, std::string_view regex,
    RKLRegexOptions options, core::Error* error)
{
    return utf8Strings(captureComponentsMatchedByRegex(utf16Subject(subject, kCaptureComponents), utf16(regex), options, RegexWholeRange, error));
}

std::vector<std::vector<std::string>> arrayOfCaptureComponentsMatchedByRegex(std::string_view subject, std::string_view regex,
    RKLRegexOptions options, core::Error* error)
{
    auto matches = arrayOfCaptureComponentsMatchedByRegex(utf16Subject(subject, kArrayOfCaptureComponents), utf16(regex), options,
        RegexWholeRange, error);
    std::vector<std::vector<std::string>> result;
    result.reserve(matches.size());
    for (const auto& captures : matches)
        result.push_back(utf8Strings(captures));
    return result;
}

std::vector<std::string> componentsSeparatedByRegex(std::string_view subject, std::string_view regex,
    RKLRegexOptions options, core::Error* error)
{
    return utf8Strings(componentsSeparatedByRegex(utf16Subject(subject, kSeparated), utf16(regex), options, RegexWholeRange, error));
}

std::optional<std::string> stringByReplacingOccurrencesOfRegex(std::string_view subject, std::string_view regex,
    std::string_view replacement, RKLRegexOptions options, core::Error* error)
{
    return utf8Optional(replacing(kReplacing, utf16Subject(subject, kReplacing), utf16(regex), utf16(replacement), options,
        RegexWholeRange, error, nullptr));
}

size_t replaceOccurrencesOfRegex(std::string& subject, std::string_view regex, std::string_view replacement,
    RKLRegexOptions options, core::Error* error)
{
    std::u16string text = utf16Subject(subject, kReplaceInPlace);
    size_t count = replaceOccurrencesOfRegex(text, utf16(regex), utf16(replacement), options, RegexWholeRange, error);
    if (count > 0)
        subject = utf8(text);
    return count;
}

int64_t captureCount(std::string_view regex, RKLRegexOptions options, core::Error* error)
{
    return captureCount(utf16(regex), options, error);
}

bool isRegexValid(std::string_view regex, RKLRegexOptions options, core::Error* error)
{
    return isRegexValid(utf16(regex), options, error);
}

// ---- Upper layer ----

RegexRange vkRangeOfRegex(std::u16string_view subject, std::u16string_view regex, RKLRegexOptions options, int capture)
{
    return rangeOfRegex(subject, regex, options, RegexWholeRange, capture);
}

std::optional<std::u16string> vkCaptureOfRegex(std::u16string_view subject, std::u16string_view regex)
{
    RegexRange range = rangeOfRegex(subject, regex, RKLCaseless, RegexWholeRange, 1);
    if (range.location == RegexNotFound)
        return std::nullopt;
    return textOf(subject, range);
}

std::optional<std::string> vkCaptureOfRegex(std::string_view subject, std::string_view regex)
{
    return utf8Optional(vkCaptureOfRegex(utf16Subject(subject, kRangeOf), utf16(regex)));
}

namespace {

// One word-break iterator per thread, cloned from a prototype made once:
// the indexing and search threads tokenize at the same time.
UBreakIterator* wordBreaker()
{
    static UBreakIterator* const prototype = [] {
        UErrorCode status = U_ZERO_ERROR;
        UBreakIterator* iterator = ubrk_open(UBRK_WORD, "", nullptr, 0, &status);
        return U_SUCCESS(status) ? iterator : nullptr;
    }();
    static std::mutex cloneLock;
    struct Holder {
        UBreakIterator* iterator = nullptr;
        ~Holder()
        {
            if (iterator)
                ubrk_close(iterator);
        }
    };
    thread_local Holder holder;
    if (!holder.iterator && prototype) {
        std::lock_guard<std::mutex> guard(cloneLock);
        UErrorCode status = U_ZERO_ERROR;
        UBreakIterator* clone = ubrk_clone(prototype, &status);
        holder.iterator = U_SUCCESS(status) ? clone : nullptr;
    }
    return holder.iterator;
}

bool holdsLetter(std::u16string_view token)
{
    for (size_t i = 0; i < token.size();) {
        UChar32 c;
        U16_NEXT(token.data(), i, token.size(), c);
        if (U_GET_GC_MASK(c) & (U_GC_L_MASK | U_GC_M_MASK))
            return true;
    }
    return false;
}

} // namespace

std::vector<std::u16string> vkWordBoundaryTokens(std::u16string_view text)
{
    std::vector<std::u16string> tokens;
    if (text.empty())
        return tokens;
    if (text.size() >= kIntMax) {
        Request request = named("vkWordBoundaryTokens");
        throw misuse(request, core::Exception::RangeError, "String length exceeds INT_MAX.");
    }
    UBreakIterator* iterator = wordBreaker();
    if (!iterator)
        return tokens;
    UErrorCode status = U_ZERO_ERROR;
    ubrk_setText(iterator, text.data(), static_cast<int32_t>(text.size()), &status);
    if (U_SUCCESS(status)) {
        int32_t start = ubrk_first(iterator);
        for (int32_t end = ubrk_next(iterator); end != UBRK_DONE; start = end, end = ubrk_next(iterator)) {
            std::u16string_view token = text.substr(start, end - start);
            if (holdsLetter(token))
                tokens.emplace_back(token);
        }
    }
    // Not a pointer into the caller's text left behind.
    status = U_ZERO_ERROR;
    ubrk_setText(iterator, kEmptyText, 0, &status);
    return tokens;
}

std::vector<std::string> vkWordBoundaryTokens(std::string_view text)
{
    return utf8Strings(vkWordBoundaryTokens(utf16Subject(text, "vkWordBoundaryTokens")));
}

std::u16string vkWordBoundaryRegex(std::u16string_view text, int mode)
{
    const std::u16string_view joint = mode == 1 ? u"\\b|\\b" : u" ";
    std::u16string pattern = u"\\b";
    bool first = true;
    for (const auto& word : vkWordBoundaryTokens(text)) {
        if (!first)
            pattern += joint;
        first = false;
        // Every ASCII character other than a letter or digit stands for
        // itself once escaped; digits stay bare, "\1" would be a group.
        for (char16_t unit : word) {
            bool alphanumeric = (unit >= u'a' && unit <= u'z') || (unit >= u'A' && unit <= u'Z') || (unit >= u'0' && unit <= u'9');
            if (unit < 0x80 && !alphanumeric)
                pattern += u'\\';
            pattern += unit;
        }
    }
    if (!text.empty() && text.back() == u' ')
        pattern += u"\\b";
    return pattern;
}

std::string vkWordBoundaryRegex(std::string_view text, int mode)
{
    return utf8(vkWordBoundaryRegex(utf16Subject(text, "vkWordBoundaryRegex:"), mode));
}

// ---- Test hooks ----

namespace RegexCacheTesting {

size_t slotForPattern(std::u16string_view regex)
{
    return slotIndex(regex);
}

uint64_t compileCount()
{
    Cache& shared = cache();
    std::lock_guard<std::mutex> guard(shared.lock);
    return shared.compiles;
}

size_t occupiedSlots()
{
    Cache& shared = cache();
    std::lock_guard<std::mutex> guard(shared.lock);
    size_t count = 0;
    for (const auto& slot : shared.slots)
        count += slot.matcher ? 1 : 0;
    return count;
}

void reset()
{
    memoryWarningObservation().reset();
    memoryWarningObserverRegistered = false;
    clearStringCache();
}

struct LockHolder::State {
    std::mutex mutex;
    std::condition_variable changed;
    bool locked = false;
    bool released = false;
    std::thread thread;
};

LockHolder::LockHolder()
    : m_state(new State)
{
    State* state = m_state;
    state->thread = std::thread([state] {
        std::unique_lock<std::mutex> cacheLock(cache().lock);
        std::unique_lock<std::mutex> lock(state->mutex);
        state->locked = true;
        state->changed.notify_all();
        state->changed.wait(lock, [state] { return state->released; });
    });
    std::unique_lock<std::mutex> lock(state->mutex);
    state->changed.wait(lock, [state] { return state->locked; });
}

LockHolder::~LockHolder()
{
    release();
    delete m_state;
}

void LockHolder::release()
{
    {
        std::lock_guard<std::mutex> lock(m_state->mutex);
        m_state->released = true;
    }
    m_state->changed.notify_all();
    if (m_state->thread.joinable())
        m_state->thread.join();
}

} // namespace RegexCacheTesting
