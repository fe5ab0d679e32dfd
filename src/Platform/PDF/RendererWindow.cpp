#include "Platform/PDF/RendererWindow.h"

#include "Platform/PDF/DocumentState.h"
#include "Platform/PDF/PageTree.h"

#include <fmt/format.h>
#include <qpdf/QPDFObjectHandle.hh>

#include <algorithm>
#include <charconv>
#include <vector>

namespace pdf::detail {

namespace {

// Pages' dictionaries are small; inherited attributes written out in each
// page could make them large (a long array in a parent node).
constexpr size_t kMostUpdateBytes = 4 << 20;

// The offset after the file's last "startxref"; -1 when none is found.
long long lastCrossReferenceOffset(std::string_view bytes)
{
    constexpr size_t kTail = 2048;
    std::string_view tail = bytes.substr(bytes.size() > kTail ? bytes.size() - kTail : 0);
    size_t at = tail.rfind("startxref");
    if (at == std::string_view::npos)
        return -1;
    at += 9;
    while (at < tail.size() && (tail[at] == ' ' || tail[at] == '\r' || tail[at] == '\n' || tail[at] == '\t'))
        ++at;
    long long offset = -1;
    auto [end, error] = std::from_chars(tail.data() + at, tail.data() + tail.size(), offset);
    if (error != std::errc() || end == tail.data() + at || offset < 0 || size_t(offset) >= bytes.size())
        return -1;
    return offset;
}

// `dictionary` written out with `extra` entries before its end.
std::string withEntries(QPDFObjectHandle dictionary, const std::string& extra)
{
    std::string text = dictionary.unparse();
    size_t end = text.rfind(">>");
    if (end == std::string::npos)
        return {};
    text.insert(end, extra + " ");
    return text;
}

} // namespace

std::string rendererWindow(QPDF& qpdf, PageTree& pages, std::string_view bytes, int first, int& count)
{
    try {
        if (count < 1 || first < 1 || qpdf.anyWarnings())
            return {};
        QPDFObjectHandle trailer = qpdf.getTrailer();
        QPDFObjectHandle root = qpdf.getRoot();
        long long previous = lastCrossReferenceOffset(bytes);
        if (trailer.hasKey("/Encrypt") || !root.isIndirect() || !trailer.getKey("/Size").isInteger() || previous < 0)
            return {};
        long long size = trailer.getKey("/Size").getIntValue();
        if (size < 1 || size >= 8388607)
            return {};
        const int pagesNode = int(size);

        struct Written {
            QPDFObjGen object;
            size_t offset;
        };
        std::vector<Written> written;
        std::vector<QPDFObjGen> kids;
        std::string update = "\n";
        auto add = [&](QPDFObjGen object, const std::string& body) {
            written.push_back({ object, bytes.size() + update.size() });
            update += fmt::format("{} {} obj\n{}\nendobj\n", object.getObj(), object.getGen(), body);
            return update.size() <= kMostUpdateBytes;
        };
        static const char* const kInherited[] = { "/Resources", "/MediaBox", "/CropBox", "/Rotate" };
        for (int n = first; n < first + count; ++n) {
            QPDFObjectHandle page = pages.page(n);
            if (page.isNull())
                break;
            if (!page.isIndirect() || !page.isDictionary())
                return {};
            QPDFObjGen object = page.getObjGen();
            kids.push_back(object);
            if (std::any_of(written.begin(), written.end(), [&](const Written& w) { return w.object == object; }))
                continue;
            QPDFObjectHandle copy = page.shallowCopy();
            std::string extra = fmt::format("/Parent {} 0 R", pagesNode);
            for (const char* key : kInherited) {
                if (copy.hasKey(key))
                    continue;
                walkUp(page.getKey("/Parent"), [&](QPDFObjectHandle node) {
                    if (!node.hasKey(key))
                        return false;
                    extra += fmt::format(" {} {}", key, node.getKey(key).unparse());
                    return true;
                });
            }
            copy.removeKey("/Parent");
            std::string body = withEntries(copy, extra);
            if (body.empty() || !add(object, body))
                return {};
        }
        if (kids.empty())
            return {};
        std::string kidList;
        for (const QPDFObjGen& kid : kids)
            kidList += fmt::format("{} {} R ", kid.getObj(), kid.getGen());
        if (!add(QPDFObjGen(pagesNode, 0), fmt::format("<< /Type /Pages /Kids [ {}] /Count {} >>", kidList, kids.size())))
            return {};
        QPDFObjectHandle catalog = root.shallowCopy();
        catalog.removeKey("/Pages");
        std::string catalogBody = withEntries(catalog, fmt::format("/Pages {} 0 R", pagesNode));
        if (catalogBody.empty() || !add(root.getObjGen(), catalogBody))
            return {};

        size_t table = bytes.size() + update.size();
        update += "xref\n";
        for (const Written& w : written)
            update += fmt::format("{} 1\n{:010} {:05} n\r\n", w.object.getObj(), w.offset, w.object.getGen());
        std::string extra;
        for (const char* key : { "/Info", "/ID" }) {
            if (trailer.hasKey(key))
                extra += fmt::format(" {} {}", key, trailer.getKey(key).unparse());
        }
        update += fmt::format("trailer\n<< /Size {} /Root {} {} R /Prev {}{} >>\nstartxref\n{}\n%%EOF\n", pagesNode + 1,
            root.getObjGen().getObj(), root.getObjGen().getGen(), previous, extra, table);
        count = int(kids.size());
        return update;
    } catch (const std::exception&) {
        return {};
    }
}

} // namespace pdf::detail
