#pragma once

#include "Downloads/VKTransferQuestions.h"

// The transfers' questions as the person sees them: an alert each, with
// "Cancel" and the button that goes on. An alert the system dismisses
// answers Dismissed. Main thread.
class VKAppTransferQuestions : public VKTransferQuestions {
public:
    Withdrawal askToExceedQuota(uint64_t bytes, uint64_t availableBytes, bool mayGoOn, Answer answer) override;
    Withdrawal askToOverwrite(const std::string& name, const std::string& serviceName, Answer answer) override;
};
