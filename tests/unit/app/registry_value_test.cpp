// The registry text reader: a value is read into 256 bytes and must end in a NUL there.
#include <gtest/gtest.h>

#include "app/followup.h"
#include "platform/host/host.h"
#include "platform/host/host_shell.h"
#include "tests/unit/support/test_support.h"

namespace {

TEST(ReadDefaultValue, AValueMustFitWithItsNul) {
    struct Row {
        const char* tag;
        size_t length;  // characters stored, without a NUL
        bool with_nul;
        bool read;
    } rows[] = {
        {"255 characters and the NUL", 255, true, true},
        {"255 characters, no NUL: terminated here", 255, false, true},
        {"256 characters, no NUL: cut, so refused", 256, false, false},
        {"256 characters and the NUL", 256, true, false},
    };
    ScratchDir dir;
    for (const Row& row : rows) {
        SCOPED_TRACE(row.tag);
        HostReset();
        HostShellReset();
        HostSetSandbox(dir.path());
        std::string data(row.length, 'v');
        size_t size = row.length + (row.with_nul ? 1 : 0);
        std::string quoted = data + (row.with_nul ? "\\x00" : "");
        HostSetRegistryText("[HKEY_CLASSES_ROOT\\.big]\n\"\" = REG_SZ, " + std::to_string(size) +
                            " bytes: \"" + quoted + "\"\n");
        const char* text = ReadDefaultValue(kHkeyClassesRoot, ".big");
        ASSERT_EQ(text != nullptr, row.read);
        if (text) {
            EXPECT_EQ(std::string(text), data);
        }
    }
}

}  // namespace
