#pragma once

// What must hold for every input. A breach names the condition and its line
// and aborts, so that libFuzzer keeps the input as a crash.

#include <cstdio>
#include <cstdlib>

#define FUZZ_CHECK(condition)                                                                                  \
    do {                                                                                                       \
        if (!(condition)) {                                                                                    \
            std::fprintf(stderr, "%s:%d: FUZZ_CHECK(%s) failed\n", __FILE__, __LINE__, #condition);           \
            std::abort();                                                                                      \
        }                                                                                                      \
    } while (false)
