#include "Platform/Core/PropertyList.h"

#include "Platform/Core/FileSystem.h"
#include "Platform/Core/Log.h"
#include "Platform/Core/Path.h"
#include "Platform/Core/UTF8.h"

#include <plist/plist.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <fmt/format.h>
#include <limits>
#include <memory>
#include <unordered_map>
#include <optional>
#include <vector>

namespace core {

namespace {

struct NodeFree {
    void operator()(void* node) const { plist_free(node); }
};
using Node = std::unique_ptr<void, NodeFree>;

struct MallocFree {
    void operator()(void* pointer) const { std::free(pointer); }
};
template<typename T> using Malloced = std::unique_ptr<T, MallocFree>;

Error readError(std::string reason)
{
    Error error(Error::CocoaDomain, PropertyList::ReadCorruptError,
        std::string("The data couldn\u2019t be read because it isn\u2019t in the correct format."));
    error.setUserInfoValue(Error::LocalizedFailureReasonKey, std::move(reason));
    return error;
}

Error plistWriteError(std::string reason)
{
    Error error(Error::CocoaDomain, PropertyList::WriteInvalidError,
        std::string("The data couldn\u2019t be written because it isn\u2019t in the correct format."));
    error.setUserInfoValue(Error::LocalizedFailureReasonKey, std::move(reason));
    return error;
}

constexpr const char* NulText = "the property list holds text with a NUL character";

// --- Binary structure check -------------------------------------------------
//
// The decoder follows object references recursively and expands every shared
// reference into a node of its own, so a small file can ask for unbounded
// stack or memory. The references are walked here first, without recursion:
// they must stay inside the file, never loop, nest at most MaximumDepth
// containers deep and expand to at most MaximumNodes nodes.

class BinaryCheck {
public:
    explicit BinaryCheck(std::string_view bytes) : m_bytes(bytes) { }

    bool run(std::string& reason)
    {
        static constexpr size_t HeaderLength = 8;
        static constexpr size_t TrailerLength = 32;
        if (m_bytes.size() < HeaderLength + TrailerLength)
            return fail(reason, "the binary property list is truncated");
        size_t trailer = m_bytes.size() - TrailerLength;
        m_offsetSize = byte(trailer + 6);
        m_refSize = byte(trailer + 7);
        uint64_t objectCount = bigEndian(trailer + 8, 8);
        uint64_t top = bigEndian(trailer + 16, 8);
        uint64_t tableOffset = bigEndian(trailer + 24, 8);
        if (m_offsetSize < 1 || m_offsetSize > 8 || m_refSize < 1 || m_refSize > 8)
            return fail(reason, "the binary property list has a bad trailer");
        if (tableOffset < HeaderLength || tableOffset > trailer || objectCount == 0 || top >= objectCount
            || objectCount > (trailer - tableOffset) / m_offsetSize)
            return fail(reason, "the binary property list has a bad offset table");
        m_objectsEnd = static_cast<size_t>(tableOffset);
        m_tableOffset = static_cast<size_t>(tableOffset);
        m_objectCount = static_cast<size_t>(objectCount);
        m_state.assign(m_objectCount, Unvisited);
        m_nodes.assign(m_objectCount, 0);
        return walk(static_cast<size_t>(top), reason);
    }

private:
    enum State : uint8_t { Unvisited, Open, Done };

    struct Frame {
        size_t object;
        size_t refs; // position of the first reference
        size_t count; // references to follow
        size_t next = 0;
        uint64_t nodes = 1;
    };

    static bool fail(std::string& reason, const char* text)
    {
        reason = text;
        return false;
    }

    uint8_t byte(size_t at) const { return static_cast<uint8_t>(m_bytes[at]); }

    uint64_t bigEndian(size_t at, size_t length) const
    {
        uint64_t value = 0;
        for (size_t i = 0; i < length; ++i)
            value = (value << 8) | byte(at + i);
        return value;
    }

    // Reads the length that follows a marker whose low nibble is 0xF.
    bool extendedCount(size_t& position, uint64_t& count) const
    {
        if (position >= m_objectsEnd)
            return false;
        uint8_t marker = byte(position++);
        if ((marker & 0xF0) != 0x10 || (marker & 0x0F) > 3)
            return false;
        size_t length = size_t(1) << (marker & 0x0F);
        if (length > m_objectsEnd - position)
            return false;
        count = bigEndian(position, length);
        position += length;
        return true;
    }

    bool fits(size_t position, uint64_t count, uint64_t unit) const
    {
        return position <= m_objectsEnd && count <= (m_objectsEnd - position) / unit;
    }

    // Looks at one object: a container gets a frame, a scalar is checked for
    // fitting into the file.
    bool inspect(size_t object, std::optional<Frame>& container, std::string& reason) const
    {
        uint64_t offset = bigEndian(m_tableOffset + object * m_offsetSize, m_offsetSize);
        if (offset < 8 || offset >= m_objectsEnd)
            return fail(reason, "the binary property list has an object outside the file");
        size_t position = static_cast<size_t>(offset);
        uint8_t marker = byte(position++);
        uint8_t kind = marker >> 4;
        uint64_t count = marker & 0x0F;
        bool counted = kind == 0x4 || kind == 0x5 || kind == 0x6 || kind == 0xA || kind == 0xC || kind == 0xD;
        if (counted && count == 0x0F && !extendedCount(position, count))
            return fail(reason, "the binary property list has a bad length");
        switch (kind) {
        case 0x0:
            if (marker != 0x08 && marker != 0x09)
                return fail(reason, "the binary property list has an unknown object");
            return true;
        case 0x1:
        case 0x2:
            if (count > 4 || !fits(position, uint64_t(1) << count, 1))
                return fail(reason, "the binary property list has a bad number");
            return true;
        case 0x3:
            if (marker != 0x33 || !fits(position, 8, 1))
                return fail(reason, "the binary property list has a bad date");
            return true;
        case 0x4:
            if (!fits(position, count, 1))
                return fail(reason, "the binary property list has a truncated object");
            return true;
        case 0x5:
        case 0x6: {
            size_t unit = kind == 0x5 ? 1 : 2;
            if (!fits(position, count, unit))
                return fail(reason, "the binary property list has a truncated object");
            // The decoder's text accessors abort on a NUL inside the text.
            for (size_t i = 0; i < count; ++i) {
                size_t at = position + i * unit;
                if (byte(at) == 0 && (unit == 1 || byte(at + 1) == 0))
                    return fail(reason, NulText);
            }
            return true;
        }
        case 0x8:
            return fail(reason, "the property list holds UID values (a keyed archive)");
        case 0xA:
        case 0xC:
        case 0xD: {
            uint64_t refs = kind == 0xD ? count * 2 : count;
            if (count > std::numeric_limits<uint32_t>::max() || !fits(position, refs, m_refSize))
                return fail(reason, "the binary property list has a truncated container");
            container = Frame { object, position, static_cast<size_t>(refs) };
            return true;
        }
        default:
            return fail(reason, "the binary property list has an unknown object");
        }
    }

    bool walk(size_t top, std::string& reason)
    {
        std::vector<Frame> stack;
        auto enter = [&](size_t object, uint64_t& nodes) {
            if (object >= m_objectCount)
                return fail(reason, "the binary property list refers to a missing object");
            if (m_state[object] == Open)
                return fail(reason, "the binary property list refers to itself");
            if (m_state[object] == Done) {
                nodes += m_nodes[object];
                return true;
            }
            std::optional<Frame> container;
            if (!inspect(object, container, reason))
                return false;
            if (!container) {
                m_state[object] = Done;
                m_nodes[object] = 1;
                nodes += 1;
                return true;
            }
            if (stack.size() >= PropertyList::MaximumDepth)
                return fail(reason, "the property list is nested too deeply");
            m_state[object] = Open;
            stack.push_back(*container);
            return true;
        };
        uint64_t total = 0;
        if (!enter(top, total))
            return false;
        while (!stack.empty()) {
            Frame& frame = stack.back();
            if (frame.nodes > PropertyList::MaximumNodes)
                return fail(reason, "the property list expands to too many values");
            if (frame.next < frame.count) {
                size_t child = static_cast<size_t>(bigEndian(frame.refs + frame.next * m_refSize, m_refSize));
                ++frame.next;
                // `frame` may move when enter() pushes; count into a local.
                uint64_t nodes = 0;
                size_t index = stack.size() - 1;
                if (!enter(child, nodes))
                    return false;
                stack[index].nodes += nodes;
                continue;
            }
            Frame done = frame;
            stack.pop_back();
            m_state[done.object] = Done;
            m_nodes[done.object] = static_cast<uint32_t>(std::min<uint64_t>(done.nodes, PropertyList::MaximumNodes + 1));
            if (stack.empty())
                total = done.nodes;
            else
                stack.back().nodes += done.nodes;
        }
        if (total > PropertyList::MaximumNodes)
            return fail(reason, "the property list expands to too many values");
        return true;
    }

    std::string_view m_bytes;
    size_t m_offsetSize = 0;
    size_t m_refSize = 0;
    size_t m_tableOffset = 0;
    size_t m_objectsEnd = 0;
    size_t m_objectCount = 0;
    std::vector<uint8_t> m_state;
    std::vector<uint32_t> m_nodes;
};

// --- XML check --------------------------------------------------------
//
// The XML decoder recurses once per open container; count them first.
// Comments, CDATA sections, declarations and processing instructions are
// skipped; anything else that opens <array> or <dict> counts.
//
// NUL characters, raw or as character references, are refused as well: the
// decoder's text accessors abort on them.
bool hasNulReference(std::string_view text)
{
    for (size_t at = text.find("&#"); at != std::string_view::npos; at = text.find("&#", at + 2)) {
        size_t i = at + 2;
        bool hex = i < text.size() && (text[i] == 'x' || text[i] == 'X');
        if (hex)
            ++i;
        size_t digits = 0;
        bool zero = true;
        for (; i < text.size() && (hex ? std::isxdigit(static_cast<unsigned char>(text[i])) : std::isdigit(static_cast<unsigned char>(text[i]))); ++i, ++digits)
            zero = zero && text[i] == '0';
        if (digits > 0 && zero)
            return true;
    }
    return false;
}

bool checkXML(std::string_view text, std::string& reason)
{
    if (text.find('\0') != std::string_view::npos || hasNulReference(text)) {
        reason = NulText;
        return false;
    }
    size_t depth = 0;
    size_t position = 0;
    auto skipPast = [&](std::string_view end) {
        size_t found = text.find(end, position);
        position = found == std::string_view::npos ? text.size() : found + end.size();
    };
    while ((position = text.find('<', position)) != std::string_view::npos) {
        std::string_view rest = text.substr(position);
        if (rest.starts_with("<!--")) {
            skipPast("-->");
        } else if (rest.starts_with("<![CDATA[")) {
            skipPast("]]>");
        } else if (rest.starts_with("<?")) {
            skipPast("?>");
        } else if (rest.starts_with("<!")) {
            skipPast(">");
        } else {
            bool closing = rest.size() > 1 && rest[1] == '/';
            size_t nameStart = closing ? 2 : 1;
            size_t nameEnd = nameStart;
            while (nameEnd < rest.size() && std::isalnum(static_cast<unsigned char>(rest[nameEnd])))
                ++nameEnd;
            std::string_view name = rest.substr(nameStart, nameEnd - nameStart);
            size_t close = rest.find('>', nameEnd);
            bool selfClosing = close != std::string_view::npos && close > 0 && rest[close - 1] == '/';
            if ((name == "array" || name == "dict") && !selfClosing) {
                if (closing) {
                    if (depth > 0)
                        --depth;
                } else if (++depth > PropertyList::MaximumDepth) {
                    reason = "the property list is nested too deeply";
                    return false;
                }
            }
            position = close == std::string_view::npos ? text.size() : position + close + 1;
        }
    }
    return true;
}

// --- Decoding -------------------------------------------------------------------

bool toValue(plist_t node, Value& out, std::string& reason)
{
    switch (plist_get_node_type(node)) {
    case PLIST_BOOLEAN: {
        uint8_t flag = 0;
        plist_get_bool_val(node, &flag);
        out = Value(flag != 0);
        return true;
    }
    case PLIST_UINT: {
        // The decoder keeps integers unsigned; negatives come back as their
        // two's complement.
        uint64_t number = 0;
        plist_get_uint_val(node, &number);
        out = Value(static_cast<int64_t>(number));
        return true;
    }
    case PLIST_REAL: {
        double number = 0;
        plist_get_real_val(node, &number);
        out = Value(number);
        return true;
    }
    case PLIST_STRING: {
        char* raw = nullptr;
        plist_get_string_val(node, &raw);
        Malloced<char> text(raw);
        out = Value(utf8::sanitized(text ? std::string_view(text.get()) : std::string_view()));
        return true;
    }
    case PLIST_DATE: {
        int32_t seconds = 0;
        int32_t microseconds = 0;
        plist_get_date_val(node, &seconds, &microseconds);
        out = Value(Date(double(seconds) + double(microseconds) / 1e6));
        return true;
    }
    case PLIST_DATA: {
        char* raw = nullptr;
        uint64_t length = 0;
        plist_get_data_val(node, &raw, &length);
        Malloced<char> bytes(raw);
        out = Value(Data(bytes.get(), bytes ? static_cast<size_t>(length) : 0));
        return true;
    }
    case PLIST_ARRAY: {
        Value::Array items;
        items.reserve(plist_array_get_size(node));
        plist_array_iter raw = nullptr;
        plist_array_new_iter(node, &raw);
        Malloced<void> iterator(raw);
        for (;;) {
            plist_t item = nullptr;
            plist_array_next_item(node, iterator.get(), &item);
            if (!item)
                break;
            Value value;
            if (!toValue(item, value, reason))
                return false;
            items.push_back(std::move(value));
        }
        out = Value(std::move(items));
        return true;
    }
    case PLIST_DICT: {
        Value::Dictionary entries;
        plist_dict_iter raw = nullptr;
        plist_dict_new_iter(node, &raw);
        Malloced<void> iterator(raw);
        for (;;) {
            char* rawKey = nullptr;
            plist_t item = nullptr;
            plist_dict_next_item(node, iterator.get(), &rawKey, &item);
            Malloced<char> key(rawKey);
            if (!item)
                break;
            Value value;
            if (!toValue(item, value, reason))
                return false;
            entries.insert_or_assign(utf8::sanitized(key ? std::string_view(key.get()) : std::string_view()), std::move(value));
        }
        // A keyed archive's reference in XML form.
        if (entries.size() == 1 && entries.begin()->first == "CF$UID" && entries.begin()->second.isInteger()) {
            reason = "the property list holds UID values (a keyed archive)";
            return false;
        }
        out = Value(std::move(entries));
        return true;
    }
    case PLIST_UID:
        reason = "the property list holds UID values (a keyed archive)";
        return false;
    default:
        reason = "the property list holds a value of an unknown kind";
        return false;
    }
}

// --- Encoding -------------------------------------------------------------------

// What both encoders share: text is made storable and dates clamped, with a
// note of each so that the caller logs it once.
struct Cleaner {
    bool replacedText = false;
    bool clampedDate = false;

    std::string text(const std::string& value)
    {
        // The XML encoder takes C strings: a NUL would cut the text short.
        if (utf8::isValid(value) && value.find('\0') == std::string::npos)
            return value;
        replacedText = true;
        std::string clean = utf8::sanitized(value);
        std::string result;
        result.reserve(clean.size());
        for (char c : clean) {
            if (c == '\0')
                result += "\xEF\xBF\xBD";
            else
                result += c;
        }
        return result;
    }

    // Seconds since 2001 that fit the int32 seconds of the XML encoder.
    double seconds(Date value)
    {
        double seconds = value.timeIntervalSinceReferenceDate();
        double low = std::numeric_limits<int32_t>::min();
        double high = std::numeric_limits<int32_t>::max();
        if (std::isnan(seconds) || seconds < low || seconds > high) {
            clampedDate = true;
            seconds = std::isnan(seconds) ? 0 : std::clamp(seconds, low, high);
        }
        return seconds;
    }
};

std::string tooDeep()
{
    return "the value is nested too deeply for a property list";
}

std::string notStorable(const Value& value)
{
    return value.isNull() ? std::string("null has no property-list form")
                          : fmt::format("{} has no property-list form", value.object()->description());
}

// The XML form goes through the library's tree.
struct XMLEncoder {
    Cleaner& cleaner;
    std::string failure;

    Node encode(const Value& value, size_t depth)
    {
        switch (value.type()) {
        case Value::Type::Bool:
            return Node(plist_new_bool(value.boolean() ? 1 : 0));
        case Value::Type::Integer:
            // Unsigned nodes only: a negative goes in as its two's complement,
            // which the encoder writes back as the negative number.
            return Node(plist_new_uint(static_cast<uint64_t>(value.integer())));
        case Value::Type::Real:
            return Node(plist_new_real(value.real()));
        case Value::Type::String:
            return Node(plist_new_string(cleaner.text(value.string()).c_str()));
        case Value::Type::Data:
            return Node(plist_new_data(value.data().chars(), value.data().size()));
        case Value::Type::Date: {
            double seconds = cleaner.seconds(value.date());
            double whole = std::floor(seconds);
            auto microseconds = static_cast<int32_t>(std::min(999999.0, std::round((seconds - whole) * 1e6)));
            return Node(plist_new_date(static_cast<int32_t>(whole), microseconds));
        }
        case Value::Type::Array: {
            if (depth >= PropertyList::MaximumDepth)
                return fail(tooDeep());
            Node array(plist_new_array());
            for (const auto& item : value.array()) {
                Node node = encode(item, depth + 1);
                if (!node)
                    return nullptr;
                plist_array_append_item(array.get(), node.release());
            }
            return array;
        }
        case Value::Type::Dictionary: {
            if (depth >= PropertyList::MaximumDepth)
                return fail(tooDeep());
            Node dictionary(plist_new_dict());
            for (const auto& [key, item] : value.dictionary()) {
                Node node = encode(item, depth + 1);
                if (!node)
                    return nullptr;
                plist_dict_set_item(dictionary.get(), cleaner.text(key).c_str(), node.release());
            }
            return dictionary;
        }
        case Value::Type::Null:
        case Value::Type::Object:
            return fail(notStorable(value));
        }
        return nullptr;
    }

    Node fail(std::string reason)
    {
        failure = std::move(reason);
        return nullptr;
    }
};

// The binary form is written here: the library's binary encoder takes time
// quadratic in the size of a dictionary. Scalars are stored once and shared
// by reference, as the device's encoder does.
class BinaryEncoder {
public:
    explicit BinaryEncoder(Cleaner& cleaner) : m_cleaner(cleaner) { }

    std::optional<std::string> encode(const Value& root, std::string& failure)
    {
        if (!add(root, 0, failure))
            return std::nullopt;
        size_t refSize = byteCount(m_objects.size() - 1);
        std::string out = "bplist00";
        std::vector<uint64_t> offsets;
        offsets.reserve(m_objects.size());
        for (const auto& object : m_objects) {
            offsets.push_back(out.size());
            if (object.scalar) {
                out += *object.scalar;
                continue;
            }
            appendMarker(out, object.kind, object.refs.size() / (object.kind == 0xD ? 2 : 1));
            for (uint32_t ref : object.refs)
                appendBigEndian(out, ref, refSize);
        }
        uint64_t tableOffset = out.size();
        size_t offsetSize = byteCount(tableOffset);
        for (uint64_t offset : offsets)
            appendBigEndian(out, offset, offsetSize);
        out.append(6, '\0');
        out += static_cast<char>(offsetSize);
        out += static_cast<char>(refSize);
        appendBigEndian(out, m_objects.size(), 8);
        appendBigEndian(out, 0, 8);
        appendBigEndian(out, tableOffset, 8);
        return out;
    }

private:
    struct Object {
        const std::string* scalar = nullptr; // encoded bytes (a key of m_unique)
        uint8_t kind = 0; // 0xA array, 0xD dictionary
        std::vector<uint32_t> refs; // dictionaries: keys, then values
    };

    static size_t byteCount(uint64_t value)
    {
        if (value <= 0xFF)
            return 1;
        if (value <= 0xFFFF)
            return 2;
        if (value <= 0xFFFFFFFF)
            return 4;
        return 8;
    }

    static void appendBigEndian(std::string& out, uint64_t value, size_t length)
    {
        for (size_t i = length; i-- > 0;)
            out += static_cast<char>((value >> (8 * i)) & 0xFF);
    }

    static void appendInteger(std::string& out, int64_t value)
    {
        // Negative numbers are always eight bytes (signed); smaller widths are unsigned.
        auto bits = static_cast<uint64_t>(value);
        size_t length = value < 0 ? 8 : byteCount(bits);
        uint8_t power = length == 1 ? 0 : length == 2 ? 1 : length == 4 ? 2 : 3;
        out += static_cast<char>(0x10 | power);
        appendBigEndian(out, bits, length);
    }

    static void appendMarker(std::string& out, uint8_t kind, size_t count)
    {
        if (count < 0x0F) {
            out += static_cast<char>((kind << 4) | count);
        } else {
            out += static_cast<char>((kind << 4) | 0x0F);
            appendInteger(out, static_cast<int64_t>(count));
        }
    }

    static void appendDouble(std::string& out, uint8_t marker, double value)
    {
        uint64_t bits;
        std::memcpy(&bits, &value, sizeof bits);
        out += static_cast<char>(marker);
        appendBigEndian(out, bits, 8);
    }

    static std::string encodeString(const std::string& text)
    {
        std::string out;
        bool ascii = std::all_of(text.begin(), text.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
        if (ascii) {
            appendMarker(out, 0x5, text.size());
            out += text;
            return out;
        }
        std::u16string units;
        units.reserve(text.size());
        for (size_t i = 0; i < text.size();) {
            auto byte = [&](size_t k) { return static_cast<uint32_t>(static_cast<uint8_t>(text[k])); };
            uint32_t lead = byte(i);
            uint32_t point;
            size_t length = lead < 0x80 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
            if (length == 1)
                point = lead;
            else if (length == 2)
                point = ((lead & 0x1F) << 6) | (byte(i + 1) & 0x3F);
            else if (length == 3)
                point = ((lead & 0x0F) << 12) | ((byte(i + 1) & 0x3F) << 6) | (byte(i + 2) & 0x3F);
            else
                point = ((lead & 0x07) << 18) | ((byte(i + 1) & 0x3F) << 12) | ((byte(i + 2) & 0x3F) << 6) | (byte(i + 3) & 0x3F);
            i += length;
            if (point >= 0x10000) {
                point -= 0x10000;
                units += static_cast<char16_t>(0xD800 + (point >> 10));
                units += static_cast<char16_t>(0xDC00 + (point & 0x3FF));
            } else {
                units += static_cast<char16_t>(point);
            }
        }
        appendMarker(out, 0x6, units.size());
        for (char16_t unit : units)
            appendBigEndian(out, unit, 2);
        return out;
    }

    uint32_t addScalar(std::string bytes)
    {
        auto [it, inserted] = m_unique.try_emplace(std::move(bytes), static_cast<uint32_t>(m_objects.size()));
        if (inserted) {
            Object object;
            object.scalar = &it->first;
            m_objects.push_back(std::move(object));
        }
        m_last = it->second;
        return it->second;
    }

    // Adds the value's objects; its own number is left in m_last.
    bool add(const Value& value, size_t depth, std::string& failure)
    {
        std::string bytes;
        switch (value.type()) {
        case Value::Type::Bool:
            bytes += static_cast<char>(value.boolean() ? 0x09 : 0x08);
            break;
        case Value::Type::Integer:
            appendInteger(bytes, value.integer());
            break;
        case Value::Type::Real:
            appendDouble(bytes, 0x23, value.real());
            break;
        case Value::Type::Date:
            appendDouble(bytes, 0x33, m_cleaner.seconds(value.date()));
            break;
        case Value::Type::String:
            bytes = encodeString(m_cleaner.text(value.string()));
            break;
        case Value::Type::Data:
            appendMarker(bytes, 0x4, value.data().size());
            bytes.append(value.data().view());
            break;
        case Value::Type::Array:
        case Value::Type::Dictionary: {
            if (depth >= PropertyList::MaximumDepth) {
                failure = tooDeep();
                return false;
            }
            auto index = static_cast<uint32_t>(m_objects.size());
            m_objects.push_back(Object { nullptr, static_cast<uint8_t>(value.isArray() ? 0xA : 0xD), {} });
            std::vector<uint32_t> refs;
            if (value.isArray()) {
                refs.reserve(value.array().size());
                for (const auto& item : value.array()) {
                    if (!add(item, depth + 1, failure))
                        return false;
                    refs.push_back(m_last);
                }
            } else {
                const auto& entries = value.dictionary();
                refs.resize(entries.size() * 2);
                size_t i = 0;
                for (const auto& [key, item] : entries) {
                    refs[i] = addScalar(encodeString(m_cleaner.text(key)));
                    if (!add(item, depth + 1, failure))
                        return false;
                    refs[entries.size() + i] = m_last;
                    ++i;
                }
            }
            m_objects[index].refs = std::move(refs);
            m_last = index;
            return true;
        }
        case Value::Type::Null:
        case Value::Type::Object:
            failure = notStorable(value);
            return false;
        }
        addScalar(std::move(bytes));
        return true;
    }

    Cleaner& m_cleaner;
    std::vector<Object> m_objects;
    std::unordered_map<std::string, uint32_t> m_unique;
    uint32_t m_last = 0;
};

// Restates an error for a file: the description names it.
Error aboutFile(const std::string& path, const Error& cause, bool reading)
{
    std::string description = cause.domain() == Error::POSIXDomain
        ? fmt::format("The file \u201c{}\u201d couldn\u2019t be {}: {}", path::lastPathComponent(path), reading ? "read" : "written", cause.localizedDescription())
        : fmt::format("The file \u201c{}\u201d couldn\u2019t be {} because it isn\u2019t in the correct format.", path::lastPathComponent(path), reading ? "read" : "written");
    Error error(cause.domain(), cause.code(), description);
    if (auto reason = cause.localizedFailureReason(); !reason.empty())
        error.setUserInfoValue(Error::LocalizedFailureReasonKey, reason);
    error.setUserInfoValue(Error::FilePathKey, path);
    error.setUnderlyingError(cause);
    return error;
}

} // namespace

Value PropertyList::read(std::string_view bytes, Error* error, Format* format)
{
    auto failed = [&](std::string reason) {
        setError(error, readError(std::move(reason)));
        return Value();
    };
    if (bytes.size() > MaximumLength)
        return failed("the property list is larger than 64 MiB");
    bool binary = plist_is_binary(bytes.data(), static_cast<uint32_t>(bytes.size())) != 0;
    std::string reason;
    if (binary ? !BinaryCheck(bytes).run(reason) : !checkXML(bytes, reason))
        return failed(std::move(reason));
    plist_t raw = nullptr;
    if (binary)
        plist_from_bin(bytes.data(), static_cast<uint32_t>(bytes.size()), &raw);
    else if (!bytes.empty())
        plist_from_xml(bytes.data(), static_cast<uint32_t>(bytes.size()), &raw);
    Node root(raw);
    if (!root)
        return failed(binary ? "the binary property list is damaged" : "the text is not an XML property list");
    Value value;
    if (!toValue(root.get(), value, reason))
        return failed(std::move(reason));
    if (format)
        *format = binary ? Format::Binary : Format::XML;
    return value;
}

Value PropertyList::readFile(const std::string& path, Error* error, Format* format)
{
    Data contents;
    Error cause;
    if (!fs::readFile(path, contents, &cause)) {
        setError(error, aboutFile(path, cause, true));
        return Value();
    }
    Value value = read(contents.view(), &cause, format);
    if (value.isNull())
        setError(error, aboutFile(path, cause, true));
    return value;
}

std::optional<std::string> PropertyList::write(const Value& value, Format format, Error* error)
{
    Cleaner cleaner;
    std::string failure;
    std::optional<std::string> bytes;
    if (format == Format::Binary) {
        bytes = BinaryEncoder(cleaner).encode(value, failure);
    } else {
        XMLEncoder encoder { cleaner, {} };
        Node root = encoder.encode(value, 0);
        failure = encoder.failure;
        if (root) {
            char* raw = nullptr;
            uint32_t length = 0;
            plist_to_xml(root.get(), &raw, &length);
            Malloced<char> text(raw);
            if (text)
                bytes = std::string(text.get(), length);
            else
                failure = "the property list could not be encoded";
        }
    }
    if (!bytes) {
        setError(error, plistWriteError(failure));
        return std::nullopt;
    }
    if (cleaner.replacedText)
        log("Warning, property list: text that is not UTF-8 was written with U+FFFD in its place");
    if (cleaner.clampedDate)
        log("Warning, property list: a date outside the storable range was clamped");
    return bytes;
}

bool PropertyList::writeFile(const std::string& path, const Value& value, Format format, Error* error)
{
    Error cause;
    auto bytes = write(value, format, &cause);
    if (!bytes || !fs::writeFileAtomically(path, *bytes, &cause)) {
        setError(error, aboutFile(path, cause, false));
        return false;
    }
    return true;
}

} // namespace core
