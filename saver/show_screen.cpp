// The picture show's window.
//
// Each monitor has three frames of its size: the picture shown, the next one (decoded while the
// shown one stands, so that a transition never waits on a decoder) and the mix a fade draws
// into. Between transitions only the interval timer is set; a transition draws from a frame
// timer until it is over. Pictures that cannot be decoded are marked and passed over.
#include "saver/show_screen.h"

#include "saver/frame.h"
#include "saver/input.h"
#include "saver/music.h"
#include "saver/payload.h"
#include "saver/show_plan.h"
#include "saver/system.h"

static const char kShowClass[] = "SsShowWindow";
constexpr UINT_PTR kChangeTimer = 1;  // the interval: a transition is due
constexpr UINT_PTR kFrameTimer = 2;   // the next frame of a running transition
constexpr UINT kFrameMilliseconds = 10;
constexpr UINT kPrepareMessage = WM_APP + 1;  // decode the next picture now
constexpr int kMaxScreens = 8;
// A picture file larger than this is not read (no camera writes one; 64 MiB of memory at once).
constexpr uint32_t kMaxPictureBytes = 64u << 20;

struct Screen {
    RECT area;    // in the window's client coordinates
    Frame shown;  // the picture on the screen
    Frame next;   // the picture after it, ready once NextReady is 1
    Frame mix;    // a fade's blend of the two
};

static Screen Screens[kMaxScreens];  // the monitors, or the preview's one area
static int ScreenCount;
static ShowSettings Chosen;         // the show's settings as the person at the screen left them
static uint32_t Current, Upcoming;  // the picture shown, the one decoded into `next`
static uint32_t Seed;               // random order's state
static int NextReady;               // 1 when Upcoming is decoded on every screen
static int PreparePending;          // 1 when the next picture is still to be decoded
static int Moving;                  // 1 while a transition runs
static DWORD MoveStart;             // GetTickCount at its start
static uint32_t MoveFrames;         // frames drawn in this transition (for the figures)
static int FullScreen;              // 1 for /s
static const char* WindowTitle;
static uint8_t Broken[kShowMaxPictures / 8];  // 128 bytes: pictures that failed to decode
static char Figure[128];                      // a line of the figures the benchmark reads

// The figures go to the debugger (Wine prints them with +debugstr); the benchmark reads them.
static void Report(const char* format, DWORD a, DWORD b) {
    wsprintfA(Figure, format, a, b);
    OutputDebugStringA(Figure);
}

static int IsBroken(uint32_t i) {
    return Broken[i / 8] >> (i % 8) & 1;
}

// Reads picture `i` of the show into a movable block for the decoders; null when it cannot.
static HGLOBAL ReadPicture(const ShowPicture& picture) {
    if (picture.size > kMaxPictureBytes) return nullptr;
    HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, picture.size);
    void* bytes = block ? GlobalLock(block) : nullptr;
    if (!bytes) {
        if (block) GlobalFree(block);
        return nullptr;
    }
    const int read = ReadOwnFile(ShowMovieOffset + picture.offset, bytes, picture.size);
    GlobalUnlock(block);
    if (read) return block;
    GlobalFree(block);
    return nullptr;
}

// Decodes picture `i` into frame `which` of every screen (shown or next). 1 when it worked.
static int DecodeInto(uint32_t i, Frame Screen::*which) {
    ShowPicture picture;
    if (!ShowPictureAt(&Show, i, &picture)) return 0;
    for (int s = 0; s < ScreenCount; ++s) {
        Frame* frame = &(Screens[s].*which);
        HGLOBAL bytes = ReadPicture(picture);
        if (!bytes || !DecodePicture(bytes, picture.size, Chosen.fit, Show.background, frame))
            return 0;
        DrawCaption(frame, picture.caption, picture.caption_length);
    }
    return 1;
}

// Decodes the first picture that works from `start` on in the show's order; marks the others.
// Returns the picture's number, or -1 when no picture other than `avoid` works.
static int32_t DecodeFirstWorking(uint32_t start, uint32_t avoid, Frame Screen::*which) {
    uint32_t i = start;
    for (uint32_t tried = 0; tried < Show.picture_count; ++tried) {
        if (i != avoid && !IsBroken(i)) {
            if (DecodeInto(i, which)) return static_cast<int32_t>(i);
            Broken[i / 8] |= static_cast<uint8_t>(1u << (i % 8));
        }
        i = NextPicture(kShowSequential, Show.picture_count, i, &Seed);
    }
    return -1;
}

static void PrepareNext() {
    PreparePending = 0;
    const int32_t next = DecodeFirstWorking(
        NextPicture(Chosen.order, Show.picture_count, Current, &Seed), Current, &Screen::next);
    NextReady = next >= 0;
    if (NextReady) Upcoming = static_cast<uint32_t>(next);
    Report("next picture ready: processor time %lu ms at %lu ms", ProcessCpuMs(), MsSinceStart());
}

static void Blit(HDC dc, const Screen& screen, const Frame& frame, int x, int from, int width) {
    if (width > 0)
        BitBlt(dc, screen.area.left + x, screen.area.top, width, frame.height, frame.dc, from, 0,
               SRCCOPY);
}

static void DrawStep(HDC dc, Screen* screen, const TransitionStep& step) {
    const int w = screen->shown.width;
    if (step.done) {
        Blit(dc, *screen, screen->next, 0, 0, w);
    } else if (Chosen.transition == kShowFade) {
        BlendPixels(screen->mix.bits, screen->shown.bits, screen->next.bits,
                    static_cast<uint32_t>(w) * screen->mix.height, step.alpha);
        Blit(dc, *screen, screen->mix, 0, 0, w);
    } else if (Chosen.transition == kShowWipe) {
        Blit(dc, *screen, screen->next, 0, 0, step.split);
        Blit(dc, *screen, screen->shown, step.split, step.split, w - step.split);
    } else {  // slide: the new picture pushes the old one out to the left
        Blit(dc, *screen, screen->shown, 0, step.split, w - step.split);
        Blit(dc, *screen, screen->next, w - step.split, 0, step.split);
    }
}

static void EndTransition(HWND window) {
    Moving = 0;
    KillTimer(window, kFrameTimer);
    for (int s = 0; s < ScreenCount; ++s) {
        const Frame old = Screens[s].shown;
        Screens[s].shown = Screens[s].next;
        Screens[s].next = old;
    }
    Current = Upcoming;
    NextReady = 0;
    Report("transition: %lu frames in %lu ms", MoveFrames, GetTickCount() - MoveStart);
    PostMessageA(window, kPrepareMessage, 0, 0);
}

static void OnFrame(HWND window) {
    const DWORD elapsed = GetTickCount() - MoveStart;
    HDC dc = GetDC(window);
    int done = 1;
    for (int s = 0; s < ScreenCount; ++s) {
        const TransitionStep step = StepTransition(Chosen.transition, elapsed, Chosen.transition_ms,
                                                   Screens[s].shown.width);
        DrawStep(dc, &Screens[s], step);
        done = done && step.done;
    }
    GdiFlush();
    ReleaseDC(window, dc);
    ++MoveFrames;
    if (done) EndTransition(window);
}

static void OnChange(HWND window) {
    // A preview whose window went away without taking this one along ends too.
    if (!FullScreen && !IsWindow(GetParent(window))) {
        DestroyWindow(window);
        return;
    }
    if (Moving) return;
    if (!NextReady) PrepareNext();  // the decoder fell behind: the transition waits this once
    if (!NextReady) return;         // no other picture can be shown
    Report("transition due: processor time %lu ms at %lu ms", ProcessCpuMs(), MsSinceStart());
    Moving = 1;
    MoveFrames = 0;
    MoveStart = GetTickCount();
    SetTimer(window, kFrameTimer, kFrameMilliseconds, nullptr);
    OnFrame(window);
}

static void OnPaint(HWND window) {
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(window, &paint);
    for (int s = 0; s < ScreenCount; ++s)
        Blit(dc, Screens[s], Screens[s].shown, 0, 0, Screens[s].shown.width);
    EndPaint(window, &paint);
    // The next picture is decoded once the first is on the screen.
    if (PreparePending) {
        PreparePending = 0;
        PostMessageA(window, kPrepareMessage, 0, 0);
    }
}

static LRESULT CALLBACK ShowProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    if (FullScreen && HandleSaverInput(window, message, wparam, lparam))
        return message == WM_SETCURSOR;
    switch (message) {
        case WM_CREATE:
            SetTimer(window, kChangeTimer, Chosen.interval_ms, nullptr);
            // The preview in Display Properties stays silent.
            if (Chosen.music && FullScreen) StartMusic(window);
            return 0;
        case WM_TIMER:
            if (wparam == kChangeTimer) OnChange(window);
            if (wparam == kFrameTimer && Moving) OnFrame(window);
            return 0;
        case kPrepareMessage:
            if (!Moving) PrepareNext();
            return 0;
        case MM_MCINOTIFY:
            OnMusicNotify(window, wparam);
            return 0;
        case WM_PAINT:
            OnPaint(window);
            return 0;
        case WM_ERASEBKGND:
            return 1;  // the paint covers every pixel
        case WM_DESTROY:
            KillTimer(window, kChangeTimer);
            KillTimer(window, kFrameTimer);
            StopMusic();
            PostQuitMessage(0);
            return 0;
        default:
            break;
    }
    return DefWindowProcA(window, message, wparam, lparam);
}

typedef BOOL(WINAPI* EnumMonitorsCall)(HDC, LPCRECT, MONITORENUMPROC, LPARAM);

static BOOL CALLBACK AddMonitor(HMONITOR, HDC, LPRECT area, LPARAM origin) {
    if (ScreenCount >= kMaxScreens) return FALSE;
    const POINT* at = reinterpret_cast<const POINT*>(origin);
    RECT* mine = &Screens[ScreenCount++].area;
    *mine = *area;
    OffsetRect(mine, -at->x, -at->y);
    return TRUE;
}

// The window's place: every monitor's area, or the preview window's client area. Windows 95 and
// NT 4 know one monitor only and have no EnumDisplayMonitors.
static RECT FindScreens(HWND preview_parent) {
    RECT whole = {};
    ScreenCount = 0;
    if (preview_parent) {
        GetClientRect(preview_parent, &whole);
    } else {
        whole.left = GetSystemMetrics(SM_XVIRTUALSCREEN);
        whole.top = GetSystemMetrics(SM_YVIRTUALSCREEN);
        whole.right = whole.left + GetSystemMetrics(SM_CXVIRTUALSCREEN);
        whole.bottom = whole.top + GetSystemMetrics(SM_CYVIRTUALSCREEN);
        if (whole.right <= whole.left || whole.bottom <= whole.top)
            SetRect(&whole, 0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN));
        const EnumMonitorsCall enum_monitors =
            SystemProc<EnumMonitorsCall>(GetModuleHandleA("user32.dll"), "EnumDisplayMonitors");
        const POINT origin = {whole.left, whole.top};
        if (enum_monitors)
            enum_monitors(nullptr, nullptr, AddMonitor, reinterpret_cast<LPARAM>(&origin));
    }
    if (ScreenCount == 0) {
        ScreenCount = 1;
        SetRect(&Screens[0].area, 0, 0, whole.right - whole.left, whole.bottom - whole.top);
    }
    return whole;
}

static int MakeFrames() {
    for (int s = 0; s < ScreenCount; ++s) {
        const int w = Screens[s].area.right - Screens[s].area.left;
        const int h = Screens[s].area.bottom - Screens[s].area.top;
        if (w <= 0 || h <= 0 || !CreateFrame(&Screens[s].shown, w, h) ||
            !CreateFrame(&Screens[s].next, w, h) || !CreateFrame(&Screens[s].mix, w, h))
            return 0;
    }
    return 1;
}

static void FreeFrames() {
    for (int s = 0; s < ScreenCount; ++s) {
        FreeFrame(&Screens[s].shown);
        FreeFrame(&Screens[s].next);
        FreeFrame(&Screens[s].mix);
    }
}

int RunShowWindow(HINSTANCE instance, HWND preview_parent, const char* title,
                  const ShowSettings* settings) {
    WindowTitle = title;
    Chosen = *settings;
    FullScreen = preview_parent == nullptr;
    Moving = 0;
    NextReady = 0;
    Seed = GetTickCount() | 1;
    const RECT whole = FindScreens(preview_parent);
    StartDecoders();
    Report("decoding the first picture at %lu ms, processor time %lu ms", MsSinceStart(),
           ProcessCpuMs());
    if (MakeFrames()) {
        // The first picture is ready before the window shows.
        const uint32_t start = Chosen.order == kShowRandom ? Seed % Show.picture_count : 0;
        const int32_t first = DecodeFirstWorking(start, Show.picture_count, &Screen::shown);
        if (first < 0) {
            for (int s = 0; s < ScreenCount; ++s)
                FillFrame(&Screens[s].shown, Show.background);
        }
        Current = first < 0 ? 0 : static_cast<uint32_t>(first);
        PreparePending = first >= 0;

        WNDCLASSA window_class = {};
        window_class.lpfnWndProc = ShowProc;
        window_class.hInstance = instance;
        window_class.hCursor = LoadCursor(nullptr, IDC_ARROW);
        window_class.lpszClassName = kShowClass;
        RegisterClassA(&window_class);
        HWND window =
            preview_parent
                ? CreateWindowExA(0, kShowClass, title, WS_CHILD | WS_VISIBLE, 0, 0, whole.right,
                                  whole.bottom, preview_parent, nullptr, instance, nullptr)
                : CreateWindowExA(WS_EX_TOPMOST, kShowClass, title, WS_POPUP | WS_VISIBLE,
                                  whole.left, whole.top, whole.right - whole.left,
                                  whole.bottom - whole.top, nullptr, nullptr, instance, nullptr);
        if (window) {
            if (FullScreen) {
                BeginSaverInput();
                SetForegroundWindow(window);
            }
            UpdateWindow(window);
            Report("first picture after %lu ms (%lu screens)", MsSinceStart(),
                   static_cast<DWORD>(ScreenCount));
            MSG message;
            while (GetMessageA(&message, nullptr, 0, 0) > 0) {
                TranslateMessage(&message);
                DispatchMessageA(&message);
            }
            if (FullScreen) EndSaverInput();
        }
    }
    FreeFrames();
    StopDecoders();
    return 0;
}
