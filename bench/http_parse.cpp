// bench: tandry_platform_net
// Request heads: a typical 600-byte WebDAV head should parse at 500,000
// heads a second or more on one core, and a 64 KiB head fed one byte at a
// time should cost no more than three times the same head in one append
// (appends never scan bytes twice).
#include "Platform/Net/HttpMessage.h"

#include "Report.h"

#include <benchmark/benchmark.h>
#include <string>

namespace {

std::string webdavHead()
{
    std::string head = "PROPFIND /Documents/Reports%202011/Quarterly%20Summary.pdf HTTP/1.1\r\n"
                       "Host: 192.168.1.23:8080\r\n"
                       "User-Agent: WebDAVFS/1.9.0 (01908000) Darwin/11.4.0 (x86_64)\r\n"
                       "Accept: */*\r\n"
                       "Content-Type: text/xml; charset=\"utf-8\"\r\n"
                       "Content-Length: 179\r\n"
                       "Depth: 1\r\n"
                       "Connection: keep-alive\r\n"
                       "Authorization: Digest username=\"user\", realm=\"Kestrova WebDAVServer\", "
                       "nonce=\"5C7A1E4B-93E2-4F1A-9C55-2D1B7F3A8E01\", uri=\"/Documents/Reports%202011/Quarterly%20Summary.pdf\", "
                       "response=\"4e1b9d2c7a8f3e6b5d0c1a2b3c4d5e6f\", algorithm=\"MD5\", cnonce=\"0a4f113b\", nc=00000001, qop=\"auth\"\r\n"
                       "Accept-Encoding: gzip, deflate\r\n"
                       "Accept-Language: en-us\r\n";
    while (head.size() < 598)
        head += "X-Pad: " + std::string(std::min<size_t>(40, 598 - head.size()), 'p') + "\r\n";
    return head + "\r\n";
}

std::string bigHead()
{
    std::string head = "GET /large HTTP/1.1\r\nHost: h\r\n";
    for (int i = 0; head.size() < 65000; ++i)
        head += "X-Header-" + std::to_string(i) + ": value number " + std::to_string(i) + " of a long head\r\n";
    return head + "\r\n";
}

void parseWebDAVHead(benchmark::State& state)
{
    const std::string head = webdavHead();
    for (auto _ : state) {
        auto message = net::HttpMessage::emptyRequest();
        benchmark::DoNotOptimize(message.appendBytes(head));
        benchmark::DoNotOptimize(message.isHeaderComplete());
    }
    state.SetItemsProcessed(state.iterations());
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(head.size()));
    state.counters["head_bytes"] = static_cast<double>(head.size());
}
BENCHMARK(parseWebDAVHead);

void parseBigHead(benchmark::State& state)
{
    const std::string head = bigHead();
    const size_t piece = static_cast<size_t>(state.range(0));
    for (auto _ : state) {
        auto message = net::HttpMessage::emptyRequest();
        for (size_t offset = 0; offset < head.size(); offset += piece)
            benchmark::DoNotOptimize(message.appendBytes(std::string_view(head).substr(offset, piece)));
        if (!message.isHeaderComplete())
            state.SkipWithError("the head did not complete");
    }
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(head.size()));
}
// 1 byte per append against one whole append.
BENCHMARK(parseBigHead)->Arg(1)->Arg(1 << 20)->Unit(benchmark::kMicrosecond);

[[maybe_unused]] const bool targets = bench::atEnd([] {
    using bench::runSeconds;
    bench::atLeast("600-byte WebDAV heads parsed a second", 1 / runSeconds("parseWebDAVHead"), 500'000, "", "one core");
    bench::atMost("64 KiB head a byte at a time / in one append",
        runSeconds("parseBigHead/1") / runSeconds("parseBigHead/1048576"), 3, "x");
});

} // namespace
