#include "Platform/PDF/PageTree.h"

#include "Platform/Core/Log.h"

#include <qpdf/QPDF.hh>

#include <climits>
#include <set>

namespace pdf::detail {

namespace {

// A page takes at least this many bytes of a file, compressed or not; a
// root count beyond the file's size over it is no count but a lie.
constexpr size_t kSmallestPageBytes = 8;

// A root with more kids than this is taken at its count when the count is
// settled: checking it would read as many objects as a walk.
constexpr int kMostRootKidsChecked = 64;

// Every page of the tree in order, walked without recursion: a node with
// /Kids is a node of the tree, anything else a page. A node met a second
// time (a loop, or a node shared by two parents) is not entered again, so
// hostile trees cost time linear in their size. Kids that are not
// dictionaries are not pages, as the renderer also skips them.
std::vector<QPDFObjectHandle> collectPages(QPDFObjectHandle root)
{
    std::vector<QPDFObjectHandle> pages;
    if (!root.isDictionary())
        return pages;
    std::set<QPDFObjGen> entered;
    struct Frame {
        QPDFObjectHandle kids;
        int next;
        int count;
    };
    std::vector<Frame> frames;
    auto enter = [&](QPDFObjectHandle node) {
        if (!node.isDictionary())
            return;
        if (!node.hasKey("/Kids")) {
            pages.push_back(node);
            return;
        }
        if (node.isIndirect() && !entered.insert(node.getObjGen()).second)
            return;
        QPDFObjectHandle kids = node.getKey("/Kids");
        if (kids.isArray())
            frames.push_back({ kids, 0, kids.getArrayNItems() });
    };
    enter(root);
    while (!frames.empty()) {
        Frame& frame = frames.back();
        if (frame.next >= frame.count) {
            frames.pop_back();
            continue;
        }
        // A kid qpdf cannot read is no page; the walk goes on.
        try {
            QPDFObjectHandle kid = frame.kids.getArrayItem(frame.next++);
            enter(kid); // may grow `frames`: `frame` is not used after this
        } catch (const std::exception&) {
        }
    }
    return pages;
}

// A node's /Count when it is one a node can have; -1 otherwise.
int nodeCount(QPDFObjectHandle node)
{
    QPDFObjectHandle count = node.getKey("/Count");
    if (!count.isInteger() || count.getIntValue() < 0 || count.getIntValue() > INT_MAX)
        return -1;
    return int(count.getIntValue());
}

} // namespace

void PageTree::open(QPDFObjectHandle root, size_t fileBytes)
{
    m_root = root;
    m_pages.clear();
    m_path.clear();
    m_cache = {};
    m_walked = false;
    m_count = 0;
    m_settledCount = -1;
    QPDFObjectHandle kids = root.isDictionary() ? root.getKey("/Kids") : QPDFObjectHandle::newNull();
    int count = kids.isArray() ? nodeCount(root) : -1;
    if (count < 0 || size_t(count) > fileBytes / kSmallestPageBytes || (count == 0 && kids.getArrayNItems() > 0)) {
        walk();
        return;
    }
    m_count = count;
}

QPDFObjectHandle PageTree::page(int number)
{
    if (number < 1 || number > m_count)
        return QPDFObjectHandle::newNull();
    if (m_walked)
        return m_pages[size_t(number) - 1];
    for (const Cached& cached : m_cache) {
        if (cached.number == number)
            return cached.page;
    }
    QPDFObjectHandle found;
    bool located = false;
    try {
        // The last page by the counts must be the tree's last: a count that
        // understates shows as pages after it.
        located = locate(number, found) && (number < m_count || nothingFollows());
    } catch (const std::exception&) {
    }
    if (!located) {
        walk();
        return number <= m_count ? m_pages[size_t(number) - 1] : QPDFObjectHandle::newNull();
    }
    m_cache[m_nextCacheSlot] = { number, found };
    m_nextCacheSlot = (m_nextCacheSlot + 1) % kCacheSize;
    return found;
}

int PageTree::settledCount()
{
    if (m_settledCount < 0) {
        bool agree = false;
        try {
            agree = m_walked || rootKidsAgree();
        } catch (const std::exception&) {
        }
        if (!agree)
            walk();
        m_settledCount = m_count;
    }
    return m_settledCount;
}

bool PageTree::rootKidsAgree()
{
    QPDFObjectHandle kids = m_root.getKey("/Kids");
    int size = kids.getArrayNItems();
    if (size > kMostRootKidsChecked)
        return true;
    long long pages = 0;
    for (int index = 0; index < size; ++index) {
        QPDFObjectHandle kid = kids.getArrayItem(index);
        if (!kid.isDictionary())
            continue;
        int count = kid.hasKey("/Kids") ? nodeCount(kid) : 1;
        if (count < 0)
            return false;
        pages += count;
    }
    return pages == m_count;
}

bool PageTree::pushNode(QPDFObjectHandle node, int first, int count)
{
    if (m_path.size() >= kMaximumDepth)
        return false;
    QPDFObjGen identity = node.isIndirect() ? node.getObjGen() : QPDFObjGen();
    if (node.isIndirect()) {
        for (const Frame& frame : m_path) {
            if (frame.node == identity)
                return false;
        }
    }
    QPDFObjectHandle kids = node.getKey("/Kids");
    if (!kids.isArray())
        return false;
    Frame frame;
    frame.kids = kids;
    frame.size = kids.getArrayNItems();
    frame.first = first;
    frame.rangeFirst = first;
    frame.rangeCount = count;
    frame.node = identity;
    m_path.push_back(std::move(frame));
    return true;
}

bool PageTree::locate(int number, QPDFObjectHandle& out)
{
    // Up to the nearest node on the last path whose pages hold the number.
    while (!m_path.empty()
        && (number < m_path.back().rangeFirst || number - m_path.back().rangeFirst >= m_path.back().rangeCount))
        m_path.pop_back();
    if (m_path.empty() && !pushNode(m_root, 1, m_count))
        return false;
    if (number < m_path.back().first) {
        // Back kid by kid when the page is nearer than the node's first
        // (a reader going back through a long list of kids), else from
        // the first.
        Frame& frame = m_path.back();
        if (frame.first - number < number - frame.rangeFirst) {
            while (frame.index > 0 && number < frame.first) {
                QPDFObjectHandle kid = frame.kids.getArrayItem(--frame.index);
                int count = !kid.isDictionary() ? 0 : kid.hasKey("/Kids") ? nodeCount(kid) : 1;
                if (count < 0)
                    return false;
                frame.first -= count;
            }
        }
        if (number < frame.first || frame.first < frame.rangeFirst) {
            frame.index = 0;
            frame.first = frame.rangeFirst;
        }
    }
    for (;;) {
        Frame& frame = m_path.back();
        for (; frame.index < frame.size; ++frame.index) {
            QPDFObjectHandle kid = frame.kids.getArrayItem(frame.index);
            if (!kid.isDictionary())
                continue;
            bool node = kid.hasKey("/Kids");
            int count = node ? nodeCount(kid) : 1;
            if (count < 0)
                return false;
            if (number - frame.first < count) {
                if (!node) {
                    out = kid;
                    return true;
                }
                break;
            }
            frame.first += count;
        }
        if (frame.index >= frame.size)
            return false; // the kids hold fewer pages than the counts said
        QPDFObjectHandle kid = frame.kids.getArrayItem(frame.index);
        int count = nodeCount(kid);
        if (!pushNode(kid, frame.first, count)) // `frame` is not used after this
            return false;
    }
}

bool PageTree::nothingFollows() const
{
    for (const Frame& frame : m_path) {
        QPDFObjectHandle kids = frame.kids;
        for (int index = frame.index + 1; index < frame.size; ++index) {
            QPDFObjectHandle kid = kids.getArrayItem(index);
            if (kid.isDictionary() && (!kid.hasKey("/Kids") || nodeCount(kid) != 0))
                return false;
        }
    }
    return true;
}

void PageTree::walk()
{
    m_pages = collectPages(m_root);
    if (m_count != 0 && size_t(m_count) != m_pages.size())
        core::log("Warning, the page tree claims {} pages; walking it found {}", m_count, m_pages.size());
    m_count = int(std::min<size_t>(m_pages.size(), INT_MAX));
    m_walked = true;
    m_path.clear();
    m_cache = {};
}

} // namespace pdf::detail

namespace pdf::detail {

PageTree::Progress PageTree::progress() const
{
    Progress progress;
    progress.count = m_count;
    progress.settledCount = m_settledCount;
    progress.walked = m_walked;
    for (const QPDFObjectHandle& page : m_pages) {
        if (!page.isIndirect()) {
            progress.pages.clear();
            break;
        }
        progress.pages.push_back(page.getObjGen());
    }
    for (const Frame& frame : m_path) {
        if (frame.node == QPDFObjGen()) {
            progress.path.clear();
            break;
        }
        progress.path.push_back({ frame.node, frame.index, frame.first, frame.rangeFirst, frame.rangeCount });
    }
    return progress;
}

void PageTree::resume(const Progress& progress, QPDF& qpdf)
{
    // The number told stays the one the other tree told.
    if (progress.settledCount >= 0)
        m_settledCount = progress.settledCount;
    try {
        if (progress.walked) {
            // The other tree's walk is this one's; pages that cannot be
            // named make this tree walk too, finding the same.
            if (m_walked)
                return;
            if (progress.pages.size() != size_t(progress.count)) {
                walk();
                return;
            }
            std::vector<QPDFObjectHandle> pages;
            pages.reserve(progress.pages.size());
            for (const QPDFObjGen& page : progress.pages)
                pages.push_back(qpdf.getObject(page));
            m_pages = std::move(pages);
            m_count = progress.count;
            m_walked = true;
            m_path.clear();
            m_cache = {};
            return;
        }
        if (m_walked || progress.count != m_count)
            return;
        std::vector<Frame> path;
        for (const Progress::Mark& mark : progress.path) {
            QPDFObjectHandle kids = qpdf.getObject(mark.node).getKey("/Kids");
            if (!kids.isArray())
                return;
            Frame frame;
            frame.kids = kids;
            frame.size = kids.getArrayNItems();
            frame.index = mark.index;
            frame.first = mark.first;
            frame.rangeFirst = mark.rangeFirst;
            frame.rangeCount = mark.rangeCount;
            frame.node = mark.node;
            path.push_back(std::move(frame));
        }
        m_path = std::move(path);
    } catch (const std::exception&) {
        m_path.clear();
    }
}

} // namespace pdf::detail
