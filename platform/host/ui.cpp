// Host windows: an in-process simulation of the window manager and the thread's message queue.
// Windows of the installer run their procedures; windows that a test sets up for other
// programs record what they receive. Message boxes take scripted answers or ask on the terminal.
#include <stdio.h>
#include <unistd.h>

#include <deque>
#include <map>
#include <string>
#include <vector>

#include "platform/host/host.h"
#include "platform/host/sim_internal.h"
#include "platform/ui.h"

namespace {

struct SimWindow {
    std::string class_name;
    std::string title;
    PlatWindowProc proc;  // null for other programs' windows
    bool alive;
    HostWindowSpec spec;                 // parent and state of another program's window
    std::vector<HostReceived> received;  // what another program's window was sent or posted
};

std::map<std::string, PlatWindowProc> classes;  // registered classes of this program
std::vector<SimWindow> windows;                 // handle h is windows[h - 1]
std::deque<PlatMessage> queue;                  // the thread's posted messages

SimWindow* Find(PlatWindow w) {
    if (w <= 0 || static_cast<size_t>(w) > windows.size()) return nullptr;
    SimWindow* s = &windows[static_cast<size_t>(w) - 1];
    return s->alive ? s : nullptr;
}

intptr_t Deliver(PlatWindow w, uint32_t message, uintptr_t wparam, intptr_t lparam) {
    SimWindow* s = Find(w);
    if (!s) return 0;
    if (!s->proc) {
        s->received.push_back(HostReceived{message, wparam, lparam, false});
        return 0;
    }
    return s->proc(w, message, wparam, lparam);
}

void ResetWindows() {
    classes.clear();
    windows.clear();
    queue.clear();
}

// Hooks the window state into HostReset; the tools link the file calls without it.
const bool kResetRegistered = (SimResetWindows = ResetWindows, true);

}  // namespace

int PlatRegisterClass(const char* class_name, uint32_t class_style, PlatWindowProc proc,
                      int icon_id, int background) {
    classes[class_name] = proc;
    HostLog("RegisterClassExA(%s, style=%u, icon=%d, background=%d) = 1", class_name, class_style,
            icon_id, background);
    return 1;
}

PlatWindow PlatCreateWindow(uint32_t ex_style, const char* class_name, const char* title,
                            uint32_t style) {
    auto it = classes.find(class_name);
    if (it == classes.end()) {
        HostLog("CreateWindowExA(%u, %s, %s, 0x%X) = 0", ex_style, class_name, title, style);
        return 0;
    }
    windows.push_back(SimWindow{class_name, title, it->second, true, HostWindowSpec{}, {}});
    PlatWindow w = static_cast<PlatWindow>(windows.size());
    HostLog("CreateWindowExA(%u, %s, %s, 0x%X) = %ld", ex_style, class_name, title, style,
            static_cast<long>(w));
    Deliver(w, kWmCreate, 0, 0);
    return w;
}

int PlatPostMessage(PlatWindow window, uint32_t message, uintptr_t wparam, intptr_t lparam) {
    HostLog("PostMessageA(%ld, 0x%X, %lu, %ld)", static_cast<long>(window), message,
            static_cast<unsigned long>(wparam), static_cast<long>(lparam));
    SimWindow* target = Find(window);
    if (target && !target->proc) {
        // Another program's window: its own thread's queue takes it.
        target->received.push_back(HostReceived{message, wparam, lparam, true});
        return 1;
    }
    queue.push_back(PlatMessage{window, message, wparam, lparam});
    return 1;
}

intptr_t PlatSendMessage(PlatWindow window, uint32_t message, uintptr_t wparam, intptr_t lparam) {
    HostLog("SendMessageA(%ld, 0x%X, %lu, %ld)", static_cast<long>(window), message,
            static_cast<unsigned long>(wparam), static_cast<long>(lparam));
    return Deliver(window, message, wparam, lparam);
}

int PlatGetMessage(PlatMessage* out) {
    if (queue.empty()) {
        // A real loop would wait for ever; the simulation ends it so that a test cannot hang.
        HostLog("GetMessageA() = 0 (queue empty)");
        return 0;
    }
    *out = queue.front();
    queue.pop_front();
    HostLog("GetMessageA() = 0x%X", out->message);
    return out->message == kWmQuit ? 0 : 1;
}

int PlatPeekMessage(PlatMessage* out) {
    if (queue.empty()) return 0;
    *out = queue.front();
    queue.pop_front();
    HostLog("PeekMessageA(PM_REMOVE) = 0x%X", out->message);
    return 1;
}

void PlatDispatchMessage(const PlatMessage* message) {
    Deliver(message->window, message->message, message->wparam, message->lparam);
}

intptr_t PlatDefWindowProc(PlatWindow, uint32_t, uintptr_t, intptr_t) {
    return 0;
}

int PlatDestroyWindow(PlatWindow window) {
    HostLog("DestroyWindow(%ld)", static_cast<long>(window));
    if (!Find(window)) return 0;
    Deliver(window, kWmDestroy, 0, 0);
    windows[static_cast<size_t>(window) - 1].alive = false;
    return 1;
}

void PlatPostQuitMessage(int code) {
    HostLog("PostQuitMessage(%d)", code);
    queue.push_back(PlatMessage{0, kWmQuit, static_cast<uintptr_t>(code), 0});
}

// Asks on the terminal; Yes/No boxes accept y or n, anything else counts as the default.
static int AskTerminal(const char* text, const char* caption, uint32_t style) {
    bool yes_no = (style & 0xF) == kMbYesNo;
    fprintf(stdout, "\n+-- %s\n| %s\n+-- %s ", *caption ? caption : "(no title)", text,
            yes_no ? "[Y/n]" : "[OK]");
    fflush(stdout);
    char line[64];
    if (!fgets(line, sizeof line, stdin)) return yes_no ? kIdYes : kIdOk;
    if (!yes_no) return kIdOk;
    return (line[0] == 'n' || line[0] == 'N') ? kIdNo : kIdYes;
}

int PlatMessageBox(PlatWindow owner, const char* text, const char* caption, uint32_t style,
                   int icon_id) {
    int answer = 0;
    if (!SimTakeAnswer(&answer)) {
        if (isatty(0))
            answer = AskTerminal(text, caption, style);
        else
            answer = (style & 0xF) == kMbYesNo ? kIdYes : kIdOk;
    }
    SimRecordBox(HostMessageBox{owner, text, caption, style, icon_id, answer});
    HostLog("MessageBoxIndirectA(owner=%ld, \"%s\", \"%s\", 0x%X, icon=%d) = %d",
            static_cast<long>(owner), text, caption, style, icon_id, answer);
    return answer;
}

int PlatSetForegroundWindow(PlatWindow window) {
    HostLog("SetForegroundWindow(%ld)", static_cast<long>(window));
    return Find(window) != nullptr;
}

int PlatEndDialog(PlatWindow dialog, intptr_t result) {
    HostLog("EndDialog(%ld, %ld)", static_cast<long>(dialog), static_cast<long>(result));
    return 1;
}

intptr_t HostAddWindow(const HostWindowSpec& spec) {
    windows.push_back(SimWindow{"", spec.title, nullptr, true, spec, {}});
    return static_cast<intptr_t>(windows.size());
}

std::vector<HostReceived> HostWindowMessages(intptr_t window) {
    SimWindow* s = Find(window);
    return s ? s->received : std::vector<HostReceived>{};
}

PlatWindow PlatFindWindow(const char* title) {
    PlatWindow found = 0;
    for (size_t i = 0; i < windows.size() && !found; ++i)
        if (windows[i].alive && windows[i].title == title) found = static_cast<PlatWindow>(i + 1);
    HostLog("FindWindowA(NULL, \"%s\") = %ld", title, static_cast<long>(found));
    return found;
}

PlatWindow PlatGetParent(PlatWindow window) {
    SimWindow* s = Find(window);
    PlatWindow parent = s ? s->spec.parent : 0;
    HostLog("GetParent(%ld) = %ld", static_cast<long>(window), static_cast<long>(parent));
    return parent;
}
