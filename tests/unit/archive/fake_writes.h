// A platform fake for sizes no test should write: while it is on, every file write reports all
// its bytes written and touches neither the file nor the buffer. The test binary is linked with
// the platform's write call wrapped (see CMakeLists.txt).
#pragma once

extern bool FakeWrites;
