// The one rule for a name that the installer, or the packager, joins to a folder to make a file:
// the screen saver's name in the Windows directory, the document's name in the temporary
// directory, an entry's name in an extraction folder. A safe name is a plain name that Windows
// opens as a file inside that folder, never a path, a stream, a device or another file.
#pragma once

// What is wrong with a name; kNameSafe when nothing is.
enum FileNameFault {
    kNameSafe = 0,
    kNameEmpty,     // no characters
    kNameControl,   // a byte below 0x20, or 0x7F
    kNameReserved,  // one of \ / : * ? " < > | (a folder, a drive, a stream or a wildcard)
    kNameDots,      // "..", or only dots and spaces
    kNameTrailing,  // ends in a dot or a space, which Windows drops when it opens the file
    kNameDevice,    // CON, PRN, AUX, NUL, CLOCK$, CONIN$, CONOUT$, COM0-9, LPT0-9, with any
                    // extension and spaces before it, in any case
};

// Takes a NUL-terminated name in the ANSI code page; never reads past its terminator.
FileNameFault CheckFileName(const char* name);

// 1 when CheckFileName finds nothing wrong, else 0.
int IsSafeFileName(const char* name);
