// Runs of the installer's coder and of the plain reference one through the same block stream,
// expansions with the calls of the progress hooks logged, for the coder tests and the
// differential fuzz target. The binaries that use it link with the decoder's entry wrapped
// (-Wl,--wrap=_Z11LzhufDecodev), so that ExpandStream runs the decoder chosen here.
#pragma once

#include <stdint.h>

#include <string>

#include "tests/unit/compress/reference_coder.h"

struct LoggedExpansion {
    int ok;
    Bytes out;          // what the sink received, up to its capacity
    uint32_t written;   // StreamBytesWritten
    bool overran;       // something was written past the sink's capacity
    std::string hooks;  // "T" per tick, "B<n>" per byte count, in call order
};

// ExpandStream from exactly `stream` in memory into a memory sink of `capacity` bytes, from the
// coder state of a process's start, with the installer's decoder or (`reference`) the plain one.
LoggedExpansion ExpandLogged(const Bytes& stream, uint32_t capacity, bool reference);

// Where the two expansions of `stream` differ, described in one line; empty when they agree in
// result, bytes, count and the sequence of hook calls.
std::string CompareExpansions(const Bytes& stream, uint32_t capacity);

// The whole block stream that the reference coder gives for `input`.
Bytes ReferenceStream(const Bytes& input);

// CompressStream from memory into memory, from a cleared coder state. `ok` gets the result.
Bytes CompressInMemory(const Bytes& input, uint8_t key = 0, int* ok = nullptr);

// The stream of exactly these symbols, framed with the size they expand to.
Bytes TokenStream(const std::vector<Token>& tokens);
