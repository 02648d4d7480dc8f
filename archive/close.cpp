// CloseArchive serves both sides: the handle tells whether the reader or the writer is closed.
#include "archive/reader.h"
#include "archive/writer.h"

void CloseArchive(FileHandle file) {
    if (file == kInvalidFile) return;
    if (!CloseReader(file)) CloseWriter(file);
}
