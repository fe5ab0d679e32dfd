#include "PDF/VKContentIndexStore.h"

#include "Kit/StringRegexAdditions.h"
#include "Platform/Core/Log.h"
#include "Platform/Core/TextFolding.h"
#include "Platform/Core/UTF8.h"

#include <unicode/ustring.h>

#include <algorithm>
#include <filesystem>
#include <system_error>
#include <unordered_set>
#include <vector>

namespace {

constexpr size_t IdentifierSize = 8;
// Keys carry no value; the library wants a buffer even for none.
constexpr std::string_view EmptyValue("", 0);

std::string bigEndian(uint64_t identifier)
{
    std::string bytes(IdentifierSize, '\0');
    for (size_t i = 0; i < IdentifierSize; ++i)
        bytes[i] = static_cast<char>((identifier >> (8 * (IdentifierSize - 1 - i))) & 0xFF);
    return bytes;
}

uint64_t readBigEndian(std::string_view bytes)
{
    uint64_t identifier = 0;
    for (size_t i = 0; i < IdentifierSize; ++i)
        identifier = (identifier << 8) | static_cast<unsigned char>(bytes[i]);
    return identifier;
}

// A closing quote inside a word is the apostrophe people type.
std::u16string withApostrophes(std::u16string text)
{
    std::replace(text.begin(), text.end(), u'\u2019', u'\'');
    return text;
}

std::u16string lowercasedForm(std::u16string_view text)
{
    if (text.empty())
        return {};
    // Lower-casing may lengthen the text (İ becomes i and a dot above).
    std::u16string result(text.size() + 8, u'\0');
    for (int attempt = 0; attempt < 2; ++attempt) {
        UErrorCode status = U_ZERO_ERROR;
        int32_t length = u_strToLower(reinterpret_cast<UChar*>(result.data()), static_cast<int32_t>(result.size()),
            reinterpret_cast<const UChar*>(text.data()), static_cast<int32_t>(text.size()), "", &status);
        if (status == U_BUFFER_OVERFLOW_ERROR) {
            result.assign(static_cast<size_t>(length), u'\0');
            continue;
        }
        if (U_FAILURE(status))
            return std::u16string(text);
        result.resize(static_cast<size_t>(length));
        return result;
    }
    return std::u16string(text);
}

std::u16string lowercased(std::u16string_view text)
{
    return withApostrophes(lowercasedForm(text));
}

} // namespace

VKContentIndexStore::VKContentIndexStore(const std::string& path)
    : VKKeyValueStore(path)
{
}

std::shared_ptr<VKContentIndexStore> VKContentIndexStore::storeForPath(const std::string& path)
{
    return typedStoreForPath<VKContentIndexStore>(path);
}

VKKeyValueStore* VKContentIndexStore::rebuildingIfDamaged(const std::string& path,
    const std::function<VKContentIndexStore*(const std::string&)>& make)
{
    VKContentIndexStore* store = make(path);
    std::error_code error;
    if (store->isOpen() || !std::filesystem::is_regular_file(path, error))
        return store;
    // The index is a cache of what the document holds: a file the database
    // cannot read is made again from the document.
    delete store;
    core::log("Warning, removing the damaged search index {}", path);
    std::filesystem::remove(path, error);
    return make(path);
}

std::string VKContentIndexStore::lowercaseString(std::string_view text)
{
    return core::toUTF8(core::precomposed(lowercased(core::precomposed(core::toUTF16(text)))));
}

std::set<std::string> VKContentIndexStore::tokensForText(std::u16string_view text)
{
    // A page repeats its words: each distinct one is kept once, then
    // sorted, so the set is made in one pass.
    std::unordered_set<std::string> distinct;
    std::string token;
    for (const auto& word : vkWordBoundaryTokens(core::precomposed(text))) {
        // Most words are ASCII, which lower-cases letter by letter and is
        // composed already.
        if (std::all_of(word.begin(), word.end(), [](char16_t unit) { return unit < 0x80; })) {
            token.assign(word.size() + 1, ' ');
            for (size_t i = 0; i < word.size(); ++i) {
                char unit = static_cast<char>(word[i]);
                token[i] = unit >= 'A' && unit <= 'Z' ? static_cast<char>(unit - 'A' + 'a') : unit;
            }
        } else {
            token = core::toUTF8(core::precomposed(lowercased(word))) + ' ';
        }
        distinct.insert(token);
    }
    std::vector<std::string> tokens;
    tokens.reserve(distinct.size());
    while (!distinct.empty())
        tokens.push_back(std::move(distinct.extract(distinct.begin()).value()));
    std::sort(tokens.begin(), tokens.end());
    return std::set<std::string>(std::make_move_iterator(tokens.begin()), std::make_move_iterator(tokens.end()));
}

std::set<std::string> VKContentIndexStore::tokensForText(std::string_view text)
{
    return tokensForText(core::toUTF16(text));
}

bool VKContentIndexStore::beginBatch()
{
    if (m_inBatch || !beginTransaction())
        return false;
    m_inBatch = true;
    return true;
}

bool VKContentIndexStore::commitBatch()
{
    if (!m_inBatch)
        return false;
    m_inBatch = false;
    if (!commitTransaction()) {
        abortTransaction();
        return false;
    }
    return sync();
}

bool VKContentIndexStore::addTokens(const std::set<std::string>& tokens, uint64_t identifier, bool withInverses)
{
    const bool batched = m_inBatch;
    if (!batched && !beginTransaction())
        return false;
    const std::string identifierBytes = bigEndian(identifier);
    // Keys live in heap strings: a "word" of a hostile page may be megabytes.
    std::string key;
    for (const auto& token : tokens) {
        // A token never begins with or holds a 0x00: the first 0x00 of a
        // word key ends its token.
        if (token.empty() || token.find('\0') != std::string::npos)
            continue;
        key.assign(token);
        key += '\0';
        key += identifierBytes;
        putRecordIfAbsent(key, EmptyValue);
        if (withInverses) {
            key.assign(1, '\0');
            key += identifierBytes;
            key += token;
            putRecordIfAbsent(key, EmptyValue);
        }
    }
    if (batched)
        return true;
    if (!commitTransaction()) {
        abortTransaction();
        return false;
    }
    return sync();
}

bool VKContentIndexStore::removeTokensForIdentifier(uint64_t identifier)
{
    const bool batched = m_inBatch;
    if (!batched && !beginTransaction())
        return false;
    const std::string identifierBytes = bigEndian(identifier);
    const std::string prefix = '\0' + identifierBytes;
    {
        Cursor cursor(std::static_pointer_cast<VKKeyValueStore>(shared_from_this()));
        if (!cursor.jump(prefix)) {
            if (!batched)
                abortTransaction();
            return true;
        }
        std::string wordKey;
        for (;;) {
            auto key = cursor.key();
            if (!key || key->compare(0, prefix.size(), prefix) != 0 || key->size() < prefix.size())
                break;
            wordKey.assign(*key, prefix.size());
            wordKey += '\0';
            wordKey += identifierBytes;
            removeRecord(wordKey);
            if (!cursor.remove())
                break;
        }
    }
    if (batched)
        return true;
    if (!commitTransaction()) {
        abortTransaction();
        return false;
    }
    return sync();
}

std::set<uint64_t> VKContentIndexStore::identifiersForToken(std::string_view token) const
{
    std::set<uint64_t> identifiers;
    if (token.empty())
        return identifiers;
    auto self = std::const_pointer_cast<VKKeyValueStore>(std::static_pointer_cast<const VKKeyValueStore>(shared_from_this()));
    Cursor cursor(self);
    if (!cursor.jump(token))
        return identifiers;
    do {
        auto key = cursor.key();
        if (!key || key->size() < token.size() || key->compare(0, token.size(), token) != 0)
            break;
        size_t zero = key->find('\0', token.size());
        if (zero != std::string::npos && key->size() - zero - 1 == IdentifierSize) {
            identifiers.insert(readBigEndian(std::string_view(*key).substr(zero + 1)));
        } else {
            // Only a damaged file holds such a key; what follows its 0x00 is
            // no identifier, so it yields nothing.
            core::log("{} {}", "-[VKContentIndexStore identifiersForToken:]",
                fmt::format("Invalid key when searching for token {}", token));
        }
    } while (cursor.next());
    return identifiers;
}

std::optional<std::set<uint64_t>> VKContentIndexStore::identifiersForSearchString(std::string_view searchString,
    Combination combination) const
{
    // Composed as the indexed words are, whatever form the typing gave.
    std::vector<std::string> words = vkWordBoundaryTokens(core::toUTF8(core::precomposed(core::toUTF16(searchString))));
    if (words.empty())
        return std::nullopt;
    const bool lastWhole = !searchString.empty() && searchString.back() == ' ';
    std::optional<std::set<uint64_t>> result;
    for (size_t i = 0; i < words.size(); ++i) {
        std::string token = lowercaseString(words[i]);
        if (i + 1 < words.size() || lastWhole)
            token += ' ';
        std::set<uint64_t> found = identifiersForToken(token);
        if (!result) {
            result = std::move(found);
        } else if (combination == Combination::Intersect) {
            std::erase_if(*result, [&found](uint64_t identifier) { return !found.contains(identifier); });
        } else {
            result->merge(found);
        }
        // Nothing more can be in every word's set: a long pasted string
        // costs no further lookups.
        if (combination == Combination::Intersect && result->empty())
            break;
    }
    return result;
}
