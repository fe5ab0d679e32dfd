#pragma once

#include "Kit/VKHookSlot.h"

#include <cstdint>
#include <functional>
#include <string>

// What the person chose when a transfer asked.
enum class VKTransferAnswer {
    // Go on all the same ("Continue", "Overwrite?").
    GoOn,
    // "Cancel".
    Decline,
    // The system took the question away (the application left the
    // screen): nobody chose.
    Dismissed,
};

// The questions a transfer puts to the person before it goes on: the
// download manager and the cloud operations ask, the application shows them
// and answers on the main thread. Wired in at start-up; without it nobody
// is asked and nothing is answered, so the transfer waits.
class VKTransferQuestions : public VKHookSlot<VKTransferQuestions> {
public:
    using Answer = std::function<void(VKTransferAnswer answer)>;
    // Takes back a question still shown: it goes away unanswered. Nothing
    // once it was answered.
    using Withdrawal = std::function<void()>;

    virtual ~VKTransferQuestions() = default;

    // A download of `bytes` may not fit in the `availableBytes` the disk
    // quota leaves. Unless `mayGoOn`, the quota is enforced and the person
    // can only take note: the answer is never GoOn.
    virtual Withdrawal askToExceedQuota(uint64_t bytes, uint64_t availableBytes, bool mayGoOn, Answer answer) = 0;
    // An upload would replace the item `name` that the cloud service
    // `serviceName` already holds.
    virtual Withdrawal askToOverwrite(const std::string& name, const std::string& serviceName, Answer answer) = 0;
};
