// Generated test and benchmark data: the same bytes on every call (fixed seeds).
#pragma once

#include <stddef.h>
#include <stdint.h>

#include <vector>

typedef std::vector<uint8_t> Bytes;

enum CorpusKind { kText, kExecutable, kRandom, kZeros, kImage };
const char* CorpusName(CorpusKind kind);
// `size` bytes of the kind: English-like text, the running program's own file (repeated when
// shorter), random bytes, zeros, a 24-bit picture of soft gradients with a little noise.
Bytes Corpus(CorpusKind kind, size_t size);
