#include "Support/PdfBuilder.h"

#include <qpdf/QPDF.hh>
#include <qpdf/QPDFObjectHandle.hh>
#include <qpdf/QPDFWriter.hh>

#include <fmt/format.h>
#include <fstream>
#include <map>
#include <set>
#include <stdexcept>
#include <zlib.h>

namespace test {

struct PdfBuilder::State {
    QPDF qpdf;
    int root = 0;
    // Page-tree nodes and their kids in order (pages and nodes).
    std::map<int, std::vector<int>> kids;
    // Nodes whose /Count the test gave itself.
    std::set<int> givenCounts;

    QPDFObjectHandle object(int number) { return qpdf.getObjectByID(number, 0); }
    // Parsed inside an array, so that a bare "N 0 R" reads as a reference.
    QPDFObjectHandle parse(const std::string& syntax)
    {
        return QPDFObjectHandle::parse(&qpdf, "[" + syntax + "]", "test object").getArrayItem(0);
    }
    int add(QPDFObjectHandle object) { return qpdf.makeIndirectObject(object).getObjectID(); }

    // Fills in /Kids and /Count below a node; answers its leaf count.
    int finish(int node)
    {
        int count = 0;
        QPDFObjectHandle array = QPDFObjectHandle::newArray();
        for (int kid : kids[node]) {
            array.appendItem(object(kid));
            count += kids.count(kid) ? finish(kid) : 1;
        }
        QPDFObjectHandle dictionary = object(node);
        dictionary.replaceKey("/Kids", array);
        if (!givenCounts.count(node))
            dictionary.replaceKey("/Count", QPDFObjectHandle::newInteger(count));
        return count;
    }

    int outline(const std::vector<OutlineItem>& items, int parent, int& first, int& last)
    {
        std::vector<int> numbers;
        int total = 0;
        for (const OutlineItem& item : items) {
            std::string syntax = fmt::format("<< /Title ({}) /Parent {} 0 R {}", item.title, parent, item.entries);
            if (!item.destination.empty())
                syntax += " /Dest " + item.destination;
            numbers.push_back(add(parse(syntax + " >>")));
        }
        for (size_t i = 0; i < items.size(); ++i) {
            QPDFObjectHandle node = object(numbers[i]);
            if (i > 0)
                node.replaceKey("/Prev", object(numbers[i - 1]));
            if (i + 1 < items.size())
                node.replaceKey("/Next", object(numbers[i + 1]));
            int childFirst = 0, childLast = 0;
            int below = outline(items[i].children, numbers[i], childFirst, childLast);
            if (childFirst) {
                node.replaceKey("/First", object(childFirst));
                node.replaceKey("/Last", object(childLast));
                node.replaceKey("/Count", QPDFObjectHandle::newInteger(below));
            }
            total += 1 + below;
        }
        first = numbers.empty() ? 0 : numbers.front();
        last = numbers.empty() ? 0 : numbers.back();
        return total;
    }
};

PdfBuilder::PdfBuilder()
    : m_state(std::make_unique<State>())
{
    m_state->qpdf.emptyPDF();
    m_state->qpdf.setSuppressWarnings(true);
    m_state->root = m_state->qpdf.getRoot().getKey("/Pages").getObjectID();
    m_state->kids[m_state->root];
}

PdfBuilder::~PdfBuilder() = default;

int PdfBuilder::rootPages() const
{
    return m_state->root;
}

int PdfBuilder::addPage(const PageDescription& description)
{
    int parent = description.parent ? description.parent : m_state->root;
    int number = addObject(fmt::format("<< /Type /Page /Parent {} 0 R {} >>", parent, description.entries));
    QPDFObjectHandle page = m_state->object(number);
    if (description.contents.size() == 1) {
        page.replaceKey("/Contents", m_state->object(addStream("", description.contents[0])));
    } else if (description.contents.size() > 1) {
        QPDFObjectHandle array = QPDFObjectHandle::newArray();
        for (const std::string& content : description.contents)
            array.appendItem(m_state->object(addStream("", content)));
        page.replaceKey("/Contents", array);
    }
    m_state->kids[parent].push_back(number);
    return number;
}

int PdfBuilder::addPage(std::string contents, std::string entries)
{
    PageDescription description;
    description.entries = std::move(entries);
    if (!contents.empty())
        description.contents.push_back(std::move(contents));
    return addPage(description);
}

int PdfBuilder::addPages(int parent, std::string entries)
{
    parent = parent ? parent : m_state->root;
    int number = addObject(fmt::format("<< /Type /Pages /Parent {} 0 R {} >>", parent, entries));
    m_state->kids[parent].push_back(number);
    m_state->kids[number];
    if (entries.find("/Count") != std::string::npos)
        m_state->givenCounts.insert(number);
    return number;
}

int PdfBuilder::addObject(const std::string& syntax)
{
    return m_state->add(m_state->parse(syntax));
}

void PdfBuilder::setObject(int number, const std::string& syntax)
{
    m_state->qpdf.replaceObject(QPDFObjGen(number, 0), m_state->parse(syntax));
}

int PdfBuilder::addStream(const std::string& entries, const std::string& data)
{
    QPDFObjectHandle stream = QPDFObjectHandle::newStream(&m_state->qpdf, data);
    if (!entries.empty()) {
        QPDFObjectHandle dictionary = m_state->parse("<< " + entries + " >>");
        for (const std::string& key : dictionary.getKeys())
            stream.getDict().replaceKey(key, dictionary.getKey(key));
    }
    return stream.getObjectID();
}

void PdfBuilder::setStreamEntries(int number, const std::string& entries)
{
    QPDFObjectHandle stream = m_state->qpdf.getObjectByID(number, 0);
    QPDFObjectHandle dictionary = m_state->parse("<< " + entries + " >>");
    for (const std::string& key : dictionary.getKeys())
        stream.getDict().replaceKey(key, dictionary.getKey(key));
}

void PdfBuilder::setCatalogEntry(const std::string& key, const std::string& syntax)
{
    m_state->qpdf.getRoot().replaceKey("/" + key, m_state->parse(syntax));
}

void PdfBuilder::addAnnotation(int page, const std::string& syntax)
{
    QPDFObjectHandle dictionary = m_state->object(page);
    if (!dictionary.hasKey("/Annots"))
        dictionary.replaceKey("/Annots", QPDFObjectHandle::newArray());
    dictionary.getKey("/Annots").appendItem(m_state->object(addObject(syntax)));
}

int PdfBuilder::addStandardFont(const std::string& baseFont, const std::string& encoding)
{
    return addObject(fmt::format("<< /Type /Font /Subtype /Type1 /BaseFont /{} /Encoding /{} >>", baseFont, encoding));
}

int PdfBuilder::addIdentityFont(const std::string& baseFont, const std::vector<std::pair<int, std::string>>& toUnicode, int defaultWidth)
{
    std::string cmap = "/CIDInit /ProcSet findresource begin\n12 dict begin\nbegincmap\n"
                       "/CIDSystemInfo << /Registry (Adobe) /Ordering (UCS) /Supplement 0 >> def\n"
                       "/CMapName /Adobe-Identity-UCS def\n/CMapType 2 def\n"
                       "1 begincodespacerange\n<0000> <FFFF>\nendcodespacerange\n";
    for (size_t i = 0; i < toUnicode.size(); i += 100) {
        size_t n = std::min<size_t>(100, toUnicode.size() - i);
        cmap += fmt::format("{} beginbfchar\n", n);
        for (size_t j = i; j < i + n; ++j)
            cmap += fmt::format("<{:04X}> <{}>\n", toUnicode[j].first, toUnicode[j].second);
        cmap += "endbfchar\n";
    }
    cmap += "endcmap\nCMapName currentdict /CMap defineresource pop\nend\nend\n";
    int map = addStream("", cmap);
    int descriptor = addObject(fmt::format("<< /Type /FontDescriptor /FontName /{} /Flags 32 /FontBBox [-200 -250 1200 900] "
                                           "/ItalicAngle 0 /Ascent 900 /Descent -250 /CapHeight 700 /StemV 80 >>",
        baseFont));
    int descendant = addObject(fmt::format("<< /Type /Font /Subtype /CIDFontType2 /BaseFont /{} "
                                           "/CIDSystemInfo << /Registry (Adobe) /Ordering (Identity) /Supplement 0 >> "
                                           "/FontDescriptor {} 0 R /DW {} /CIDToGIDMap /Identity >>",
        baseFont, descriptor, defaultWidth));
    return addObject(fmt::format("<< /Type /Font /Subtype /Type0 /BaseFont /{} /Encoding /Identity-H "
                                 "/DescendantFonts [{} 0 R] /ToUnicode {} 0 R >>",
        baseFont, descendant, map));
}

void PdfBuilder::setOutline(const std::vector<OutlineItem>& items)
{
    int outlines = addObject("<< /Type /Outlines >>");
    int first = 0, last = 0;
    int count = m_state->outline(items, outlines, first, last);
    QPDFObjectHandle root = m_state->object(outlines);
    if (first) {
        root.replaceKey("/First", m_state->object(first));
        root.replaceKey("/Last", m_state->object(last));
    }
    root.replaceKey("/Count", QPDFObjectHandle::newInteger(count));
    m_state->qpdf.getRoot().replaceKey("/Outlines", root);
}

void PdfBuilder::setNamedDestinations(const std::vector<std::pair<std::string, std::string>>& names, size_t perLeaf)
{
    auto leaf = [&](size_t begin, size_t end, bool limits) {
        std::string syntax = "<< /Names [";
        for (size_t i = begin; i < end; ++i)
            syntax += fmt::format(" ({}) {}", names[i].first, names[i].second);
        syntax += " ]";
        if (limits)
            syntax += fmt::format(" /Limits [({}) ({})]", names[begin].first, names[end - 1].first);
        return addObject(syntax + " >>");
    };
    int tree;
    if (names.size() <= perLeaf) {
        tree = leaf(0, names.size(), false);
    } else {
        std::string kids;
        for (size_t i = 0; i < names.size(); i += perLeaf)
            kids += fmt::format(" {} 0 R", leaf(i, std::min(names.size(), i + perLeaf), true));
        tree = addObject("<< /Kids [" + kids + " ] >>");
    }
    setCatalogEntry("Names", fmt::format("<< /Dests {} 0 R >>", tree));
}

std::string PdfBuilder::flateBomb(size_t bytes)
{
    // After a full flush the compressor starts afresh, so compressing the
    // same block again gives the same bytes: one block, repeated.
    const std::string zeros(size_t(1) << 20, '\0');
    z_stream stream {};
    deflateInit(&stream, Z_BEST_COMPRESSION);
    std::string output(deflateBound(&stream, zeros.size()) + 64, '\0');
    auto compress = [&](int flush) {
        stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(zeros.data()));
        stream.avail_in = uInt(zeros.size());
        stream.next_out = reinterpret_cast<Bytef*>(output.data());
        stream.avail_out = uInt(output.size());
        deflate(&stream, flush);
        return output.substr(0, output.size() - stream.avail_out);
    };
    std::string first = compress(Z_FULL_FLUSH); // holds the zlib header
    std::string block = compress(Z_FULL_FLUSH);
    deflateEnd(&stream);
    std::string result = first;
    for (size_t total = zeros.size(); total < bytes; total += zeros.size())
        result += block;
    return result;
}

std::string PdfBuilder::buildString(const std::optional<Encryption>& encryption, bool compress)
{
    m_state->finish(m_state->root);
    QPDFWriter writer(m_state->qpdf);
    writer.setOutputMemory();
    writer.setStaticID(true);
    writer.setDecodeLevel(qpdf_dl_none);
    writer.setCompressStreams(compress);
    if (encryption) {
        const char* user = encryption->userPassword.c_str();
        const char* owner = encryption->ownerPassword.c_str();
        switch (encryption->kind) {
        case Encryption::RC4_40:
            writer.setR2EncryptionParametersInsecure(user, owner, true, true, true, true);
            break;
        case Encryption::RC4_128:
            writer.setR3EncryptionParametersInsecure(user, owner, true, true, true, true, true, true, qpdf_r3p_full);
            break;
        case Encryption::AES_128:
            writer.setR4EncryptionParametersInsecure(user, owner, true, true, true, true, true, true, qpdf_r3p_full, true, true);
            break;
        case Encryption::AES_256:
            writer.setR6EncryptionParameters(user, owner, true, true, true, true, true, true, qpdf_r3p_full, true);
            break;
        }
    }
    writer.write();
    std::shared_ptr<Buffer> buffer = writer.getBufferSharedPointer();
    return std::string(reinterpret_cast<const char*>(buffer->getBuffer()), buffer->getSize());
}

core::Data PdfBuilder::build(const std::optional<Encryption>& encryption, bool compress)
{
    return core::Data(buildString(encryption, compress));
}

void PdfBuilder::write(const std::string& path, const std::optional<Encryption>& encryption)
{
    std::ofstream out(path, std::ios::binary);
    out << buildString(encryption);
    if (!out)
        throw std::runtime_error("cannot write " + path);
}

} // namespace test
