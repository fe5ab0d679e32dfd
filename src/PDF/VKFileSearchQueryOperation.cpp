#include "PDF/VKFileSearchQueryOperation.h"

#include "Kit/ArrayAdditions.h"
#include "Kit/StringRegexAdditions.h"
#include "PDF/VKPageIndexStore.h"
#include "Platform/Core/Exception.h"
#include "Platform/Core/Log.h"
#include "Platform/Core/MainThread.h"
#include "Platform/Core/TextFolding.h"
#include "Platform/Core/UTF8.h"

#include <algorithm>
#include <limits>

namespace {

constexpr size_t RectSize = 16;

std::partial_ordering compareHits(const VKDocumentRange& element, const VKDocumentRange& object)
{
    return element.compare(object) <=> 0;
}

// The pattern with each apostrophe (escaped) and closing quote matching
// either: pages keep the quote as drawn, people type the apostrophe.
std::u16string eitherApostrophe(const std::u16string& pattern)
{
    constexpr std::u16string_view either = u"['\u2019]";
    std::u16string result;
    for (size_t i = 0; i < pattern.size(); ++i) {
        if (pattern[i] == u'\\' && i + 1 < pattern.size()) {
            if (pattern[i + 1] == u'\'')
                result += either;
            else
                result.append(pattern, i, 2);
            ++i;
        } else if (pattern[i] == u'\u2019') {
            result += either;
        } else {
            result += pattern[i];
        }
    }
    return result;
}

// Whether an indexed page holds anything but blanks; stops at the first.
bool indexHoldsText(const VKPageIndexStore& store, const VKOperation& operation)
{
    uint32_t pages = store.pagesIndexed();
    for (uint32_t page = 1; page <= pages && !operation.isCancelled(); ++page) {
        auto text = store.textForPageNumber(page);
        if (text && std::any_of(text->begin(), text->end(), [](char16_t c) { return c > u' ' && c != 0xA0; }))
            return true;
    }
    return false;
}

} // namespace

std::shared_ptr<VKFileSearchQueryOperation> VKFileSearchQueryOperation::initWithSearchString(std::string searchString,
    std::optional<VKDocumentRange> neighbouringResult, int direction, std::weak_ptr<VKFileSearchQueryOperationDelegate> delegate)
{
    return std::shared_ptr<VKFileSearchQueryOperation>(new VKFileSearchQueryOperation(std::move(searchString),
        std::move(neighbouringResult), direction, std::move(delegate)));
}

VKFileSearchQueryOperation::VKFileSearchQueryOperation(std::string searchString,
    std::optional<VKDocumentRange> neighbouringResult, int direction, std::weak_ptr<VKFileSearchQueryOperationDelegate> delegate)
    : m_searchString(std::move(searchString))
    , m_neighbouringResult(std::move(neighbouringResult))
    , m_direction(direction == 1 ? 1 : -1)
    , m_delegate(std::move(delegate))
{
}

template<typename Message>
void VKFileSearchQueryOperation::tellDelegate(Message message)
{
    auto self = std::static_pointer_cast<VKFileSearchQueryOperation>(shared_from_this());
    core::performOnMainThread([self, delegate = m_delegate, message = std::move(message)] {
        if (auto target = delegate.lock())
            message(*target, *self);
    });
}

void VKFileSearchQueryOperation::run()
{
    if (auto delegate = m_delegate.lock())
        m_store = delegate->pageIndexStore();
    if (!m_store)
        return;
    // A text with no word in it (only punctuation) is on no page: it is
    // answered as not found, never left without an answer.
    auto identifiers = m_store->identifiersForSearchString(m_searchString, VKContentIndexStore::Combination::Intersect)
                           .value_or(std::set<uint64_t> {});

    std::optional<VKDocumentRange> hit;
    if (identifiers.empty()) {
        m_foundNoText = !indexHoldsText(*m_store, *this);
    } else {
        std::vector<uint32_t> pages;
        for (uint64_t identifier : identifiers) {
            if (identifier >= 1 && identifier <= std::numeric_limits<uint32_t>::max())
                pages.push_back(static_cast<uint32_t>(identifier));
        }
        hit = nextResult(pages);
    }

    if (isCancelled())
        tellDelegate([](VKFileSearchQueryOperationDelegate& delegate, VKFileSearchQueryOperation& operation) {
            delegate.searchOperationDidCancel(operation);
        });
    else if (!identifiers.empty() && !hit)
        tellDelegate([](VKFileSearchQueryOperationDelegate& delegate, VKFileSearchQueryOperation& operation) {
            delegate.searchOperationDidOverflow(operation);
        });
    else
        tellDelegate([hit](VKFileSearchQueryOperationDelegate& delegate, VKFileSearchQueryOperation& operation) {
            delegate.searchOperation(operation, hit);
        });
}

std::optional<VKDocumentRange> VKFileSearchQueryOperation::nextResult(const std::vector<uint32_t>& pages)
{
    if (pages.empty())
        return std::nullopt;
    // The page texts are composed; so is the pattern, however it was typed.
    const std::u16string regex = eitherApostrophe(vkWordBoundaryRegex(core::precomposed(core::toUTF16(m_searchString)), 0));
    const bool forward = m_direction != 1;
    const VKNeighbour direction = forward ? VKNeighbour::Following : VKNeighbour::Preceding;

    uint32_t current = m_neighbouringResult ? m_neighbouringResult->page() : forward ? pages.front() : pages.back();
    std::optional<VKDocumentRange> hit;
    if (std::binary_search(pages.begin(), pages.end(), current)) {
        auto hits = resultsForSearchRegex(regex, current);
        if (hits) {
            const VKDocumentRange* neighbour = m_neighbouringResult ? &*m_neighbouringResult : nullptr;
            hit = vkObjectNeighbouringObject(*hits, neighbour, direction, compareHits);
        }
    }
    while (!isCancelled() && !hit) {
        if (forward) {
            auto next = std::upper_bound(pages.begin(), pages.end(), current);
            if (next == pages.end())
                break;
            current = *next;
        } else {
            auto next = std::lower_bound(pages.begin(), pages.end(), current);
            if (next == pages.begin())
                break;
            current = *--next;
        }
        auto hits = resultsForSearchRegex(regex, current);
        if (hits && !hits->empty())
            hit = forward ? hits->front() : hits->back();
    }
    return hit;
}

std::optional<std::vector<VKDocumentRange>> VKFileSearchQueryOperation::resultsForSearchRegex(
    const std::u16string& regex, uint32_t pageNumber)
{
    auto text = m_store ? m_store->textForPageNumber(pageNumber) : std::nullopt;
    if (!text || m_store->glyphRectsForPageNumber(pageNumber).size() / RectSize != text->size()) {
        tellDelegate([](VKFileSearchQueryOperationDelegate& delegate, VKFileSearchQueryOperation& operation) {
            delegate.searchOperationNeedsIndex(operation);
        });
        setCancelled(true);
        return std::nullopt;
    }
    if (isCancelled())
        return std::nullopt;

    std::vector<VKDocumentRange> hits;
    size_t location = 0;
    while (location <= text->size()) {
        RegexRange match;
        try {
            core::Error error;
            match = rangeOfRegex(*text, regex, RKLCaseless | RKLUnicodeWordBoundaries,
                RegexRange { location, text->size() - location }, 0, &error);
        } catch (const core::Exception& exception) {
            // A match the expression engine gives up on is no hit.
            core::log("Warning, search on page {} failed: {}", pageNumber, exception.reason());
            break;
        }
        if (match.location == RegexNotFound)
            break;
        hits.emplace_back(pageNumber, core::Range { match.location, match.length });
        if (isCancelled())
            return std::nullopt;
        location = match.location + 1;
    }
    std::sort(hits.begin(), hits.end(), [](const VKDocumentRange& a, const VKDocumentRange& b) { return a.compare(b) < 0; });
    return hits;
}
