// Helpers for the coder and block stream tests: a generated corpus and one-call runs of the
// drivers over memory and files.
#pragma once

#include <stdint.h>

#include <string>
#include <vector>

#include "tests/unit/compress/corpus.h"
#include "tests/unit/compress/reference_expand.h"

struct Expansion {
    int ok;
    Bytes out;         // what the sink received, by its bound
    uint32_t written;  // StreamBytesWritten
};
// ExpandStream from exactly `stream` in memory into a memory sink of `capacity` bytes; fails the
// test when anything past the capacity was touched.
Expansion ExpandInMemory(const Bytes& stream, uint32_t capacity);
Expansion ExpandInMemory(const Bytes& stream);  // capacity: the size stated in block 1

// The same through files of the host platform layer.
int CompressFile(const std::string& in, const std::string& out, int32_t size);
Expansion ExpandFile(const std::string& in, const std::string& out);

// The coder output inside a stream (block payloads from block 2 on, joined).
Bytes CoderOutput(const Bytes& stream);
