// State of the host simulation shared by its files, windows and system calls: the sandbox, the
// event log, injected faults, queued answers and the virtual clock.
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>

#include <set>

#include "platform/host/host.h"
#include "platform/host/host_launch.h"
#include "platform/host/sim_internal.h"

namespace {

std::string sandbox_dir;              // folder standing for the machine's drives
std::string module_file = "-";        // what GetModuleFileNameA reports ("-": the exe)
bool logging;                         // the event log is kept (on after HostReset)
std::vector<std::string> events;      // one line per platform call
int call_counts[kHostCallKinds];      // calls per kind since the faults were reset
int fail_nth[kHostCallKinds];         // the call of each kind that fails, 0 none
uint32_t fail_short[kHostCallKinds];  // bytes a failing read or write still moves
uint64_t disk_limit = UINT64_MAX;     // bytes that may be written in all
uint64_t disk_used;                   // bytes written since the faults were reset
std::vector<int> answers;             // scripted answers to boxes and dialogs
void (*answer_hook)();                // runs while a box or dialog waits for its answer
std::vector<HostMessageBox> boxes;    // every message box shown
std::set<std::string> held_files;     // real paths another program keeps open
bool virtual_clock = true;            // record pauses instead of waiting
uint64_t clock_ms;                    // virtual time

}  // namespace

namespace {
void (*reset_hooks[8])();  // registered by the linked parts of the simulation
int reset_hook_count;
}  // namespace

bool SimAddResetHook(void (*reset)()) {
    if (reset_hook_count < 8) reset_hooks[reset_hook_count++] = reset;
    return true;
}

void HostResetFaults() {
    for (int i = 0; i < kHostCallKinds; ++i)
        call_counts[i] = fail_nth[i] = 0;
    disk_limit = UINT64_MAX;
    disk_used = 0;
}

void HostReset() {
    HostResetFaults();
    events.clear();
    held_files.clear();
    answers.clear();
    answer_hook = nullptr;
    boxes.clear();
    clock_ms = 0;
    module_file = "-";
    logging = true;
    for (int i = 0; i < reset_hook_count; ++i)
        reset_hooks[i]();
}

void HostSetSandbox(const std::string& dir) {
    sandbox_dir = dir;
}

std::string HostSandbox() {
    if (!sandbox_dir.empty()) return sandbox_dir;
    const char* env = getenv("SS_SANDBOX");
    return env && *env ? env : "./sandbox";
}

void HostSetModuleFileName(const std::string& path) {
    module_file = path;
}
const std::string& SimModuleFileName() {
    return module_file;
}

void HostSetLogging(bool on) {
    logging = on;
}

void HostLog(const char* format, ...) {
    if (!logging) return;
    char line[1024];
    va_list args;
    va_start(args, format);
    vsnprintf(line, sizeof line, format, args);
    va_end(args);
    events.push_back(line);
}

const std::vector<std::string>& HostEvents() {
    return events;
}
void HostClearEvents() {
    events.clear();
}

std::vector<std::string> HostEventsStartingWith(const std::string& prefix) {
    std::vector<std::string> out;
    for (const std::string& e : events)
        if (e.compare(0, prefix.size(), prefix) == 0) out.push_back(e);
    return out;
}

void HostFailCall(HostCall kind, int nth, uint32_t short_count) {
    fail_nth[kind] = nth;
    fail_short[kind] = short_count;
}

void HostSetDiskLimit(uint64_t bytes) {
    disk_limit = bytes;
}
int HostCallCount(HostCall kind) {
    return call_counts[kind];
}

bool SimCallFails(HostCall kind, uint32_t* short_count) {
    int n = ++call_counts[kind];
    if (fail_nth[kind] != n) return false;
    if (short_count) *short_count = fail_short[kind];
    return true;
}

uint32_t SimDiskAllows(uint32_t count) {
    uint64_t room = disk_limit > disk_used ? disk_limit - disk_used : 0;
    uint32_t allowed = room < count ? static_cast<uint32_t>(room) : count;
    disk_used += allowed;
    return allowed;
}

void HostQueueAnswer(int answer) {
    answers.push_back(answer);
}
void HostOnAnswer(void (*hook)()) {
    answer_hook = hook;
}
bool SimTakeAnswer(int* answer) {
    if (answer_hook) answer_hook();
    if (answers.empty()) return false;
    *answer = answers.front();
    answers.erase(answers.begin());
    return true;
}

const std::vector<HostMessageBox>& HostMessageBoxes() {
    return boxes;
}
void SimRecordBox(const HostMessageBox& box) {
    boxes.push_back(box);
}

void HostUseVirtualClock(bool on) {
    virtual_clock = on;
}
uint64_t HostClockMs() {
    return clock_ms;
}
bool SimVirtualClock() {
    return virtual_clock;
}
void SimAdvanceClock(uint32_t ms) {
    clock_ms += ms;
}

void HostHoldFile(const std::string& real_path) {
    held_files.insert(real_path);
}
void HostReleaseFile(const std::string& real_path) {
    held_files.erase(real_path);
}
bool HostFileHeld(const std::string& real_path) {
    return held_files.count(real_path) != 0;
}
