#include "Platform/Web/WebPolicyListener.h"

#include <utility>

namespace web {

WebPolicyListener::WebPolicyListener(Answer answer, bool defaultUse)
    : m_answer(std::move(answer))
    , m_defaultUse(defaultUse)
{
}

WebPolicyListener::~WebPolicyListener()
{
    answer(m_defaultUse);
}

void WebPolicyListener::use()
{
    answer(true);
}

void WebPolicyListener::ignore()
{
    answer(false);
}

void WebPolicyListener::answer(bool use)
{
    if (auto answer = std::exchange(m_answer, nullptr))
        answer(use);
}

} // namespace web
