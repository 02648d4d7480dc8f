// The saver's window and its drawing.
#include "saver/screen.h"

#include "saver/input.h"
#include "saver/movie.h"
#include "saver/payload.h"

static const char kSaverClass[] = "SsSaverWindow";
constexpr UINT_PTR kTickTimer = 1;
// A full palette cycle of 192 entries then takes about ten seconds.
constexpr UINT kTickMilliseconds = 50;
static MovieView Movie;          // the MOVIE, its drawing header and its cycling palette
static const char* WindowTitle;  // the saver's name, also drawn when there is no picture
static int FullScreen;           // 1 for /s: input ends the saver and the cursor is hidden

static void PaintFallback(HDC dc, const RECT* area) {
    FillRect(dc, area, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, RGB(120, 220, 160));
    RECT text = *area;
    DrawTextA(dc, WindowTitle, -1, &text, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
}

static void PaintSaver(HWND window, HDC dc) {
    RECT area;
    GetClientRect(window, &area);
    if (!Movie.valid) {
        PaintFallback(dc, &area);
        return;
    }
    // Whole palette entries only: halftoning would blend the cycling colours into ones the
    // picture does not have, and costs far more per frame.
    SetStretchBltMode(dc, COLORONCOLOR);
    StretchDIBits(dc, 0, 0, area.right, area.bottom, 0, 0, Movie.width, Movie.height, Movie.bits,
                  reinterpret_cast<const BITMAPINFO*>(Movie.header), DIB_RGB_COLORS, SRCCOPY);
}

static void OnPaint(HWND window) {
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(window, &paint);
    PaintSaver(window, dc);
    EndPaint(window, &paint);
}

static void OnTick(HWND window) {
    if (Movie.cycle_count < 2) return;
    CycleMovieColours(&Movie);
    InvalidateRect(window, nullptr, FALSE);
}

static LRESULT CALLBACK SaverProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    if (FullScreen && HandleSaverInput(window, message, wparam, lparam))
        return message == WM_SETCURSOR;
    switch (message) {
        case WM_CREATE:
            SetTimer(window, kTickTimer, kTickMilliseconds, nullptr);
            return 0;
        case WM_TIMER:
            OnTick(window);
            return 0;
        case WM_PAINT:
            OnPaint(window);
            return 0;
        case WM_ERASEBKGND:
            return 1;  // the paint covers every pixel
        case WM_DESTROY:
            KillTimer(window, kTickTimer);
            PostQuitMessage(0);
            return 0;
        default:
            break;
    }
    return DefWindowProcA(window, message, wparam, lparam);
}

static int RegisterSaverClass(HINSTANCE instance) {
    WNDCLASSEXA window_class = {};
    window_class.cbSize = sizeof window_class;
    window_class.lpfnWndProc = SaverProc;
    window_class.hInstance = instance;
    window_class.hCursor = LoadCursor(nullptr, IDC_ARROW);
    window_class.lpszClassName = kSaverClass;
    return RegisterClassExA(&window_class) != 0;
}

static HWND CreateSaverWindow(HINSTANCE instance, HWND preview_parent) {
    if (preview_parent) {
        RECT area;
        GetClientRect(preview_parent, &area);
        return CreateWindowExA(0, kSaverClass, WindowTitle, WS_CHILD | WS_VISIBLE, 0, 0, area.right,
                               area.bottom, preview_parent, nullptr, instance, nullptr);
    }
    // All monitors; systems without the virtual screen metrics report 0 for its size.
    int x = GetSystemMetrics(SM_XVIRTUALSCREEN);
    int y = GetSystemMetrics(SM_YVIRTUALSCREEN);
    int width = GetSystemMetrics(SM_CXVIRTUALSCREEN);
    int height = GetSystemMetrics(SM_CYVIRTUALSCREEN);
    if (width <= 0 || height <= 0) {
        x = 0;
        y = 0;
        width = GetSystemMetrics(SM_CXSCREEN);
        height = GetSystemMetrics(SM_CYSCREEN);
    }
    return CreateWindowExA(WS_EX_TOPMOST, kSaverClass, WindowTitle, WS_POPUP | WS_VISIBLE, x, y,
                           width, height, nullptr, nullptr, instance, nullptr);
}

int RunSaverWindow(HINSTANCE instance, HWND preview_parent, const char* title) {
    WindowTitle = title;
    FullScreen = preview_parent == nullptr;
    OpenMovie(MovieBytes, MovieSize, &Movie);
    if (!RegisterSaverClass(instance)) return 0;
    HWND window = CreateSaverWindow(instance, preview_parent);
    if (!window) return 0;
    if (FullScreen) {
        BeginSaverInput();
        SetForegroundWindow(window);
    }
    MSG message;
    while (GetMessageA(&message, nullptr, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
    if (FullScreen) EndSaverInput();
    return 0;
}
