// The host installer's entry: the same program as on Windows, over the simulated platform. It
// installs into the sandbox folder ($SS_SANDBOX, default ./sandbox) and waits for real.
#include <stdio.h>
#include <stdlib.h>

#include "platform/entry.h"
#include "platform/host/host.h"

// sspack recognises this build of the installer as a stub by these bytes.
extern "C" __attribute__((used)) const char kSsinstallerHostStub[] =
    "ssinstaller host stub marker 1";

int main() {
    HostReset();
    HostUseVirtualClock(false);
    int code = InstallerMain(1);
    const char* trace = getenv("SS_TRACE");
    if (trace && *trace == '1')
        for (const std::string& e : HostEvents())
            fprintf(stderr, "%s\n", e.c_str());
    return code;
}
