#include "Kit/XML/XMLErrorCapture.h"

#include <libxml/globals.h>
#include <libxml/parser.h>
#include <libxml/xmlerror.h>
#include <mutex>

struct XMLErrorCapture::SavedHandlers {
    xmlStructuredErrorFunc structured;
    void* structuredContext;
    xmlGenericErrorFunc generic;
    void* genericContext;
};

namespace {

void structuredError(void* context, xmlErrorPtr error)
{
    if (error)
        static_cast<XMLErrorCapture*>(context)->record(error->level, error->code, error->message);
}

void genericError(void*, const char*, ...)
{
}

} // namespace

void XMLErrorCapture::prepareLibrary()
{
    // The library sets up its shared tables once, before threads use it.
    static std::once_flag once;
    std::call_once(once, [] { xmlInitParser(); });
}

XMLErrorCapture::XMLErrorCapture()
{
    prepareLibrary();
    m_saved.reset(new SavedHandlers { xmlStructuredError, xmlStructuredErrorContext, xmlGenericError, xmlGenericErrorContext });
    xmlSetStructuredErrorFunc(this, structuredError);
    xmlSetGenericErrorFunc(nullptr, genericError);
}

XMLErrorCapture::~XMLErrorCapture()
{
    xmlSetStructuredErrorFunc(m_saved->structuredContext, m_saved->structured);
    xmlSetGenericErrorFunc(m_saved->genericContext, m_saved->generic);
}

void XMLErrorCapture::record(int level, int code, const char* message)
{
    m_level = level;
    m_code = code;
    m_message = message ? message : "";
    while (!m_message.empty() && (m_message.back() == '\n' || m_message.back() == '\r'))
        m_message.pop_back();
}
