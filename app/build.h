// The build sequence: writes the screen saver file into the Windows directory as a new payload
// archive (the screen saver program plain at offset 0, then the entries it reads), activates it,
// registers its uninstall entry, prepares the document of follow-up action 3 and reports the
// outcome.
//
// The screen saver file, in the order written:
//   SAVER (expanded, unscrambled) | STUB | MOVIE | INFO (6,148 bytes, compressed) |
//   [PREVIEWB] | [PREVIEWF, or an alias of MOVIE when they share data] | ZETT | KMDL |
//   ADDTL, ADDTL01, ADDTL02 ... as long as they follow without a gap | directory
#pragma once

#include <stdint.h>

#include "platform/types.h"

constexpr uint32_t kDocumentPathSize = 256;
constexpr uint32_t kSeriesNameSize = 64;
extern const char kDisplayPropertiesTitle[];  // "Display Properties"

// Where the document of follow-up action 3 was placed (PlaceDocument); empty when it was not.
extern char DocumentTempPath[kDocumentPathSize];

// Runs the whole sequence once. Sets InstallSucceeded to 1 when no error is latched at the end
// and to 0 otherwise (left alone on the damaged-installer path). Shows at most one message
// through ReportOnce. Returns 0.
int BuildScreenSaver();

// The top-level window titled exactly "Display Properties", or 0.
PlatWindow FindDisplayProperties();

// Closes an open "Display Properties": its child titled like the installer gets IDCANCEL
// (100 ms pause), the window itself WM_QUIT (300 ms pause). Returns the window, or 0 when none
// was open.
PlatWindow CloseDisplayProperties();

// Copies `base`, then base01, base02 ... (flags 0) until the first that fails; that failure is
// never latched: the latch ends as it was.
void CopyNumberedSeries(const char* base);

// The document's file name from the INFO document path (after its last backslash) when it is
// safe to write into the document's folder: not empty, "." or "..", without '/', ':' or a
// control character, not a device name (CON, PRN, AUX, NUL, COM1-9, LPT1-9, with or without an
// extension), and short enough to fit DocumentTempPath. Null otherwise.
const char* DocumentFileName();

// 1 when the screen saver's file name (from INFO: the name and ".scr") and the name before its
// ".scr" are both safe file names (IsSafeFileName): a plain name inside the Windows directory,
// never a path, a stream or a device.
int IsSafeScreenSaverName(const char* file_name);

// DocumentTempPath back to empty (program start; tests).
void ResetBuild();
