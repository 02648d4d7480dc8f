// The safe-name rule that the installer and the packager share: one row per way a name can
// reach another file, a device or a stream on Windows.
#include <gtest/gtest.h>

#include "archive/file_name.h"

namespace {

struct NameRow {
    const char* name;
    FileNameFault fault;
};

const NameRow kRows[] = {
    {"Aquarium", kNameSafe},
    {"Aquarium.scr", kNameSafe},
    {"read me.txt", kNameSafe},
    {"CONSOLE", kNameSafe},  // only the exact device names are reserved
    {"COM10", kNameSafe},    // COM and LPT take one digit
    {"LPT", kNameSafe},
    {"\xE9t\xE9", kNameSafe},  // ANSI letters above 0x7F
    {".hidden", kNameSafe},
    {"", kNameEmpty},
    {"a\x01"
     "b",
     kNameControl},
    {"tab\there", kNameControl},
    {"del\x7F", kNameControl},
    {"..\\..\\Users\\Public\\evil", kNameReserved},
    {"a/b", kNameReserved},
    {"C:evil", kNameReserved},
    {"file:stream", kNameReserved},
    {"what?", kNameReserved},
    {"star*", kNameReserved},
    {"\"q\"", kNameReserved},
    {"<>", kNameReserved},
    {"pipe|", kNameReserved},
    {".", kNameDots},
    {"..", kNameDots},
    {" . ", kNameDots},
    {"a..b", kNameDots},
    {"saver.", kNameTrailing},
    {"saver ", kNameTrailing},
    {"NUL", kNameDevice},
    {"nul", kNameDevice},
    {"Con", kNameDevice},
    {"COM1", kNameDevice},
    {"com0", kNameDevice},
    {"LPT9", kNameDevice},
    {"LPT1.txt", kNameDevice},
    {"NUL .txt", kNameDevice},
    {"AUX  .txt", kNameDevice},
    {"CONIN$", kNameDevice},
    {"conout$.log", kNameDevice},
    {"CLOCK$", kNameDevice},
    {"PRN.tar.gz", kNameDevice},
    {"COM\xB9", kNameDevice},  // superscript one in the ANSI code page
    {"LPT\xB2.x", kNameDevice},
    {"COM\xB3", kNameDevice},
};

TEST(FileName, EachWayOutIsNamed) {
    for (const NameRow& row : kRows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(CheckFileName(row.name), row.fault);
        EXPECT_EQ(IsSafeFileName(row.name), row.fault == kNameSafe ? 1 : 0);
    }
}

}  // namespace
