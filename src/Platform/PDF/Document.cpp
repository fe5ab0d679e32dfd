#include "Platform/PDF/Document.h"

#include "Platform/Core/Log.h"
#include "Platform/PDF/DocumentState.h"

#include <qpdf/QPDFExc.hh>

#include <atomic>
#include <set>

namespace pdf {

using detail::DocumentState;

namespace {

std::atomic<uint64_t> nextSerial { 1 };

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
        QPDFObjectHandle kid = frame.kids.getArrayItem(frame.next++);
        enter(kid); // may grow `frames`: `frame` is not used after this
    }
    return pages;
}

enum class Parse { Opened, Locked, Failed };

Parse parse(DocumentState& state, std::string_view password)
{
    if (password.find('\0') != std::string_view::npos)
        return Parse::Locked;
    auto qpdf = detail::quietQPDF();
    std::string passwordString(password);
    try {
        qpdf->processMemoryFile("document", state.bytes.chars(), state.bytes.size(), passwordString.c_str());
    } catch (const QPDFExc& error) {
        if (error.getErrorCode() == qpdf_e_password) {
            state.encrypted = true;
            return Parse::Locked;
        }
        core::log("Warning, cannot read PDF: {}", error.what());
        return Parse::Failed;
    } catch (const std::exception& error) {
        core::log("Warning, cannot read PDF: {}", error.what());
        return Parse::Failed;
    }
    try {
        state.encrypted = qpdf->isEncrypted();
        state.pages = collectPages(qpdf->getRoot().getKey("/Pages"));
    } catch (const std::exception& error) {
        core::log("Warning, cannot read PDF pages: {}", error.what());
        return Parse::Failed;
    }
    state.qpdf = std::move(qpdf);
    state.password = passwordString;
    state.locked = false;
    return Parse::Opened;
}

} // namespace

Document::Document(std::shared_ptr<DocumentState> state)
    : m_state(std::move(state))
{
}

Document::~Document() = default;

std::shared_ptr<Document> Document::open(core::Data bytes, Status* status)
{
    auto state = std::make_shared<DocumentState>();
    state->bytes = std::move(bytes);
    state->serial = nextSerial++;
    Parse result = state->bytes.empty() ? Parse::Failed : parse(*state, {});
    if (result == Parse::Failed) {
        if (status)
            *status = Status::NotPDF;
        return nullptr;
    }
    state->locked = result == Parse::Locked;
    if (status)
        *status = state->locked ? Status::Locked : Status::Opened;
    return std::shared_ptr<Document>(new Document(std::move(state)));
}

bool Document::isEncrypted() const
{
    auto lock = detail::lock(m_state);
    return m_state->encrypted;
}

bool Document::isLocked() const
{
    auto lock = detail::lock(m_state);
    return m_state->locked;
}

bool Document::unlock(std::string_view password)
{
    auto lock = detail::lock(m_state);
    if (!m_state->locked)
        return true;
    return parse(*m_state, password) == Parse::Opened;
}

int Document::pageCount() const
{
    auto lock = detail::lock(m_state);
    return int(m_state->pages.size());
}

Page Document::page(int number) const
{
    auto lock = detail::lock(m_state);
    if (number < 1 || size_t(number) > m_state->pages.size())
        return {};
    return Page(m_state, number);
}

Dictionary Document::catalog() const
{
    auto lock = detail::lock(m_state);
    if (!m_state->qpdf)
        return {};
    try {
        QPDFObjectHandle root = m_state->qpdf->getRoot();
        return root.isDictionary() ? detail::HandleAccess::wrap<Dictionary>(m_state, root) : Dictionary();
    } catch (const std::exception&) {
        return {};
    }
}

uint64_t Document::serial() const
{
    return m_state->serial;
}

} // namespace pdf
