// A second, deliberately plain coder for the tests: the same algorithm written out step by
// step, one byte compare and one bit at a time, over fresh state on every call. The installer's
// coder must produce exactly its bits; where they differ, the fast paths are wrong.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include <vector>

typedef std::vector<uint8_t> Bytes;

// One coded symbol: a literal byte (0..255) or a match length + 253, with its distance - 1.
struct Token {
    int symbol;
    int distance;
    bool operator==(const Token& o) const { return symbol == o.symbol && distance == o.distance; }
};
inline Token Literal(int byte) {
    return {byte, -1};
}
inline Token Match(int length, int distance) {
    return {253 + length, distance};
}

// The coder's bit stream for `input` (no block framing), as a first run of a process makes it;
// the symbols coded go to `tokens` when given, and the longest code length to `longest_code`.
Bytes ReferenceEncode(const Bytes& input, std::vector<Token>* tokens = nullptr,
                      int* longest_code = nullptr);

// Runs of one process: the ring keeps, between runs, the positions that a run does not set.
// ReferenceProcessStart: the state of a process's start (before its first run).
// ReferenceEncodeInProcess: ReferenceEncode as the process's next run.
// ReferenceDecodedInProcess: what an expansion giving `output` leaves in the ring.
void ReferenceProcessStart();
Bytes ReferenceEncodeInProcess(const Bytes& input);
void ReferenceDecodedInProcess(const Bytes& output);

// The bit stream of exactly these symbols, coded with a fresh model; the longest code length
// to `longest_code`. TokensSize: the bytes they expand to.
Bytes EncodeTokens(const std::vector<Token>& tokens, int* longest_code = nullptr);
uint32_t TokensSize(const std::vector<Token>& tokens);

// Decodes `size` bytes from `bits`; bits past the end read as zeros. With `fail_at`, the request
// for byte `fail_at` of `bits` fails the stream: it and every later byte read as 0 and decoding
// stops after the symbol in progress, as when that byte's block fails its check.
Bytes ReferenceDecode(const Bytes& bits, uint32_t size, size_t fail_at = SIZE_MAX);

// The plain decoder in the block stream's place of the installer's: it reads the size and
// every byte through the stream's byte interface and stops when target_size is reached or
// cleared, so the stream's checks and progress hooks see its byte requests and output.
void ReferenceDecodeInStream();

// The block stream around a coder output: block 1 with `original_size`, full blocks, the final
// block (possibly empty).
Bytes FrameBlocks(uint32_t original_size, const Bytes& coder_output);

// The block sizes of a stream, read from the length fields; empty when a field is impossible.
std::vector<uint32_t> BlockLengths(const Bytes& stream);
