#pragma once

// The answer to a response the web view cannot decide alone: use() shows
// it, ignore() drops it. Answered once (later answers do nothing); a
// listener let go unanswered gives its default answer.

#include "Platform/Core/Object.h"

#include <functional>

namespace web {

class WebPolicyListener : public core::Object {
public:
    using Answer = std::function<void(bool use)>;

    WebPolicyListener(Answer answer, bool defaultUse);
    ~WebPolicyListener() override;

    void use();
    void ignore();
    bool isAnswered() const { return !m_answer; }
    // What an unanswered listener does when it is let go.
    bool defaultUse() const { return m_defaultUse; }

private:
    void answer(bool use);

    Answer m_answer;
    bool m_defaultUse;
};

} // namespace web
