#pragma once

#include "Platform/Core/RunLoop.h"
#include "Platform/Net/URLConnection.h"

#include <fmt/format.h>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace test {

// A delegate that writes down what a connection tells it: one line per
// callback ("response 200", "data", "sent", "finish", "fail -1005") with the
// response, body and error kept, and an optional hook run after each.
class LoadRecorder : public net::URLConnectionDelegate {
public:
    std::vector<std::string> events;
    std::optional<core::HTTPURLResponse> response;
    std::string body;
    core::Error error;
    std::vector<int64_t> sentTotals;
    int64_t sentExpected = 0;
    bool ended = false;
    std::vector<std::thread::id> threads;
    std::function<void(net::URLConnection&, const std::string& event)> hook;

    // The events with consecutive "data" lines folded into one.
    std::vector<std::string> summary() const
    {
        std::vector<std::string> folded;
        for (const auto& event : events) {
            if (!(event == "data" && !folded.empty() && folded.back() == "data")
                && !(event == "sent" && !folded.empty() && folded.back() == "sent"))
                folded.push_back(event);
        }
        return folded;
    }

    void didReceiveResponse(net::URLConnection& connection, const core::HTTPURLResponse& received) override
    {
        response.emplace(received);
        note(connection, fmt::format("response {}", received.statusCode()));
    }
    void didReceiveData(net::URLConnection& connection, const core::Data& data) override
    {
        body += data.view();
        note(connection, "data");
    }
    void didSendBodyData(net::URLConnection& connection, int64_t, int64_t total, int64_t expected) override
    {
        sentTotals.push_back(total);
        sentExpected = expected;
        note(connection, "sent");
    }
    void didFinishLoading(net::URLConnection& connection) override
    {
        ended = true;
        note(connection, "finish");
    }
    void didFailWithError(net::URLConnection& connection, const core::Error& failure) override
    {
        error = failure;
        ended = true;
        note(connection, fmt::format("fail {}", failure.code()));
    }

private:
    void note(net::URLConnection& connection, std::string event)
    {
        events.push_back(event);
        threads.push_back(std::this_thread::get_id());
        if (hook)
            hook(connection, event);
    }
};

// Runs the calling thread's loop until the recorder heard the end (or a
// bounded real time passed).
inline bool waitForEnd(const LoadRecorder& recorder, double seconds = 30)
{
    return core::RunLoop::current().runUntil([&] { return recorder.ended; }, seconds);
}

} // namespace test
