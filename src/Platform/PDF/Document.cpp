#include "Platform/PDF/Document.h"

#include "Platform/Core/Log.h"
#include "Platform/PDF/DocumentState.h"

#include <qpdf/QPDFExc.hh>

#include <atomic>

namespace pdf {

using detail::DocumentState;

namespace {

std::atomic<uint64_t> nextSerial { 1 };

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
        state.pages.open(qpdf->getRoot().getKey("/Pages"), state.bytes.size());
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

std::shared_ptr<Document> Document::reopened() const
{
    core::Data bytes;
    std::string password;
    detail::PageTree::Progress pages;
    {
        auto lock = detail::lock(m_state);
        if (m_state->locked)
            return nullptr;
        bytes = m_state->bytes;
        password = m_state->password;
        pages = m_state->pages.progress();
    }
    auto document = open(std::move(bytes));
    if (document && !document->unlock(password))
        return nullptr;
    if (document) {
        auto lock = detail::lock(document->m_state);
        document->m_state->pages.resume(pages, *document->m_state->qpdf);
    }
    return document;
}

int Document::pageCount() const
{
    auto lock = detail::lock(m_state);
    return m_state->pages.settledCount();
}

Page Document::page(int number) const
{
    auto lock = detail::lock(m_state);
    // Asking for the page finds it, or finds that the tree's count lied.
    if (number < 1 || number > m_state->pages.count() || !m_state->pages.page(number).isDictionary())
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
