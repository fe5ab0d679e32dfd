#include "RTF/HTMLNesting.h"

#include <algorithm>
#include <cctype>
#include <map>
#include <vector>

namespace rtf {

// Named rather than anonymous: the library is built in batches of files.
namespace nesting {

    enum class Kind { Text, Comment, Open, Close, Void };

    struct Token {
        Kind kind = Kind::Text;
        std::string_view raw;
        std::string_view name;
    };

    bool isOneOf(std::string_view name, std::initializer_list<std::string_view> names)
    {
        return std::find(names.begin(), names.end(), name) != names.end();
    }

    bool isVoid(std::string_view name)
    {
        // A paragraph element stands between pages as a separator.
        return isOneOf(name, { "meta", "br", "hr", "img", "p", "input", "col", "wbr", "link", "area", "base" });
    }

    bool isCell(std::string_view name) { return name == "td" || name == "th"; }
    bool isTablePart(std::string_view name) { return name == "table" || name == "tr" || isCell(name); }
    bool isBlock(std::string_view name)
    {
        return isOneOf(name, { "div", "ul", "ol", "li", "blockquote", "center", "pre", "h1", "h2", "h3", "h4", "h5", "h6" });
    }

    bool isBlank(std::string_view text)
    {
        return text.find_first_not_of(" \t\r\n") == std::string_view::npos;
    }

    // The next token of `html` from `at`, which it moves past.
    Token nextToken(std::string_view html, size_t& at)
    {
        Token token;
        size_t start = at;
        if (html[at] != '<') {
            at = std::min(html.find('<', at), html.size());
            token.raw = html.substr(start, at - start);
            return token;
        }
        if (html.compare(at, 4, "<!--") == 0) {
            size_t end = html.find("-->", at + 4);
            at = end == std::string_view::npos ? html.size() : end + 3;
            token.kind = Kind::Comment;
            token.raw = html.substr(start, at - start);
            return token;
        }
        size_t end = html.find('>', at);
        at = end == std::string_view::npos ? html.size() : end + 1;
        token.raw = html.substr(start, at - start);
        bool closing = token.raw.size() > 1 && token.raw[1] == '/';
        size_t nameStart = closing ? 2 : 1;
        size_t nameEnd = nameStart;
        while (nameEnd < token.raw.size() && std::isalnum(static_cast<unsigned char>(token.raw[nameEnd])))
            ++nameEnd;
        token.name = token.raw.substr(nameStart, nameEnd - nameStart);
        if (token.name.empty())
            token.kind = Kind::Text; // a lone "<" written as it was
        else if (closing)
            token.kind = Kind::Close;
        else
            token.kind = isVoid(token.name) ? Kind::Void : Kind::Open;
        return token;
    }

    class Balancer {
    public:
        explicit Balancer(std::string& out) : m_out(out) { }

        void process(const Token& token);
        // Closes everything open, before a trailing line end.
        void closeAll();

    private:
        struct Element {
            std::string_view name;
            std::string_view raw;
            // Where its opening tag stands in the output.
            size_t at = 0;
            // Its end came while a paragraph inside it was open: it ends
            // with that paragraph.
            bool endedBehind = false;
            // For a table: the inline elements closed before it, to open
            // again after it, and what stood between its cells.
            std::vector<Element> suspended {};
            std::vector<Token> pending {};
        };

        bool inTableContext() const { return !m_open.empty() && (m_open.back().name == "table" || m_open.back().name == "tr"); }
        void open(std::string_view name, std::string_view raw);
        // Ends the innermost element with its own end tag, or one written
        // for it, and the elements whose end came behind it.
        void pop(std::string_view raw = {});
        void popUntil(size_t index);
        // The index of the innermost open element named so, not looking
        // past `boundary` elements; npos when none.
        template<typename Boundary>
        size_t find(std::string_view name, Boundary boundary) const;
        Element* innermostTable();
        void openTable(const Token& token);
        void closeTable(std::string_view raw = {});
        void openRow(const Token& token);
        void openCell(const Token& token);
        void closeElement(const Token& token);
        void replay(std::vector<Token> tokens);

        std::string& m_out;
        std::vector<Element> m_open;
        // Opening tags dropped past the depth, by name: their ends go too.
        std::map<std::string_view, size_t> m_dropped;
    };

    void Balancer::open(std::string_view name, std::string_view raw)
    {
        m_open.push_back({ .name = name, .raw = raw, .at = m_out.size() });
        m_out += raw;
    }

    void Balancer::pop(std::string_view raw)
    {
        if (raw.empty()) {
            m_out += "</";
            m_out += m_open.back().name;
            m_out += '>';
        } else {
            m_out += raw;
        }
        m_open.pop_back();
        while (!m_open.empty() && m_open.back().endedBehind) {
            m_out += "</";
            m_out += m_open.back().name;
            m_out += '>';
            m_open.pop_back();
        }
    }

    void Balancer::popUntil(size_t index)
    {
        while (m_open.size() > index)
            pop();
    }

    template<typename Boundary>
    size_t Balancer::find(std::string_view name, Boundary boundary) const
    {
        for (size_t i = m_open.size(); i-- > 0;) {
            if (m_open[i].name == name)
                return i;
            if (boundary(m_open[i].name))
                return std::string_view::npos;
        }
        return std::string_view::npos;
    }

    Balancer::Element* Balancer::innermostTable()
    {
        for (size_t i = m_open.size(); i-- > 0;) {
            if (m_open[i].name == "table")
                return &m_open[i];
        }
        return nullptr;
    }

    void Balancer::openTable(const Token& token)
    {
        // A table needs a cell in a table around it.
        if (inTableContext()) {
            if (m_open.back().name == "table")
                open("tr", "<tr>");
            open("td", "<td>");
        }
        // A paragraph opened just before the table is its first cell's.
        std::vector<Token> pending;
        if (!m_open.empty() && m_open.back().name == "div"
            && isBlank(std::string_view(m_out).substr(m_open.back().at + m_open.back().raw.size()))) {
            const Element& paragraph = m_open.back();
            std::string blank = m_out.substr(paragraph.at + paragraph.raw.size());
            pending.push_back({ Kind::Open, paragraph.raw, paragraph.name });
            m_out.resize(paragraph.at);
            m_out += blank;
            m_open.pop_back();
        }
        std::vector<Element> suspended;
        while (!m_open.empty() && !isBlock(m_open.back().name) && !isTablePart(m_open.back().name)) {
            suspended.push_back({ .name = m_open.back().name, .raw = m_open.back().raw });
            pop();
        }
        std::reverse(suspended.begin(), suspended.end());
        open(token.name, token.raw);
        m_open.back().suspended = std::move(suspended);
        m_open.back().pending = std::move(pending);
    }

    void Balancer::closeTable(std::string_view raw)
    {
        size_t index = find("table", [](std::string_view) { return false; });
        if (index == std::string_view::npos)
            return;
        std::vector<Element> suspended = std::move(m_open[index].suspended);
        std::vector<Token> pending = std::move(m_open[index].pending);
        popUntil(index + 1);
        pop(raw);
        for (const Element& element : suspended) {
            if (m_open.size() < HTMLNesting::kMaxDepth)
                open(element.name, element.raw);
            else
                ++m_dropped[element.name];
        }
        replay(std::move(pending));
    }

    void Balancer::openRow(const Token& token)
    {
        size_t table = find("table", [](std::string_view) { return false; });
        if (table == std::string_view::npos) {
            open("table", "<table>\n");
            table = m_open.size() - 1;
        }
        popUntil(table + 1);
        open(token.name, token.raw);
    }

    void Balancer::openCell(const Token& token)
    {
        size_t row = find("tr", [](std::string_view name) { return name == "table"; });
        if (row == std::string_view::npos) {
            size_t table = find("table", [](std::string_view) { return false; });
            if (table == std::string_view::npos) {
                open("table", "<table>\n");
                table = m_open.size() - 1;
            }
            popUntil(table + 1);
            open("tr", "<tr>");
        } else {
            popUntil(row + 1);
        }
        open(token.name, token.raw);
        std::vector<Token> pending = std::move(innermostTable()->pending);
        replay(std::move(pending));
    }

    void Balancer::closeElement(const Token& token)
    {
        std::string_view name = token.name;
        if (auto dropped = m_dropped.find(name); dropped != m_dropped.end() && dropped->second > 0) {
            --dropped->second;
            return;
        }
        if (name == "table") {
            closeTable(token.raw);
            return;
        }
        if (name == "tr" || isCell(name)) {
            auto boundary = [&](std::string_view open) { return open == "table" || (isCell(name) && open == "tr"); };
            size_t index = find(name, boundary);
            if (index != std::string_view::npos) {
                popUntil(index + 1);
                pop(token.raw);
            }
            return;
        }
        // Inline and block elements end within their cell.
        size_t index = find(name, [](std::string_view open) { return isTablePart(open); });
        if (index == std::string_view::npos) {
            // An element closed before a table that it spans ends there.
            for (size_t i = m_open.size(); i-- > 0;) {
                auto& suspended = m_open[i].suspended;
                auto found = std::find_if(suspended.rbegin(), suspended.rend(), [&](const Element& e) { return e.name == name; });
                if (found != suspended.rend()) {
                    suspended.erase(std::next(found).base());
                    return;
                }
            }
            return;
        }
        bool behindBlock = !isBlock(name)
            && std::any_of(m_open.begin() + static_cast<std::ptrdiff_t>(index) + 1, m_open.end(),
                [](const Element& e) { return isBlock(e.name); });
        if (behindBlock) {
            m_open[index].endedBehind = true;
            return;
        }
        // Inline elements opened inside it end with it and open again after.
        std::vector<Element> reopened;
        for (size_t i = index + 1; i < m_open.size(); ++i) {
            if (!isBlock(m_open[i].name) && !m_open[i].endedBehind)
                reopened.push_back({ .name = m_open[i].name, .raw = m_open[i].raw });
        }
        popUntil(index + 1);
        pop(token.raw);
        for (const Element& element : reopened)
            open(element.name, element.raw);
    }

    void Balancer::replay(std::vector<Token> tokens)
    {
        for (const Token& token : tokens)
            process(token);
    }

    void Balancer::process(const Token& token)
    {
        switch (token.kind) {
        case Kind::Comment:
            m_out += token.raw;
            return;
        case Kind::Text:
        case Kind::Void:
            if (inTableContext() && !(token.kind == Kind::Text && isBlank(token.raw)))
                innermostTable()->pending.push_back(token);
            else
                m_out += token.raw;
            return;
        case Kind::Open:
            if (m_open.size() >= HTMLNesting::kMaxDepth) {
                ++m_dropped[token.name];
                return;
            }
            if (token.name == "table")
                openTable(token);
            else if (token.name == "tr")
                openRow(token);
            else if (isCell(token.name))
                openCell(token);
            else if (inTableContext())
                innermostTable()->pending.push_back(token);
            else
                open(token.name, token.raw);
            return;
        case Kind::Close:
            if (inTableContext() && !isTablePart(token.name))
                innermostTable()->pending.push_back(token);
            else
                closeElement(token);
            return;
        }
    }

    void Balancer::closeAll()
    {
        bool lineEnd = !m_out.empty() && m_out.back() == '\n';
        if (m_open.empty())
            return;
        if (lineEnd)
            m_out.pop_back();
        // Tables first give back what stood after their last cell.
        while (innermostTable())
            closeTable();
        while (!m_open.empty())
            pop();
        if (lineEnd && (m_out.empty() || m_out.back() != '\n'))
            m_out += '\n';
    }

} // namespace nesting

using namespace nesting;

std::string HTMLNesting::balanced(std::string_view html)
{
    std::string out;
    out.reserve(html.size() + html.size() / 16);
    size_t at = 0;
    // The head passes as it is.
    size_t body = html.find("<body");
    if (body == std::string_view::npos)
        return std::string(html);
    body = html.find('>', body);
    if (body == std::string_view::npos)
        return std::string(html);
    out.append(html.substr(0, body + 1));
    at = body + 1;
    Balancer balancer(out);
    while (at < html.size()) {
        Token token = nextToken(html, at);
        if (token.kind == nesting::Kind::Close && (token.name == "body" || token.name == "html")) {
            balancer.closeAll();
            out += token.raw;
            out.append(html.substr(at));
            return out;
        }
        balancer.process(token);
    }
    balancer.closeAll();
    return out;
}

} // namespace rtf
