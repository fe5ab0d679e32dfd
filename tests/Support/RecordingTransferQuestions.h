#pragma once

#include "Downloads/VKTransferQuestions.h"

#include <memory>
#include <string>
#include <vector>

namespace test {

// The person the transfers ask, played by the test: every question is
// kept with its figures until the test answers it.
class RecordingTransferQuestions : public VKTransferQuestions,
                                   public std::enable_shared_from_this<RecordingTransferQuestions> {
public:
    struct Question {
        // "quota", "quota-enforced" (no going on) or "overwrite".
        std::string kind;
        uint64_t bytes = 0;
        uint64_t availableBytes = 0;
        std::string name;
        std::string serviceName;
        Answer answer;
        bool withdrawn = false;
    };

    // Made current; the fixture's end takes it away.
    static std::shared_ptr<RecordingTransferQuestions> install()
    {
        auto questions = std::make_shared<RecordingTransferQuestions>();
        setCurrent(questions);
        return questions;
    }

    Withdrawal askToExceedQuota(uint64_t bytes, uint64_t availableBytes, bool mayGoOn, Answer answer) override
    {
        return record({ mayGoOn ? "quota" : "quota-enforced", bytes, availableBytes, {}, {}, std::move(answer) });
    }
    Withdrawal askToOverwrite(const std::string& name, const std::string& serviceName, Answer answer) override
    {
        return record({ "overwrite", 0, 0, name, serviceName, std::move(answer) });
    }

    // Answers the last question, which must be open.
    void answer(VKTransferAnswer answer)
    {
        auto respond = std::exchange(asked.back().answer, nullptr);
        respond(answer);
    }
    bool hasOpenQuestion() const { return !asked.empty() && asked.back().answer; }

    std::vector<Question> asked;

private:
    Withdrawal record(Question question)
    {
        asked.push_back(std::move(question));
        return [weak = weak_from_this(), index = asked.size() - 1] {
            if (auto self = weak.lock()) {
                self->asked[index].withdrawn = true;
                self->asked[index].answer = nullptr;
            }
        };
    }
};

} // namespace test
