// Checked block stream: the framing of every compressed entry, and the drivers that run the
// LZHUF coder over it.
//
//   block 1      "RC" | checksum u16 | length u16 = 10 | original size u32
//   full blocks  "RC" | checksum u16 | length u16 = 10,240 | 10,234 bytes of coder output
//   final block  "RC" | checksum u16 | length u16 = 6..10,239 | 0..10,233 bytes (always present)
//
//   checksum = (0x68A5 + sum of the payload bytes) mod 65536; all fields little-endian.
//
// One block stream exists in the program; it serves one driver run at a time and is not
// re-entrant (the tick hook must not start another run).
#pragma once

#include <stdint.h>

#include "platform/types.h"

constexpr uint16_t kBlockMagic = 0x4352;         // the bytes "RC"
constexpr uint16_t kBlockChecksumSeed = 0x68A5;  // 26789
constexpr uint32_t kBlockSize = 10240;           // a full block, header included
constexpr uint32_t kBlockHeaderSize = 6;

// The progress reporting of the whole system: called synchronously in the middle of a run.
struct ProgressHooks {
    void (*byte_count_hook)(uint32_t bytes_written);  // bytes just delivered to the sink
    void (*tick_hook)();                              // once per 1,024 bytes, unit and block
};
extern ProgressHooks StreamProgressHooks;

// Where the next driver run takes its input and puts its output.
//  input_from_file: 1, the source argument of the driver is a FileHandle; 0, a byte pointer.
//  source_size:     the bytes readable at a memory source (an expansion never reads past them).
//  memory_sink:     null: output goes to the sink file; else to this buffer.
//  sink_capacity:   the bytes the memory sink holds; an expansion never writes past them and
//                   fails when the stream needs more.
// Both drivers put the stream back to (file input, no memory sink) when they finish.
void SetStreamIO(int input_from_file, uint32_t source_size, uint8_t* memory_sink,
                 uint32_t sink_capacity);

// XOR key applied to every byte read while compressing. Cleared by both drivers at their end.
extern uint8_t InputKey;

// Bytes delivered to the sink by the latest run (block headers included when compressing).
extern uint32_t StreamBytesWritten;

// Compresses `input_size` bytes of `source` (a FileHandle or a const uint8_t*, per SetStreamIO)
// into a complete block stream on `sink`. A file source may be read up to one unit beyond the
// input. Returns 1, or 0 when a write delivered fewer bytes than asked.
int CompressStream(intptr_t source, FileHandle sink, int32_t input_size);

// Expands the block stream at `source` into `sink`. Returns 1 when every block passed its check
// and every byte was delivered; 0 for a damaged or truncated stream, a short write or a memory
// sink too small. The sink keeps what was decoded before a failure.
int ExpandStream(intptr_t source, FileHandle sink);

// Byte interface of the coder.
int BlockGetByte();  // 0..255, or -1 when the input has ended or failed
void BlockPutByte(int byte);
int32_t WriteOriginalSize();  // writes block 1; returns the input size
int32_t ReadOriginalSize();   // reads block 1; the original size, or 0 when it failed
