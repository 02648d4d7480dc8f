// The certificate table of a signed PE file, found through its security data directory; the
// layout is drawn in archive/format.h.
#pragma once

#include <stdint.h>

#include "platform/types.h"

struct CertificateTable {
    uint32_t start;       // file offset of the table
    uint32_t size;        // its bytes; start + size is the end of the file
    uint32_t zero_bytes;  // zero bytes just before the table (0..7) that may be alignment padding
};

// Looks at the headers of `file` (of `size` bytes) for a certificate table that ends at the
// end of the file and lies after the image. 1 and `table` filled when there is one; 0 for every
// other file. Reads only the headers, the section table and the 7 bytes before the table, through
// the platform's file calls; the file position is left anywhere.
int FindCertificateTable(FileHandle file, uint32_t size, CertificateTable* table);
