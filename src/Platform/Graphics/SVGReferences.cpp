#include "Platform/Graphics/SVGReferences.h"

#include <libxml/xmlreader.h>

#include <cstring>
#include <string>
#include <unordered_map>
#include <vector>

namespace gfx::codecs {

namespace {

// The references kept for every named element, at most: a document beyond
// this is no picture, however its references add up.
constexpr size_t MaximumKeptReferences = size_t(1) << 22;

struct Named {
    int depth;
    int id;
    size_t firstReference;
};

class ReferenceCount {
public:
    explicit ReferenceCount(uint64_t limit)
        : m_limit(limit)
    {
    }

    int idOf(const char* name)
    {
        auto [at, added] = m_ids.try_emplace(name, int(m_ids.size()));
        if (added)
            m_inside.emplace_back();
        return at->second;
    }

    // Reads the document up to its end or its first error (what came before
    // an error still counts); false when it keeps too much.
    bool read(std::string_view bytes)
    {
        xmlTextReaderPtr reader = xmlReaderForMemory(bytes.data(), int(bytes.size()), nullptr, nullptr,
            XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING);
        if (!reader)
            return true;
        std::vector<Named> open;
        bool kept = true;
        while (kept && xmlTextReaderRead(reader) == 1) {
            const int type = xmlTextReaderNodeType(reader);
            const int depth = xmlTextReaderDepth(reader);
            if (type == XML_READER_TYPE_END_ELEMENT) {
                if (!open.empty() && open.back().depth == depth)
                    kept = close(open);
                continue;
            }
            if (type != XML_READER_TYPE_ELEMENT)
                continue;
            const char* local = reinterpret_cast<const char*>(xmlTextReaderConstLocalName(reader));
            if (local && std::strcmp(local, "use") == 0)
                refer(reader);
            if (xmlChar* id = xmlTextReaderGetAttribute(reader, BAD_CAST "id")) {
                open.push_back({ depth, idOf(reinterpret_cast<const char*>(id)), m_references.size() });
                xmlFree(id);
                if (xmlTextReaderIsEmptyElement(reader))
                    kept = close(open);
            }
        }
        xmlFreeTextReader(reader);
        return kept;
    }

    // Every reference of the document, each with what it reaches.
    uint64_t total()
    {
        m_weights.assign(m_inside.size(), Unknown);
        uint64_t sum = 0;
        for (int id : m_references) {
            sum += weight(id);
            if (sum > m_limit)
                return m_limit + 1;
        }
        return sum;
    }

private:
    static constexpr uint64_t Unknown = UINT64_MAX;
    static constexpr uint64_t Visiting = UINT64_MAX - 1;

    void refer(xmlTextReaderPtr reader)
    {
        xmlChar* href = xmlTextReaderGetAttributeNs(reader, BAD_CAST "href", BAD_CAST "http://www.w3.org/1999/xlink");
        if (!href)
            href = xmlTextReaderGetAttribute(reader, BAD_CAST "href");
        if (!href)
            return;
        if (href[0] == '#')
            m_references.push_back(idOf(reinterpret_cast<const char*>(href) + 1));
        xmlFree(href);
    }

    bool close(std::vector<Named>& open)
    {
        const Named named = open.back();
        open.pop_back();
        auto& inside = m_inside[size_t(named.id)];
        m_kept += m_references.size() - named.firstReference;
        if (m_kept > MaximumKeptReferences)
            return false;
        inside.insert(inside.end(), m_references.begin() + std::ptrdiff_t(named.firstReference), m_references.end());
        return true;
    }

    // One for the element named, plus what its own references reach; a loop
    // counts past the limit. Depth-first with an explicit stack: a chain of
    // references may be as long as the document.
    uint64_t weight(int root)
    {
        if (m_weights[size_t(root)] != Unknown && m_weights[size_t(root)] != Visiting)
            return m_weights[size_t(root)];
        struct Frame {
            int id;
            size_t next;
            uint64_t sum;
        };
        std::vector<Frame> stack { { root, 0, 1 } };
        m_weights[size_t(root)] = Visiting;
        while (!stack.empty()) {
            Frame& frame = stack.back();
            const auto& inside = m_inside[size_t(frame.id)];
            if (frame.next < inside.size() && frame.sum <= m_limit) {
                const int child = inside[frame.next++];
                const uint64_t known = m_weights[size_t(child)];
                if (known == Visiting) {
                    frame.sum = m_limit + 1;
                } else if (known != Unknown) {
                    frame.sum += known;
                } else {
                    m_weights[size_t(child)] = Visiting;
                    stack.push_back({ child, 0, 1 });
                }
                continue;
            }
            const uint64_t sum = frame.sum > m_limit ? m_limit + 1 : frame.sum;
            m_weights[size_t(frame.id)] = sum;
            stack.pop_back();
            if (!stack.empty())
                stack.back().sum += sum;
        }
        return m_weights[size_t(root)];
    }

    uint64_t m_limit;
    std::unordered_map<std::string, int> m_ids;
    // The references of the document in order, and those inside each named
    // element (its own, when it is a <use>, among them).
    std::vector<int> m_references;
    std::vector<std::vector<int>> m_inside;
    std::vector<uint64_t> m_weights;
    size_t m_kept = 0;
};

} // namespace

uint64_t svgReferencedElements(std::string_view bytes, uint64_t limit)
{
    ReferenceCount count(limit);
    if (!count.read(bytes))
        return limit + 1;
    return count.total();
}

} // namespace gfx::codecs
