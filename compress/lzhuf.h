// LZHUF coder: LZSS over a 4,096-byte ring with a 60-byte look-ahead, matches found with binary
// trees, adaptive Huffman coding of 314 symbols, distances in a fixed prefix code. Reads with
// BlockGetByte and writes with BlockPutByte of the block stream. All state is module-level.
#pragma once

#include <stdint.h>

// The expansion's original size; the block stream sets it to 0 when a block fails, which ends
// the decoding loop after the symbol in progress.
extern uint32_t target_size;

void ResetBitBuffers();  // bit buffers and target_size to 0; every driver run calls it first
void LzhufEncode();
void LzhufDecode();

// For tests and tools. A run leaves the ring and match trees as they are, and bytes left in the
// ring from the previous run can decide between matches of equal usable length near the end of
// an input; LzhufResetState clears every item so that the next run starts as the first one of
// the process does.
void LzhufResetState();
// The longest symbol code, in bits, that the latest encode emitted beyond 16 bits; 0 when every
// code fitted in 16.
uint32_t LzhufLongestCode();
