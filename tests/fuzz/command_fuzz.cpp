// Any registry text as the open command of a document's file type: the command line formed from
// it never runs past its buffer, ends in a NUL, and keeps the text around the placeholders as it
// was. Half of the runs take the text through the simulated registry (a class name and a
// command, either value type, with or without a NUL), so that reading the values is tried too.
#include <stdint.h>
#include <stdio.h>
#include <string.h>

#include <string>
#include <vector>

#include "app/followup.h"
#include "platform/host/host.h"
#include "platform/host/host_launch.h"
#include "platform/host/host_shell.h"
#include "platform/launch.h"
#include "platform/shell.h"
#include "tests/fuzz/fuzz_support.h"

namespace {

void Check(bool condition) {
    if (!condition) __builtin_trap();
}

void SetDefaultValue(const char* subkey, uint32_t type, const std::string& bytes) {
    PlatKey key;
    Check(PlatRegCreateKey(kHkeyClassesRoot, subkey, kKeyAllAccess, &key) == kErrorSuccess);
    PlatRegSetValue(key, nullptr, type, bytes.data(), static_cast<uint32_t>(bytes.size()));
    PlatRegCloseKey(key);
}

// Through the registry: the bytes up to the first 0xFF are the class name, the rest the command.
void ThroughRegistry(const std::string& text, uint8_t control) {
    static bool ready = false;
    if (!ready) {
        HostSetSandbox(PrivateFolder());
        ready = true;
    }
    HostShellReset();
    HostLaunchReset();
    std::remove(HostRegistryFile().c_str());
    size_t split = text.find('\xFF');
    std::string class_name = text.substr(0, split);
    std::string command = split == std::string::npos ? "" : text.substr(split + 1);
    SetDefaultValue(".htm", control & 4 ? kRegExpandSz : kRegSz, class_name);
    std::string class_key = std::string(class_name.c_str()) + "\\shell\\Open\\Command";
    SetDefaultValue(class_key.c_str(), control & 8 ? kRegExpandSz : kRegSz, command);
    const char* path = control & 16 ? "C:\\WINDOWS\\TEMP\\read me.htm" : "";
    OpenDocument(path);
    for (const std::string& started : HostStartedCommands())
        Check(started.size() < kCommandLineSize);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // Byte 0: how the run goes (bit 0 through the registry); byte 1: the buffer's size. The rest:
    // the template, and after a NUL the document's path.
    if (size < 2) return 0;
    const uint8_t control = data[0];
    const uint32_t out_size = data[1];
    std::string text(reinterpret_cast<const char*>(data + 2), size - 2);
    if (control & 1) {
        ThroughRegistry(text, control);
        return 0;
    }
    const std::string command_template = text.c_str();
    const size_t nul = text.find('\0');
    const std::string path = nul == std::string::npos ? "" : text.substr(nul + 1).c_str();
    // Exact size: AddressSanitizer reports any byte written past it.
    std::vector<char> out(out_size ? out_size : 1);
    const int formed =
        FormCommandLine(out.data(), out_size, command_template.c_str(), path.c_str());
    if (!formed) return 0;
    Check(out_size > 0);
    Check(memchr(out.data(), '\0', out_size) != nullptr);
    const std::string line = out.data();
    // Without a placeholder the path follows the template after a space.
    if (command_template.find('%') == std::string::npos)
        Check(line == command_template + " " + path);
    // The text before the first '%' is kept as it was (an empty path may trim its quote and
    // spaces).
    const std::string head = command_template.substr(0, command_template.find('%'));
    if (!path.empty() || command_template.find('%') == std::string::npos)
        Check(line.compare(0, head.size(), head) == 0);
    return 0;
}
