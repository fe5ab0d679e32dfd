#include "Platform/PDF/DocumentState.h"

#include "Platform/Core/Thread.h"
#include "Platform/PDF/Array.h"
#include "Platform/PDF/ObjectLocks.h"
#include "Platform/PDF/Stream.h"

#include <atomic>
#include <charconv>
#include <qpdf/QPDFLogger.hh>
#include <poppler.h>

namespace pdf::detail {

DocumentState::~DocumentState()
{
    // A draw holds the state through its page: none is out now.
    std::lock_guard lock(rendererFontsMutex());
    for (void* renderer : idleRenderers)
        g_object_unref(static_cast<PopplerDocument*>(renderer));
}

std::mutex& rendererFontsMutex()
{
    static std::mutex mutex;
    return mutex;
}

std::unique_ptr<QPDF> quietQPDF()
{
    auto qpdf = std::make_unique<QPDF>();
    auto logger = QPDFLogger::create();
    logger->setInfo(logger->discard());
    logger->setWarn(logger->discard());
    logger->setError(logger->discard());
    qpdf->setLogger(logger);
    qpdf->setSuppressWarnings(true);
    return qpdf;
}

namespace {
std::atomic<uint64_t> g_mainThreadObjectLocks { 0 };
} // namespace

ObjectsLock lock(const std::shared_ptr<DocumentState>& document)
{
    if (!document)
        return ObjectsLock();
    if (core::Thread::isMainThread())
        ++g_mainThreadObjectLocks;
    return ObjectsLock(document->objects);
}

} // namespace pdf::detail

uint64_t pdf::objectLocksOnMainThread()
{
    return detail::g_mainThreadObjectLocks;
}

namespace pdf::detail {

std::string slashed(std::string_view key)
{
    std::string result;
    result.reserve(key.size() + 1);
    result += '/';
    result += key;
    return result;
}

double parseReal(std::string_view text)
{
    if (!text.empty() && text.front() == '+')
        text.remove_prefix(1);
    // Several leading minus signs read as one, as PDF readers do.
    bool negative = false;
    while (!text.empty() && text.front() == '-') {
        negative = true;
        text.remove_prefix(1);
    }
    double value = 0;
    auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() && error != std::errc::result_out_of_range)
        return 0;
    (void)end;
    return negative ? -value : value;
}

bool convert(const std::shared_ptr<DocumentState>& document, QPDFObjectHandle object, Object& out)
{
    out = HandleAccess::wrap<Object>(document, object);
    return true;
}

bool convert(const std::shared_ptr<DocumentState>&, QPDFObjectHandle object, bool& out)
{
    if (!object.isBool())
        return false;
    out = object.getBoolValue();
    return true;
}

bool convert(const std::shared_ptr<DocumentState>&, QPDFObjectHandle object, int64_t& out)
{
    if (!object.isInteger())
        return false;
    out = object.getIntValue();
    return true;
}

bool convert(const std::shared_ptr<DocumentState>&, QPDFObjectHandle object, double& out)
{
    if (object.isInteger())
        out = double(object.getIntValue());
    else if (object.isReal())
        out = parseReal(object.getRealValue());
    else
        return false;
    return true;
}

bool convert(const std::shared_ptr<DocumentState>&, QPDFObjectHandle object, std::string& out)
{
    if (!object.isName())
        return false;
    std::string name = object.getName();
    out = name.empty() || name[0] != '/' ? name : name.substr(1);
    return true;
}

bool convert(const std::shared_ptr<DocumentState>&, QPDFObjectHandle object, String& out)
{
    if (!object.isString())
        return false;
    out = String(object.getStringValue());
    return true;
}

bool convert(const std::shared_ptr<DocumentState>& document, QPDFObjectHandle object, Array& out)
{
    if (!object.isArray())
        return false;
    out = HandleAccess::wrap<Array>(document, object);
    return true;
}

bool convert(const std::shared_ptr<DocumentState>& document, QPDFObjectHandle object, Dictionary& out)
{
    if (!object.isDictionary())
        return false;
    out = HandleAccess::wrap<Dictionary>(document, object);
    return true;
}

bool convert(const std::shared_ptr<DocumentState>& document, QPDFObjectHandle object, Stream& out)
{
    if (!object.isStream())
        return false;
    out = HandleAccess::wrap<Stream>(document, object);
    return true;
}

QPDFObjectHandle HandleAccess::pageObject(const Page& page)
{
    const auto& document = page.m_document;
    if (!document)
        return QPDFObjectHandle::newNull();
    return document->pages.page(page.m_number);
}

} // namespace pdf::detail
