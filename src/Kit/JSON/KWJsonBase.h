#pragma once

#include "Platform/Core/Error.h"

#include <array>
#include <cstdint>
#include <string>
#include <vector>

// What the JSON reader and writer share: the nesting limit and the error
// trace. Every failure appends an error chained to the one before it, so the
// last error tells what failed at the top and its underlying errors why.
class KWJsonBase {
public:
    static constexpr const char* ErrorDomain = "org.quillmere.JSON.ErrorDomain";
    // Nesting never goes deeper than this, whatever maxDepth says, so that
    // no input can exhaust the stack or the memory of the reader.
    static constexpr unsigned DepthCeiling = 4096;

    KWJsonBase() = default;
    virtual ~KWJsonBase() = default;

    // 512 by default; 0 means "no limit" (the ceiling still applies).
    virtual unsigned maxDepth() const { return m_maxDepth; }
    virtual void setMaxDepth(unsigned depth) { m_maxDepth = depth; }

    // Oldest first; empty when nothing failed since the last clear.
    const std::vector<core::Error>& errorTrace() const { return m_errorTrace; }
    void clearErrorTrace() { m_errorTrace.clear(); }
    void addErrorWithCode(int64_t code, std::string description);
    // The trace as the log prints it.
    std::string errorTraceDescription() const;

protected:
    // The characters a string cannot hold as they are: the control characters,
    // the double quote and the backslash. They end a plain run when reading
    // and are escaped when writing.
    static bool isSpecialInString(unsigned char c) { return specialInString[c]; }

    // The depth a container may reach before "Nested too deep".
    unsigned depthLimit() const;
    void replaceErrorTrace(std::vector<core::Error> trace) { m_errorTrace = std::move(trace); }

    unsigned m_depth = 0;

private:
    static constexpr std::array<bool, 256> specialInString = [] {
        std::array<bool, 256> special {};
        for (int c = 0; c < 32; ++c)
            special[c] = true;
        special['"'] = true;
        special['\\'] = true;
        return special;
    }();

    unsigned m_maxDepth = 512;
    std::vector<core::Error> m_errorTrace;
};
