#pragma once

#include <cstddef>

// Base64 (RFC 4648: the standard alphabet, "=" padding) into the caller's
// buffer, with a CR LF after every full line of 72 characters, the last one
// included. `outputLength` gives the buffer's size and receives the length
// written: 4 × ⌈n / 3⌉ characters plus 2 per full line. A buffer that is too
// small is left untouched and the answer is false. The output is not
// terminated. A signature (20 bytes, 28 characters) never holds a break.
bool Base64EncodeData(const void* input, size_t length, char* output, size_t* outputLength);
