// The command lines Windows, the display settings and users hand a screen saver.
#include <gtest/gtest.h>

#include "saver/switches.h"

namespace {

struct Row {
    const char* tag;
    const char* line;
    SaverMode mode;
    uintptr_t window;
};

const Row kRows[] = {
    {"no switch", "", kSaverConfigure, 0},
    {"null line", nullptr, kSaverConfigure, 0},
    {"blanks only", "  \t ", kSaverConfigure, 0},
    {"full screen", "/s", kSaverFullScreen, 0},
    {"full screen upper case", "/S", kSaverFullScreen, 0},
    {"dash", "-s", kSaverFullScreen, 0},
    {"dash upper case", "-S", kSaverFullScreen, 0},
    {"leading blanks", "   /s", kSaverFullScreen, 0},
    {"trailing words ignored", "/s /x", kSaverFullScreen, 0},
    {"quoted switch", "\"/s\"", kSaverFullScreen, 0},
    {"settings", "/c", kSaverConfigure, 0},
    {"settings with owner after colon", "/c:1234", kSaverConfigure, 1234},
    {"settings upper case with owner", "/C:987654", kSaverConfigure, 987654},
    {"settings with owner after blank", "/c 1234", kSaverConfigure, 1234},
    {"settings with bad owner", "/c:12ab", kSaverConfigure, 0},
    {"preview", "/p 4242", kSaverPreview, 4242},
    {"preview upper case", "/P 4242", kSaverPreview, 4242},
    {"preview after colon", "/p:77", kSaverPreview, 77},
    {"preview after tab", "-p\t 31", kSaverPreview, 31},
    {"preview followed by more", "/p 31 junk", kSaverPreview, 31},
    {"preview without window", "/p", kSaverPreview, 0},
    {"preview with text", "/p window", kSaverPreview, 0},
    {"preview with negative", "/p -5", kSaverPreview, 0},
    {"preview number overflowing", "/p 99999999999999999999999", kSaverPreview, 0},
    {"preview largest 64-bit number", "/p 18446744073709551615", kSaverPreview,
     static_cast<uintptr_t>(UINTPTR_MAX)},
    {"password", "/a 55", kSaverPassword, 55},
    {"uninstall", "/U", kSaverUninstall, 0},
    {"uninstall lower case", "/u", kSaverUninstall, 0},
    {"uninstall dash", "-U", kSaverUninstall, 0},
    {"word starting with s", "/save", kSaverUnknown, 0},
    {"unknown letter", "/x", kSaverUnknown, 0},
    {"bare slash", "/", kSaverUnknown, 0},
    {"no slash", "s", kSaverUnknown, 0},
    {"a path instead of a switch", "C:\\WINDOWS\\Aurora.scr", kSaverUnknown, 0},
    {"non-ASCII letter", "/\xD3", kSaverUnknown, 0},
};

TEST(SaverSwitches, Table) {
    for (const Row& row : kRows) {
        const SaverSwitches got = ParseSaverSwitches(row.line);
        EXPECT_EQ(got.mode, row.mode) << row.tag;
        EXPECT_EQ(got.window, row.window) << row.tag;
    }
}

}  // namespace
