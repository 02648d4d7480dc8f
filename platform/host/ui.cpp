// Host windows: an in-process simulation of the window manager and the thread's message queue.
// Windows of the installer run their procedures; windows that a test sets up for other
// programs record what they receive. Message boxes take scripted answers or ask on the terminal.
#include <stdio.h>
#include <stdlib.h>
#include <strings.h>
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
    PlatWindowProc proc;  // own windows and dialogs; null for other programs' windows, controls
    bool alive;
    HostWindowSpec desc;                 // owner, visibility, state, extended style
    std::vector<HostReceived> received;  // what a window without procedure was sent or posted
    int control_id;                      // a dialog control's id, 0 for top-level windows
    PlatWindow dialog;                   // the dialog a control belongs to
    bool is_dialog;                      // a dialog of this program: default processing paints
    bool invalid;                        // the update region is not empty: WM_PAINT is due
    bool ended;                          // a dialog ended by EndDialog
    intptr_t result;                     // the value given to EndDialog
    PlatRect rect;                       // screen rectangle
    uint32_t range_max;                  // a progress bar's range, 0..range_max
    uintptr_t position;                  // a progress bar's position
};

constexpr PlatWindow kDesktop = 0x10000;              // stands for the desktop window
constexpr PlatRect kDesktopRect = {0, 0, 1024, 768};  // the simulated screen
// WM_PAINT handed out this many times with no window validated and no posted message taken in
// between: a window that is never validated and a loop that takes nothing else, which Windows
// would spin in for ever. (The tick hook's pumping takes three at a time; it stays far below.)
constexpr int kEndlessPaints = 1000000;

std::map<std::string, PlatWindowProc> classes;  // registered classes of this program
std::vector<SimWindow> windows;                 // handle h is windows[h - 1]
std::vector<PlatWindow> z_order;                // top-level windows, the front one first
std::deque<PlatMessage> queue;                  // the thread's posted messages
int paints_in_a_row;                            // WM_PAINT handed out since the last validation

// A call that would never return on Windows: by default because nothing is queued, no window
// of the thread needs painting and no other thread can send anything. The test fails here,
// naming the call.
[[noreturn]] void Hang(const char* call, const char* why =
                                             "no message is queued, no window of the thread needs "
                                             "painting, and nothing else can send one") {
    fflush(stdout);
    fprintf(stderr, "host simulation: %s waits for ever: %s\n", call, why);
    abort();
}

PlatWindow Add(SimWindow window) {
    windows.push_back(window);
    PlatWindow handle = static_cast<PlatWindow>(windows.size());
    if (window.control_id == 0) z_order.insert(z_order.begin(), handle);
    return handle;
}

void RemoveFromZOrder(PlatWindow w) {
    for (size_t i = 0; i < z_order.size(); ++i)
        if (z_order[i] == w) z_order.erase(z_order.begin() + static_cast<long>(i--));
}

SimWindow NewWindow(const std::string& title, PlatWindowProc proc) {
    SimWindow w{};
    w.title = title;
    w.proc = proc;
    w.alive = true;
    w.rect = PlatRect{100, 100, 400, 300};
    return w;
}

bool progress_drawn;  // a progress line stands on the terminal without its line end

// Ends a drawn progress line before anything else is printed.
void EndProgressLine() {
    if (!progress_drawn) return;
    fprintf(stdout, "\n");
    progress_drawn = false;
}

void DrawProgress(const SimWindow& bar) {
    if (!isatty(1)) return;
    progress_drawn = true;
    const int width = 40;
    uint32_t max = bar.range_max ? bar.range_max : 1;
    uint32_t done = bar.position > max ? max : static_cast<uint32_t>(bar.position);
    int filled = static_cast<int>(static_cast<uint64_t>(done) * width / max);
    fprintf(stdout, "\r  [%.*s%*s] %3u%%", filled, "########################################",
            width - filled, "", static_cast<unsigned>(static_cast<uint64_t>(done) * 100 / max));
    fflush(stdout);
}

SimWindow* Find(PlatWindow w) {
    if (w <= 0 || static_cast<size_t>(w) > windows.size()) return nullptr;
    SimWindow* s = &windows[static_cast<size_t>(w) - 1];
    return s->alive ? s : nullptr;
}

// A window of this thread that Windows would paint: this program's visible windows and the
// controls of its dialogs. Other programs' windows are painted by their own threads.
bool OwnPaintable(const SimWindow& s) {
    return s.alive && (s.proc || s.control_id) && s.desc.visible;
}

void Invalidate(SimWindow* s) {
    if (OwnPaintable(*s)) s->invalid = true;
}

// BeginPaint/EndPaint: the update region is emptied and WM_PAINT stops coming.
void Validate(PlatWindow w) {
    SimWindow* s = Find(w);
    if (!s || !s->invalid) return;
    s->invalid = false;
    paints_in_a_row = 0;
    if (s->control_id)
        HostLog("Painted(%ld, control %d)", static_cast<long>(w), s->control_id);
    else
        HostLog("Painted(%ld)", static_cast<long>(w));
}

// What a control does with a message: it paints itself, a progress bar keeps its range and
// position, and a change of either is painted on the next WM_PAINT.
intptr_t ControlMessage(PlatWindow w, SimWindow* control, uint32_t message, uintptr_t wparam,
                        intptr_t lparam) {
    if (message == kWmPaint) {
        if (control->range_max || control->position) DrawProgress(*control);
        Validate(w);
    } else if (message == kPbmSetRange) {
        control->range_max = static_cast<uint32_t>(lparam) >> 16;
        Invalidate(control);
    } else if (message == kPbmSetPos && control->position != wparam) {
        control->position = wparam;
        Invalidate(control);
    }
    return 0;
}

intptr_t Deliver(PlatWindow w, uint32_t message, uintptr_t wparam, intptr_t lparam) {
    SimWindow* s = Find(w);
    if (!s) return 0;
    if (!s->proc) {
        s->received.push_back(HostReceived{message, wparam, lparam, false});
        return s->control_id ? ControlMessage(w, s, message, wparam, lparam) : 0;
    }
    bool dialog = s->is_dialog;
    intptr_t result = s->proc(w, message, wparam, lparam);
    // A dialog procedure that returns FALSE leaves the message to the dialog manager, whose
    // default processing paints the dialog.
    if (message == kWmPaint && dialog && result == 0) Validate(w);
    return result;
}

// The next message as GetMessageA and PeekMessageA see it: posted messages first; when none is
// left, WM_PAINT for the first window whose update region is not empty. WM_PAINT is never
// queued, and taking it does not remove it: it comes again until the window is validated.
bool NextMessage(PlatMessage* out, const char* call) {
    if (!queue.empty()) {
        *out = queue.front();
        queue.pop_front();
        paints_in_a_row = 0;
        return true;
    }
    for (size_t i = 0; i < windows.size(); ++i) {
        if (!windows[i].invalid || !OwnPaintable(windows[i])) continue;
        if (++paints_in_a_row > kEndlessPaints)
            Hang(call, "WM_PAINT comes again and again for a window that is never validated");
        *out = PlatMessage{static_cast<PlatWindow>(i + 1), kWmPaint, 0, 0};
        return true;
    }
    return false;
}

void ResetWindows() {
    classes.clear();
    windows.clear();
    z_order.clear();
    queue.clear();
    paints_in_a_row = 0;
}

// Hooks the window state into HostReset; the tools link the file calls without it.
const bool kResetRegistered = SimAddResetHook(ResetWindows);

}  // namespace

int PlatRegisterClass(const char* class_name, uint32_t class_style, PlatWindowProc proc,
                      int icon_id, int background) {
    int ok = !SimCallFails(kHostRegisterClass, nullptr);
    if (ok) classes[class_name] = proc;
    HostLog("RegisterClassExA(%s, style=%u, icon=%d, background=%d) = %d", class_name, class_style,
            icon_id, background, ok);
    return ok;
}

PlatWindow PlatCreateWindow(uint32_t ex_style, const char* class_name, const char* title,
                            uint32_t style) {
    auto it = classes.find(class_name);
    if (it == classes.end()) {
        HostLog("CreateWindowExA(%u, %s, %s, 0x%X) = 0", ex_style, class_name, title, style);
        return 0;
    }
    SimWindow window = NewWindow(title, it->second);
    window.class_name = class_name;
    window.desc.visible = (style & kWsVisible) != 0;
    window.desc.ex_style = ex_style;
    window.invalid = window.desc.visible;
    PlatWindow w = Add(window);
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
    if (!NextMessage(out, "GetMessageA")) Hang("GetMessageA");
    HostLog("GetMessageA() = 0x%X", out->message);
    return out->message == kWmQuit ? 0 : 1;
}

int PlatPeekMessage(PlatMessage* out) {
    if (!NextMessage(out, "PeekMessageA")) return 0;
    HostLog("PeekMessageA(PM_REMOVE) = 0x%X", out->message);
    return 1;
}

void PlatDispatchMessage(const PlatMessage* message) {
    Deliver(message->window, message->message, message->wparam, message->lparam);
}

intptr_t PlatDefWindowProc(PlatWindow window, uint32_t message, uintptr_t, intptr_t) {
    if (message == kWmPaint) Validate(window);
    return 0;
}

int PlatDestroyWindow(PlatWindow window) {
    HostLog("DestroyWindow(%ld)", static_cast<long>(window));
    if (!Find(window)) return 0;
    Deliver(window, kWmDestroy, 0, 0);
    windows[static_cast<size_t>(window) - 1].alive = false;
    RemoveFromZOrder(window);
    return 1;
}

void PlatPostQuitMessage(int code) {
    HostLog("PostQuitMessage(%d)", code);
    queue.push_back(PlatMessage{0, kWmQuit, static_cast<uintptr_t>(code), 0});
}

// Asks on the terminal; Yes/No boxes accept y or n, anything else counts as the default.
static int AskTerminal(const char* text, const char* caption, uint32_t style) {
    EndProgressLine();
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
    SimWindow* s = Find(window);
    if (!s || s->control_id) return 0;
    RemoveFromZOrder(window);
    z_order.insert(z_order.begin(), window);
    return 1;
}

// RDW_UPDATENOW paints at once, before the call returns, what is already invalid: WM_PAINT is
// sent to the window, then (RDW_ALLCHILDREN) to each of its controls that needs it.
void PlatPaintNow(PlatWindow window) {
    HostLog("RedrawWindow(%ld, RDW_UPDATENOW|RDW_ALLCHILDREN)", static_cast<long>(window));
    SimWindow* s = Find(window);
    if (s && s->invalid) Deliver(window, kWmPaint, 0, 0);
    for (size_t i = 0; i < windows.size(); ++i)
        if (windows[i].alive && windows[i].dialog == window && windows[i].invalid)
            Deliver(static_cast<PlatWindow>(i + 1), kWmPaint, 0, 0);
}

void HostInvalidateWindow(intptr_t window) {
    SimWindow* s = Find(window);
    if (s) Invalidate(s);
}

int PlatEndDialog(PlatWindow dialog, intptr_t result) {
    HostLog("EndDialog(%ld, %ld)", static_cast<long>(dialog), static_cast<long>(result));
    SimWindow* s = Find(dialog);
    if (!s) return 0;
    s->ended = true;
    s->result = result;
    return 1;
}

intptr_t HostAddWindow(const HostWindowSpec& desc) {
    SimWindow window = NewWindow(desc.title, nullptr);
    window.desc = desc;
    return Add(window);
}

std::vector<HostReceived> HostWindowMessages(intptr_t window) {
    SimWindow* s = Find(window);
    return s ? s->received : std::vector<HostReceived>{};
}

// Top-level windows only, the front one first, the title compared without regard to case.
PlatWindow PlatFindWindow(const char* title) {
    PlatWindow found = 0;
    for (PlatWindow w : z_order)
        if (Find(w) && strcasecmp(Find(w)->title.c_str(), title) == 0) {
            found = w;
            break;
        }
    HostLog("FindWindowA(NULL, \"%s\") = %ld", title, static_cast<long>(found));
    return found;
}

PlatWindow PlatGetParent(PlatWindow window) {
    SimWindow* s = Find(window);
    PlatWindow parent = s ? s->desc.parent : 0;
    HostLog("GetParent(%ld) = %ld", static_cast<long>(window), static_cast<long>(parent));
    return parent;
}

namespace {

struct ControlSpec {
    int id;
    const char* text;
};
struct DialogTemplate {
    int id;
    int32_t width;  // pixels, as the dialog manager would lay the template out
    int32_t height;
    ControlSpec controls[4];
};
// The dialogs of the installer's resources.
const DialogTemplate kTemplates[] = {
    {1010, 261, 68, {{200, ""}, {1001, "Installing screensaver..."}, {1000, "Progress1"}, {0, ""}}},
    {1030, 330, 110, {{1031, ""}, {6, "Yes"}, {7, "No"}, {0, ""}}},
};

std::string ControlText(PlatWindow dialog, int id) {
    for (const SimWindow& w : windows)
        if (w.alive && w.dialog == dialog && w.control_id == id) return w.title;
    return "";
}

// The button a user presses in a confirmation dialog: a scripted answer, the terminal, or Yes.
int DialogAnswer(PlatWindow dialog) {
    int answer = 0;
    if (SimTakeAnswer(&answer)) return answer;
    if (!isatty(0)) return kIdYes;
    std::string yes = ControlText(dialog, kIdYes), no = ControlText(dialog, kIdNo);
    fprintf(stdout, "\n+-- %s\n| %s\n+-- [%s] / %s ? ", Find(dialog)->title.c_str(),
            ControlText(dialog, 1031).c_str(), yes.c_str(), no.c_str());
    fflush(stdout);
    char line[128];
    if (!fgets(line, sizeof line, stdin)) return kIdYes;
    std::string typed(line);
    while (!typed.empty() && (typed.back() == '\n' || typed.back() == '\r'))
        typed.pop_back();
    if (typed.empty() || typed == "y" || typed == "Y" || typed == yes) return kIdYes;
    return kIdNo;
}

}  // namespace

intptr_t PlatDialogBox(int template_id, PlatWindow owner, PlatWindowProc proc, intptr_t param) {
    const DialogTemplate* t = nullptr;
    for (const DialogTemplate& candidate : kTemplates)
        if (candidate.id == template_id) t = &candidate;
    if (!t) {
        HostLog("DialogBoxParamA(%d, owner=%ld) = -1", template_id, static_cast<long>(owner));
        return -1;
    }
    SimWindow window = NewWindow("", proc);
    window.desc.parent = owner;
    window.desc.visible = false;  // the template has no WS_VISIBLE: shown after WM_INITDIALOG
    window.is_dialog = true;
    window.rect = PlatRect{0, 0, t->width, t->height};
    PlatWindow dialog = Add(window);
    for (const ControlSpec& c : t->controls) {
        if (c.id == 0) continue;
        SimWindow control = NewWindow(c.text, nullptr);
        control.control_id = c.id;
        control.dialog = dialog;
        Add(control);
    }
    HostLog("DialogBoxParamA(%d, owner=%ld) opened %ld", template_id, static_cast<long>(owner),
            static_cast<long>(dialog));
    proc(dialog, kWmInitDialog, 0, param);
    // The dialog manager shows the dialog: it and its controls need painting, and a user may
    // then press a button.
    for (size_t i = 0; i < windows.size(); ++i) {
        SimWindow& w = windows[i];
        if (!w.alive || (static_cast<PlatWindow>(i + 1) != dialog && w.dialog != dialog)) continue;
        w.desc.visible = true;
        w.invalid = true;
    }
    if (template_id == 1030) PlatPostMessage(dialog, kWmCommand, DialogAnswer(dialog), 0);
    PlatMessage m;
    char call[32];
    snprintf(call, sizeof call, "DialogBoxParamA(%d)", template_id);
    while (!windows[static_cast<size_t>(dialog) - 1].ended) {
        if (!NextMessage(&m, call)) Hang(call);
        if (m.message == kWmQuit) {
            // The modal loop ends and leaves the quit message for the loop outside it.
            queue.push_front(m);
            break;
        }
        PlatDispatchMessage(&m);
    }
    SimWindow& done = windows[static_cast<size_t>(dialog) - 1];
    intptr_t result = done.ended ? done.result : -1;
    done.alive = false;
    RemoveFromZOrder(dialog);
    for (SimWindow& w : windows)
        if (w.dialog == dialog) w.alive = false;
    EndProgressLine();
    HostLog("DialogBoxParamA(%d) = %ld", template_id, static_cast<long>(result));
    return result;
}

PlatWindow PlatGetDlgItem(PlatWindow dialog, int control_id) {
    for (size_t i = 0; i < windows.size(); ++i)
        if (windows[i].alive && windows[i].dialog == dialog && windows[i].control_id == control_id)
            return static_cast<PlatWindow>(i + 1);
    return 0;
}

int PlatSetWindowText(PlatWindow window, const char* text) {
    HostLog("SetWindowTextA(%ld, \"%s\")", static_cast<long>(window), text);
    SimWindow* s = Find(window);
    if (!s) return 0;
    s->title = text;
    if (s->control_id) Invalidate(s);  // a control shows its new text on its next paint
    return 1;
}

int PlatGetWindowText(PlatWindow window, char* buffer, int size) {
    SimWindow* s = Find(window);
    if (size <= 0) return 0;
    std::string text = s ? s->title : "";
    int n = static_cast<int>(text.size()) < size - 1 ? static_cast<int>(text.size()) : size - 1;
    text.copy(buffer, static_cast<size_t>(n));
    buffer[n] = '\0';
    return n;
}

PlatWindow PlatGetDesktopWindow() {
    return kDesktop;
}

int PlatGetWindowRect(PlatWindow window, PlatRect* rect) {
    if (window == kDesktop) {
        *rect = kDesktopRect;
        return 1;
    }
    SimWindow* s = Find(window);
    if (!s) return 0;
    *rect = s->rect;
    return 1;
}

int PlatMoveWindow(PlatWindow window, int32_t x, int32_t y, int32_t width, int32_t height,
                   int repaint) {
    HostLog("MoveWindow(%ld, %d, %d, %d, %d, %d)", static_cast<long>(window), x, y, width, height,
            repaint);
    SimWindow* s = Find(window);
    if (!s) return 0;
    s->rect = PlatRect{x, y, x + width, y + height};
    return 1;
}

// The desktop's first child is the front top-level window; GW_HWNDNEXT goes one step back.
PlatWindow PlatGetWindow(PlatWindow window, uint32_t relation) {
    if (relation == kGwChild && window == kDesktop) return z_order.empty() ? 0 : z_order[0];
    if (relation != kGwHwndNext) return 0;
    for (size_t i = 0; i + 1 < z_order.size(); ++i)
        if (z_order[i] == window) return z_order[i + 1];
    return 0;
}

int PlatIsWindow(PlatWindow window) {
    return Find(window) != nullptr;
}
int PlatIsIconic(PlatWindow window) {
    return Find(window) && Find(window)->desc.iconic;
}
int PlatIsWindowVisible(PlatWindow window) {
    return Find(window) && Find(window)->desc.visible;
}

int32_t PlatGetWindowLong(PlatWindow window, int index) {
    SimWindow* s = Find(window);
    if (!s || index != kGwlExStyle) return 0;
    return static_cast<int32_t>(s->desc.ex_style);
}

void PlatRestrictDllSearch() {
    HostLog("SetDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32) = 1");
}

int PlatInitCommonControls(uint32_t classes) {
    // The Windows build names the library alone; the restricted search finds the system's.
    HostLog("LoadLibraryA(COMCTL32.DLL) = 1");
    HostLog("InitCommonControlsEx(8, 0x%X) = 1", classes);
    return 1;
}
