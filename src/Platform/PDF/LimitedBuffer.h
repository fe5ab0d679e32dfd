#pragma once

// Inside the PDF layer only: a qpdf pipeline end that collects decoded bytes
// and refuses to grow past a limit, so that a stream inflating without end
// stops at the limit instead of exhausting memory.

#include <qpdf/Pipeline.hh>

#include <string>

namespace pdf::detail {

class LimitedBuffer : public Pipeline {
public:
    LimitedBuffer(std::string& buffer, size_t limit) : Pipeline("limited buffer", nullptr), m_buffer(buffer), m_limit(limit) { }

    void write(unsigned char const* data, size_t length) override;
    void finish() override { }

    bool overflowed() const { return m_overflowed; }

private:
    std::string& m_buffer;
    size_t m_limit;
    bool m_overflowed = false;
};

} // namespace pdf::detail
