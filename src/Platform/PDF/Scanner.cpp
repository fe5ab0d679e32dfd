#include "Platform/PDF/Scanner.h"

#include "Platform/Core/Log.h"
#include "Platform/PDF/ContentTokens.h"
#include "Platform/PDF/DocumentState.h"
#include "Platform/PDF/LimitedBuffer.h"

#include <qpdf/QPDFTokenizer.hh>

#include <charconv>
#include <map>
#include <optional>

namespace pdf {

using detail::HandleAccess;

namespace {

constexpr size_t kMaximumOperands = 10000;
constexpr size_t kMaximumNesting = 64;
// Elements inside open arrays and dictionaries, all levels together.
constexpr size_t kMaximumElements = size_t(1) << 20;

struct Operand {
    enum Kind { Number, Name, String, Boolean, Null, Object } kind = Null;
    bool isInteger = false;
    int64_t integer = 0;
    double number = 0;
    std::string text;
    QPDFObjectHandle object;
};

bool parseInteger(const std::string& text, int64_t& out)
{
    std::string_view view(text);
    if (!view.empty() && view.front() == '+')
        view.remove_prefix(1);
    auto [end, error] = std::from_chars(view.data(), view.data() + view.size(), out);
    return error == std::errc() && end == view.data() + view.size();
}

std::string withoutSlash(const std::string& name)
{
    return !name.empty() && name[0] == '/' ? name.substr(1) : name;
}

bool isWhite(unsigned char c)
{
    return c == ' ' || c == '\n' || c == '\r' || c == '\t' || c == '\f' || c == '\0';
}

bool isDelimiter(unsigned char c)
{
    return isWhite(c) || c == '(' || c == ')' || c == '<' || c == '>' || c == '[' || c == ']' || c == '{' || c == '}'
        || c == '/' || c == '%';
}

} // namespace

struct Scanner::Operands {
    std::vector<Operand> stack;
};

namespace {

// One content walk: the tokens of the decoded content turned into operands
// and operators.
class Walk {
public:
    Walk(Scanner& scanner, std::vector<Operand>& operands, const OperatorTable& table, void* info, const std::string& content)
        : m_scanner(scanner)
        , m_operands(operands)
        , m_table(table)
        , m_info(info)
        , m_content(content)
        , m_tokens(content)
    {
    }

    // False when damage ended the walk.
    bool run()
    {
        for (;;) {
            const QPDFTokenizer::token_type_e type = m_tokens.next();
            switch (type) {
            case QPDFTokenizer::tt_eof:
                return true;
            case QPDFTokenizer::tt_bad:
                return false;
            case QPDFTokenizer::tt_word:
                if (!m_frames.empty())
                    return false; // an operator inside an array or dictionary
                if (!operatorToken(m_tokens.value()))
                    return false;
                break;
            case QPDFTokenizer::tt_array_open:
            case QPDFTokenizer::tt_dict_open:
                if (m_frames.size() >= kMaximumNesting)
                    return false;
                m_frames.push_back({ type == QPDFTokenizer::tt_dict_open, {} });
                break;
            case QPDFTokenizer::tt_array_close:
            case QPDFTokenizer::tt_dict_close:
                if (!closeFrame(type == QPDFTokenizer::tt_dict_close))
                    return false;
                break;
            case QPDFTokenizer::tt_brace_open:
            case QPDFTokenizer::tt_brace_close:
            case QPDFTokenizer::tt_space:
            case QPDFTokenizer::tt_comment:
                break;
            default:
                if (!value(type, m_tokens.value()))
                    return false;
                break;
            }
        }
    }

private:
    struct Frame {
        bool isDictionary;
        std::vector<QPDFObjectHandle> items;
    };

    bool push(Operand operand)
    {
        if (m_operands.size() >= kMaximumOperands)
            return false;
        m_operands.push_back(std::move(operand));
        return true;
    }

    bool pushElement(QPDFObjectHandle object)
    {
        if (++m_elements > kMaximumElements)
            return false;
        m_frames.back().items.push_back(std::move(object));
        return true;
    }

    bool value(QPDFTokenizer::token_type_e type, const std::string& text)
    {
        Operand operand;
        switch (type) {
        case QPDFTokenizer::tt_integer:
            operand.kind = Operand::Number;
            operand.isInteger = parseInteger(text, operand.integer);
            operand.number = operand.isInteger ? double(operand.integer) : detail::parseReal(text);
            break;
        case QPDFTokenizer::tt_real:
            operand.kind = Operand::Number;
            operand.number = detail::parseReal(text);
            break;
        case QPDFTokenizer::tt_name:
            operand.kind = Operand::Name;
            operand.text = withoutSlash(text);
            break;
        case QPDFTokenizer::tt_string:
            operand.kind = Operand::String;
            operand.text = text;
            break;
        case QPDFTokenizer::tt_bool:
            operand.kind = Operand::Boolean;
            operand.isInteger = text == "true";
            break;
        case QPDFTokenizer::tt_null:
            operand.kind = Operand::Null;
            break;
        default:
            return true; // an inline image outside BI/ID cannot occur; nothing else is a value
        }
        if (m_frames.empty())
            return push(std::move(operand));
        // A real inside an array (a text array's kerning) keeps the text it
        // was written as: writing the number out again costs more than
        // everything else the element does.
        if (operand.kind == Operand::Number && !operand.isInteger)
            return pushElement(QPDFObjectHandle::newReal(text));
        return pushElement(toObject(operand));
    }

    bool closeFrame(bool isDictionary)
    {
        // A stray closing bracket is ignored, as readers do.
        if (m_frames.empty())
            return true;
        if (m_frames.back().isDictionary != isDictionary)
            return false;
        Frame frame = std::move(m_frames.back());
        m_frames.pop_back();
        m_elements -= frame.items.size();
        QPDFObjectHandle object;
        if (isDictionary) {
            std::map<std::string, QPDFObjectHandle> entries;
            for (size_t i = 0; i + 1 < frame.items.size(); i += 2) {
                if (frame.items[i].isName())
                    entries[frame.items[i].getName()] = frame.items[i + 1];
            }
            object = QPDFObjectHandle::newDictionary(entries);
        } else {
            object = QPDFObjectHandle::newArray(frame.items);
        }
        if (!m_frames.empty())
            return pushElement(std::move(object));
        Operand operand;
        operand.kind = Operand::Object;
        operand.object = std::move(object);
        return push(std::move(operand));
    }

    bool operatorToken(const std::string& name)
    {
        if (name == "BI") {
            m_operands.clear();
            return true;
        }
        if (name == "ID")
            return inlineImage();
        if (OperatorTable::Callback callback = m_table.callback(name))
            callback(m_scanner, m_info);
        m_operands.clear();
        return true;
    }

    // The image dictionary's entry under its short or long name.
    Operand* imageEntry(const char* shortName, const char* longName)
    {
        for (size_t i = 0; i + 1 < m_operands.size(); i += 2) {
            const Operand& key = m_operands[i];
            if (key.kind == Operand::Name && (key.text == shortName || key.text == longName))
                return &m_operands[i + 1];
        }
        return nullptr;
    }

    // The length of the image data when the dictionary tells it: /L, or
    // the size of unfiltered samples of a known colour space.
    std::optional<size_t> imageDataLength()
    {
        auto integer = [](const Operand* operand) -> std::optional<int64_t> {
            if (!operand || operand->kind != Operand::Number || !operand->isInteger || operand->integer < 0)
                return std::nullopt;
            return operand->integer;
        };
        if (auto length = integer(imageEntry("L", "Length")))
            return size_t(*length);
        if (Operand* filter = imageEntry("F", "Filter")) {
            bool none = filter->kind == Operand::Null
                || (filter->kind == Operand::Object && filter->object.isArray() && filter->object.getArrayNItems() == 0);
            if (!none)
                return std::nullopt;
        }
        auto width = integer(imageEntry("W", "Width"));
        auto height = integer(imageEntry("H", "Height"));
        if (!width || !height || *width > 1000000 || *height > 1000000)
            return std::nullopt;
        int64_t components = 0, bits = 0;
        Operand* mask = imageEntry("IM", "ImageMask");
        if (mask && mask->kind == Operand::Boolean && mask->isInteger) {
            components = 1;
            bits = 1;
        } else {
            auto bpc = integer(imageEntry("BPC", "BitsPerComponent"));
            Operand* space = imageEntry("CS", "ColorSpace");
            if (!bpc || !space)
                return std::nullopt;
            bits = *bpc;
            if (space->kind == Operand::Name) {
                const std::string& name = space->text;
                if (name == "G" || name == "DeviceGray" || name == "I" || name == "Indexed")
                    components = 1;
                else if (name == "RGB" || name == "DeviceRGB")
                    components = 3;
                else if (name == "CMYK" || name == "DeviceCMYK")
                    components = 4;
            } else if (space->kind == Operand::Object && space->object.isArray() && space->object.getArrayNItems() > 0) {
                QPDFObjectHandle family = space->object.getArrayItem(0);
                if (family.isName() && (family.getName() == "/I" || family.getName() == "/Indexed"))
                    components = 1;
            }
        }
        if (components == 0 || bits < 1 || bits > 16)
            return std::nullopt;
        int64_t rowBytes = (*width * components * bits + 7) / 8;
        return size_t(rowBytes * *height);
    }

    // Skips the data after ID: by its length when the dictionary gives one
    // and "EI" stands right after it, else up to the first "EI" that looks
    // like the end of the image.
    bool inlineImage()
    {
        size_t start = m_tokens.position();
        // One white-space byte separates ID from the data.
        if (start < m_content.size() && isWhite(m_content[start]))
            ++start;
        if (auto length = imageDataLength(); length && *length <= m_content.size() - start) {
            size_t position = start + *length;
            while (position < m_content.size() && isWhite(m_content[position]))
                ++position;
            if (m_content.compare(position, 2, "EI") == 0
                && (position + 2 == m_content.size() || isDelimiter(m_content[position + 2]))) {
                m_tokens.seek(position + 2);
                m_operands.clear();
                return true;
            }
        }
        m_operands.clear();
        m_tokens.seek(start);
        if (m_tokens.inlineImage() != QPDFTokenizer::tt_inline_image)
            return false;
        return m_tokens.next() == QPDFTokenizer::tt_word && m_tokens.value() == "EI";
    }

    static QPDFObjectHandle toObject(const Operand& operand)
    {
        switch (operand.kind) {
        case Operand::Number:
            return operand.isInteger ? QPDFObjectHandle::newInteger(operand.integer) : QPDFObjectHandle::newReal(operand.number, 6);
        case Operand::Name:
            return QPDFObjectHandle::newName(detail::slashed(operand.text));
        case Operand::String:
            return QPDFObjectHandle::newString(operand.text);
        case Operand::Boolean:
            return QPDFObjectHandle::newBool(operand.isInteger);
        case Operand::Object:
            return operand.object;
        case Operand::Null:
            break;
        }
        return QPDFObjectHandle::newNull();
    }

    friend class pdf::Scanner;

    Scanner& m_scanner;
    std::vector<Operand>& m_operands;
    const OperatorTable& m_table;
    void* m_info;
    const std::string& m_content;
    detail::ContentTokens m_tokens;
    std::vector<Frame> m_frames;
    size_t m_elements = 0;
};

// The page's content streams (or the form's one) decoded one after the
// other, a line break between two, as far as they decode and no further
// than the limit.
bool decodeContents(QPDFObjectHandle contents, std::string& content, size_t limit)
{
    std::vector<QPDFObjectHandle> streams;
    if (contents.isStream()) {
        streams.push_back(contents);
    } else if (contents.isArray()) {
        for (int i = 0, n = contents.getArrayNItems(); i < n; ++i) {
            QPDFObjectHandle item = contents.getArrayItem(i);
            if (item.isStream())
                streams.push_back(item);
        }
    }
    bool complete = true;
    for (QPDFObjectHandle& stream : streams) {
        if (!content.empty())
            content += '\n';
        detail::LimitedBuffer buffer(content, limit);
        try {
            if (!stream.pipeStreamData(&buffer, 0, qpdf_dl_generalized, true, false))
                complete = false;
        } catch (const std::exception&) {
            complete = false;
        }
        if (buffer.overflowed())
            return false;
    }
    return complete;
}

} // namespace

Scanner::Scanner(const Page& page, const OperatorTable& table, void* info)
    : m_page(page)
    , m_table(table)
    , m_info(info)
    , m_operands(std::make_unique<Operands>())
{
}

Scanner::Scanner(const Stream& form, const Scanner& parent, const OperatorTable& table, void* info)
    : m_page(parent.m_page)
    , m_form(std::make_unique<Stream>(form))
    , m_parent(&parent)
    , m_table(table)
    , m_info(info)
    , m_operands(std::make_unique<Operands>())
{
}

Scanner::~Scanner() = default;

bool Scanner::scan()
{
    const auto& document = HandleAccess::document(m_page);
    if (!m_page || !document)
        return false;
    auto lock = detail::lock(document);
    m_operands->stack.clear();
    std::string content;
    bool complete;
    try {
        // The page's reading stays while its content is read.
        detail::PageObject page;
        if (!m_form)
            page = HandleAccess::pageObject(m_page);
        QPDFObjectHandle contents = m_form ? HandleAccess::object(*m_form) : page.object.getKey("/Contents");
        complete = decodeContents(contents, content, m_contentLimit);
    } catch (const std::exception&) {
        complete = false;
    }
    m_contentBytes = content.size();
    bool walked = false;
    try {
        walked = Walk(*this, m_operands->stack, m_table, m_info, content).run();
    } catch (const std::exception& error) {
        core::log("Warning, page {} content ended: {}", m_page.pageNumber(), error.what());
        m_operands->stack.clear();
        return false;
    }
    m_operands->stack.clear();
    if (!walked || !complete) {
        core::log("Warning, {} page {} is damaged; its scan ended early", m_form ? "a form drawn on" : "the content of",
            m_page.pageNumber());
        return false;
    }
    return true;
}

namespace {

template<typename Take> bool pop(std::vector<Operand>& stack, Take take)
{
    if (stack.empty() || !take(stack.back()))
        return false;
    stack.pop_back();
    return true;
}

} // namespace

bool Scanner::popNumber(double& out)
{
    return pop(m_operands->stack, [&](Operand& operand) {
        if (operand.kind != Operand::Number)
            return false;
        out = operand.number;
        return true;
    });
}

bool Scanner::popName(std::string& out)
{
    return pop(m_operands->stack, [&](Operand& operand) {
        if (operand.kind != Operand::Name)
            return false;
        out = std::move(operand.text);
        return true;
    });
}

bool Scanner::popString(String& out)
{
    return pop(m_operands->stack, [&](Operand& operand) {
        if (operand.kind != Operand::String)
            return false;
        out = String(std::move(operand.text));
        return true;
    });
}

bool Scanner::popArray(Array& out)
{
    // Operands come from the content, not from any reading of the file.
    const auto& document = HandleAccess::document(m_page);
    return pop(m_operands->stack, [&](Operand& operand) {
        if (operand.kind != Operand::Object || !operand.object.isArray())
            return false;
        out = HandleAccess::wrap<Array>(document ? document->reading : nullptr, operand.object);
        return true;
    });
}

bool Scanner::popObject(Object& out)
{
    const auto& document = HandleAccess::document(m_page);
    return pop(m_operands->stack, [&](Operand& operand) {
        out = HandleAccess::wrap<Object>(document ? document->reading : nullptr, Walk::toObject(operand));
        return true;
    });
}

bool Scanner::resource(std::string_view category, std::string_view name, Object& out) const
{
    const auto& document = HandleAccess::document(m_page);
    if (!m_page || !document)
        return false;
    auto lock = detail::lock(document);
    bool found = false;
    try {
        std::string categoryKey = detail::slashed(category), nameKey = detail::slashed(name);
        if (m_form) {
            QPDFObjectHandle form = HandleAccess::object(*m_form);
            QPDFObjectHandle resources = form.getDict().getKey("/Resources");
            QPDFObjectHandle group = resources.isDictionary() ? resources.getKey(categoryKey) : QPDFObjectHandle::newNull();
            QPDFObjectHandle value = group.isDictionary() ? group.getKey(nameKey) : QPDFObjectHandle::newNull();
            if (!value.isNull()) {
                out = HandleAccess::wrap<Object>(HandleAccess::document(*m_form), value);
                return true;
            }
            return m_parent->resource(category, name, out);
        }
        detail::PageObject page = HandleAccess::pageObject(m_page);
        detail::walkUp(page.object, [&](QPDFObjectHandle node) {
            QPDFObjectHandle resources = node.getKey("/Resources");
            if (!resources.isDictionary())
                return false;
            QPDFObjectHandle group = resources.getKey(categoryKey);
            if (!group.isDictionary())
                return false;
            QPDFObjectHandle value = group.getKey(nameKey);
            if (value.isNull())
                return false;
            out = HandleAccess::wrap<Object>(page.reading, value);
            return found = true;
        });
    } catch (const std::exception&) {
        return false;
    }
    return found;
}

} // namespace pdf
