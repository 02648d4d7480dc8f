// Entry transfer engine: every movement of an entry's bytes, as they are (optionally
// unscrambled) in 16 KB chunks, or through the block stream's drivers.
#pragma once

#include <stdint.h>

typedef uint32_t TransferFlags;
constexpr TransferFlags KeyByte = 0x000000FF;     // one-byte XOR key, 0 for none
constexpr TransferFlags Compress = 0x00000100;    // compress the source (XORed with KeyByte)
constexpr TransferFlags Decompress = 0x00000200;  // expand a block stream; wins over Compress
constexpr TransferFlags Unscramble = 0x00002000;  // a copy without the source's scrambling
constexpr TransferFlags ToMemory = 0x01000000;    // the sink is a byte pointer
constexpr TransferFlags FromMemory = 0x02000000;  // the source is a byte pointer

constexpr uint32_t kChunkSize = 16384;

// Moves bytes from `source` (FileHandle, or const uint8_t* with FromMemory) to `sink`
// (FileHandle, or uint8_t* with ToMemory). `count` in: bytes to copy, the input size to
// compress, or for an expansion the bound of a memory sink (and of a memory source); out: bytes
// delivered to the sink. A source file is positioned by the caller. 1 success, 0 failure.
int TransferEntryData(intptr_t source, intptr_t sink, uint32_t* count, TransferFlags flags);

// The raw path: 16 KB chunks, XORed with KeyByte when it is not 0.
int CopyChunks(intptr_t source, intptr_t sink, uint32_t* count, TransferFlags flags);
