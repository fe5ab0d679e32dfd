#include "Platform/PDF/Document.h"

#include "Platform/Core/Log.h"
#include "Platform/PDF/DocumentState.h"

#include <qpdf/QPDFExc.hh>

#include <atomic>

namespace pdf {

using detail::DocumentFile;
using detail::DocumentSource;
using detail::DocumentState;

namespace {

std::atomic<uint64_t> nextSerial { 1 };

} // namespace

Document::Document(std::shared_ptr<DocumentSource> state)
    : m_state(std::move(state))
{
}

Document::~Document() = default;

std::shared_ptr<Document> Document::open(core::Data bytes, Status* status)
{
    return openOwned(std::move(bytes), status);
}

std::unique_ptr<Document> Document::openOwned(core::Data bytes, Status* status)
{
    auto state = std::make_shared<DocumentSource>();
    state->file = std::make_shared<DocumentFile>();
    state->file->bytes = std::move(bytes);
    state->file->serial = nextSerial++;
    bool needsPassword = false;
    if (!state->file->bytes.empty())
        state->reading = detail::readDocument(state->file, {}, &needsPassword);
    if (!state->reading && !needsPassword) {
        if (status)
            *status = Status::NotPDF;
        return nullptr;
    }
    state->file->locked = !state->reading;
    state->readingsMade = state->reading ? 1 : 0;
    if (status)
        *status = state->file->locked ? Status::Locked : Status::Opened;
    return std::unique_ptr<Document>(new Document(std::move(state)));
}

bool Document::isEncrypted() const
{
    auto lock = detail::lock(m_state);
    return m_state->file->encrypted;
}

bool Document::isLocked() const
{
    auto lock = detail::lock(m_state);
    return m_state->file->locked;
}

bool Document::unlock(std::string_view password)
{
    auto lock = detail::lock(m_state);
    if (!m_state->file->locked)
        return true;
    auto reading = detail::readDocument(m_state->file, password, nullptr);
    if (!reading)
        return false;
    m_state->reading = std::move(reading);
    m_state->file->password = std::string(password);
    m_state->file->locked = false;
    ++m_state->readingsMade;
    return true;
}

std::unique_ptr<Document> Document::reopened() const
{
    core::Data bytes;
    std::string password;
    detail::PageTree::Progress pages;
    {
        auto lock = detail::lock(m_state);
        if (m_state->file->locked)
            return nullptr;
        bytes = m_state->file->bytes;
        password = m_state->file->password;
        pages = m_state->reading->pages.progress();
    }
    auto document = openOwned(std::move(bytes), nullptr);
    if (document && !document->unlock(password))
        return nullptr;
    if (document) {
        auto lock = detail::lock(document->m_state);
        auto& reading = *document->m_state->reading;
        reading.pages.resume(pages, *reading.qpdf);
    }
    return document;
}

int Document::pageCount() const
{
    auto lock = detail::lock(m_state);
    return m_state->reading ? m_state->reading->pages.settledCount() : 0;
}

Page Document::page(int number) const
{
    auto lock = detail::lock(m_state);
    // Asking for the page finds it, or finds that the tree's count lied.
    if (!m_state->page(number).object.isDictionary())
        return {};
    return Page(m_state, number);
}

Dictionary Document::catalog() const
{
    auto lock = detail::lock(m_state);
    if (!m_state->reading)
        return {};
    try {
        QPDFObjectHandle root = m_state->reading->qpdf->getRoot();
        return root.isDictionary() ? detail::HandleAccess::wrap<Dictionary>(m_state->reading, root) : Dictionary();
    } catch (const std::exception&) {
        return {};
    }
}

int Document::readingsAliveForTesting() const
{
    return m_state->file->readings;
}

uint64_t Document::readingsMade() const
{
    auto lock = detail::lock(m_state);
    return m_state->readingsMade;
}

void Document::setHeapMeasureForTesting(size_t (*measure)())
{
    detail::setHeapMeasure(measure);
}

uint64_t Document::serial() const
{
    return m_state->file->serial;
}

} // namespace pdf
