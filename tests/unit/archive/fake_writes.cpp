#include "tests/unit/archive/fake_writes.h"

#include <stdint.h>

#include "platform/files.h"

bool FakeWrites = false;

// PlatWrite(FileHandle, const void*, uint32_t), by its linker name.
extern "C" uint32_t __real__Z9PlatWritelPKvj(FileHandle file, const void* buffer, uint32_t count);

extern "C" uint32_t __wrap__Z9PlatWritelPKvj(FileHandle file, const void* buffer, uint32_t count) {
    if (FakeWrites) return count;
    return __real__Z9PlatWritelPKvj(file, buffer, count);
}
