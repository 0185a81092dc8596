// The window side of the lowest layer: the handles start-up fills in, the UTF-16 conversion at the
// window boundary, and the one-line window and clock helpers.
#include "ui.h"

HFONT small_font, font, strong_font, heading_font, dashboard_font, price_font;
HBRUSH paper_brush, header_brush, red_brush, pressed_brush, tint_brush, border_brush, side_brush;
HWND window;
HWND login_header, info, user_label, pass_label, loginName, loginPass, eye, description_hint, problem, action,
    account_switch, chat_heading, elapsed_label, status_badge, chat_title, chat_history, chat_input, chat_send,
    ticket_action, banner, buy_button, disconnect_button, banner_cta;
HWND navigation[3], package_buttons[3];
HWND wanted_focus;
int ui_dpi = 96;

// Where each child was last put, in 96-DPI units, to put it there again when the DPI changes.
static struct {
    HWND w;
    int x, y, width, height;
} placed[64];

int dpi_of(HWND w) {
    // Windows 10 1607 and later; older systems scale the whole process to the screen's DPI.
    typedef UINT(WINAPI * dpi_for_window)(HWND);
    dpi_for_window get =
        (dpi_for_window)(void (*)())GetProcAddress(GetModuleHandleW(L"user32.dll"), "GetDpiForWindow");
    int dpi = get && w ? (int)get(w) : 0;
    if (dpi > 0) return dpi;
    HDC screen = GetDC(nullptr);
    dpi = GetDeviceCaps(screen, LOGPIXELSX);
    ReleaseDC(nullptr, screen);
    return dpi > 0 ? dpi : 96;
}

int scaled(int length) { return scaled_for(length, ui_dpi); }

int scaled_for(int length, int dpi) { return MulDiv(length, dpi, 96); }

HFONT ui_font(int height, int weight, int dpi) {
    return CreateFontW(scaled_for(height, dpi), 0, 0, 0, weight, 0, 0, 0, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                       CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH | FF_DONTCARE, L"Segoe UI");
}

RECT scaled_rect(int left, int top, int right, int bottom) {
    return {scaled(left), scaled(top), scaled(right), scaled(bottom)};
}

static void remember(HWND w, int x, int y, int width, int height) {
    int slot = -1;
    for (int i = 0; i < 64 && slot < 0; i++)
        if (placed[i].w == w) slot = i;
    // A destroyed window's slot (the consent dialog's children) is taken again.
    for (int i = 0; i < 64 && slot < 0; i++)
        if (!placed[i].w || !IsWindow(placed[i].w)) slot = i;
    if (slot >= 0) placed[slot] = {w, x, y, width, height};
}

int convert(const char *src, wchar_t *dst, int size) {
    // A size of 0 would make the platform report the needed size instead of converting.
    if (size <= 0) return 0;
    int n = MultiByteToWideChar(CP_UTF8, 0, src, -1, dst, size);
    if (n <= 0) dst[0] = 0;
    return n > 0 ? n : 0;
}

void show(HWND w, const char *text) {
    wchar_t wide[4096];
    convert(text, wide, 4096);
    SetWindowTextW(w, wide);
}

int read(HWND w, char *dst, int size) {
    if (size <= 0) return 0;
    wchar_t wide[4096];
    wide[0] = 0;
    GetWindowTextW(w, wide, 4096);
    int n = WideCharToMultiByte(CP_UTF8, 0, wide, -1, dst, size, nullptr, nullptr);
    // Passwords pass through here: leave no copy on the stack.
    SecureZeroMemory(wide, sizeof wide);
    if (n <= 0) {
        dst[0] = 0;
        return 0;
    }
    return n;
}

HWND child(HWND parent, const wchar_t *class_name, const wchar_t *text, DWORD style, int x, int y, int w, int h,
           int id) {
    HWND c = CreateWindowExW(0, class_name, text, style | WS_CHILD | WS_VISIBLE, scaled(x), scaled(y),
                             scaled(x + w) - scaled(x), scaled(y + h) - scaled(y), parent, (HMENU)(INT_PTR)id,
                             GetModuleHandleW(nullptr), nullptr);
    SendMessageW(c, WM_SETFONT, (WPARAM)font, 1);
    remember(c, x, y, w, h);
    return c;
}

HWND control(const wchar_t *class_name, const wchar_t *text, DWORD style, int x, int y, int w, int h, int id) {
    return child(window, class_name, text, style, x, y, w, h, id);
}

// Both windows carry the program's icon, the arrow and the white paper.
void register_class(const wchar_t *name, WNDPROC procedure) {
    HINSTANCE instance = GetModuleHandleW(nullptr);
    WNDCLASSW wc = {};
    wc.lpfnWndProc = procedure;
    wc.hInstance = instance;
    wc.hIcon = LoadIconW(instance, MAKEINTRESOURCEW(101));
    wc.hCursor = LoadCursorW(nullptr, (LPCWSTR)IDC_ARROW);
    wc.hbrBackground = paper_brush;
    wc.lpszClassName = name;
    // A second registration of the same class fails because it exists, which is fine.
    RegisterClassW(&wc);
}

void hide(HWND w) { ShowWindow(w, SW_HIDE); }

void place(HWND w, int x, int y, int width, int height) {
    place_for(w, x, y, width, height, ui_dpi);
    remember(w, x, y, width, height);
}

void place_for(HWND w, int x, int y, int width, int height, int dpi) {
    // Edges scaled, not lengths: controls that meet at 96 DPI meet at every scale.
    SetWindowPos(w, nullptr, scaled_for(x, dpi), scaled_for(y, dpi), scaled_for(x + width, dpi) - scaled_for(x, dpi),
                 scaled_for(y + height, dpi) - scaled_for(y, dpi), SWP_NOZORDER | SWP_NOACTIVATE);
}

void place_again(HWND parent) {
    for (auto &p : placed)
        if (p.w && IsWindow(p.w) && GetParent(p.w) == parent) place(p.w, p.x, p.y, p.width, p.height);
}

void repaint_area(const RECT *area) {
    RECT r = scaled_rect(area->left, area->top, area->right, area->bottom);
    InvalidateRect(window, &r, 1);
}

// The outer size at dpi of a window whose outer size at 96 DPI is width x height: the client area
// scales, the frame and caption are the system's at that DPI.
static SIZE outer_size(HWND w, int width, int height, int dpi) {
    if (dpi == 96) return {width, height};
    DWORD style = (DWORD)GetWindowLongW(w, GWL_STYLE), ex = (DWORD)GetWindowLongW(w, GWL_EXSTYLE);
    RECT frame96 = {}, frame = {};
    typedef BOOL(WINAPI * adjust_for_dpi)(RECT *, DWORD, BOOL, DWORD, UINT);
    adjust_for_dpi adjust = (adjust_for_dpi)(void (*)())GetProcAddress(GetModuleHandleW(L"user32.dll"),
                                                                       "AdjustWindowRectExForDpi");
    RECT outer, inner;
    if (!IsIconic(w) && GetWindowRect(w, &outer) && GetClientRect(w, &inner) && inner.right > 0) {
        // The frame the window has now.
        frame = {0, 0, outer.right - outer.left - inner.right, outer.bottom - outer.top - inner.bottom};
        if (adjust) adjust(&frame96, style, FALSE, ex, 96);
    } else if (adjust) {
        adjust(&frame96, style, FALSE, ex, 96);
        adjust(&frame, style, FALSE, ex, (UINT)dpi);
    }
    if (!adjust) {
        // Without it the whole process runs at the system's DPI and so does the frame.
        if (frame.right == 0) AdjustWindowRectEx(&frame, style, FALSE, ex);
        frame96 = {MulDiv(frame.left, 96, dpi), MulDiv(frame.top, 96, dpi), MulDiv(frame.right, 96, dpi),
                   MulDiv(frame.bottom, 96, dpi)};
    }
    int extra_w96 = frame96.right - frame96.left, extra_h96 = frame96.bottom - frame96.top;
    return {scaled_for(width - extra_w96, dpi) + frame.right - frame.left,
            scaled_for(height - extra_h96, dpi) + frame.bottom - frame.top};
}

void size_window(HWND w, int width, int height) { size_window_for(w, width, height, ui_dpi); }

void size_window_for(HWND w, int width, int height, int dpi) {
    SIZE s = outer_size(w, width, height, dpi);
    SetWindowPos(w, nullptr, 0, 0, s.cx, s.cy, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

// Moves r, of the given size, into the work area (right and bottom edges first, so that the top left
// corner stays visible on a monitor smaller than the window).
static void keep_inside(RECT *r, const RECT &work, int width, int height) {
    int left = r->left, top = r->top;
    if (left + width > work.right) left = work.right - width;
    if (top + height > work.bottom) top = work.bottom - height;
    if (left < work.left) left = work.left;
    if (top < work.top) top = work.top;
    *r = {left, top, left + width, top + height};
}

void resize_window(int width, int height, int keep_on_screen) {
    SIZE outer = outer_size(window, width, height, ui_dpi);
    width = outer.cx;
    height = outer.cy;
    MONITORINFO monitor = {sizeof monitor, {}, {}, 0};
    GetMonitorInfoW(MonitorFromWindow(window, MONITOR_DEFAULTTONEAREST), &monitor);
    if (!IsIconic(window)) {
        RECT r;
        GetWindowRect(window, &r);
        r.right = r.left + width;
        r.bottom = r.top + height;
        if (keep_on_screen) keep_inside(&r, monitor.rcWork, width, height);
        SetWindowPos(window, nullptr, r.left, r.top, width, height, SWP_NOZORDER | SWP_NOACTIVATE);
        return;
    }
    // A minimized window sits far off the screen: its size and place are those it will be restored to,
    // in workspace coordinates (relative to the primary monitor's work area).
    WINDOWPLACEMENT placement = {};
    placement.length = sizeof placement;
    if (!GetWindowPlacement(window, &placement)) return;
    RECT primary;
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &primary, 0);
    RECT work = monitor.rcWork;
    OffsetRect(&work, -primary.left, -primary.top);
    RECT &r = placement.rcNormalPosition;
    r.right = r.left + width;
    r.bottom = r.top + height;
    if (keep_on_screen) keep_inside(&r, work, width, height);
    placement.showCmd = SW_SHOWMINNOACTIVE;
    placement.flags = 0;
    SetWindowPlacement(window, &placement);
}

// Centres w over the main window, on the main window's monitor and inside its work area. The sizes
// are w's own, as created: they follow the display scale.
void centre_over_window(HWND w) {
    MONITORINFO monitor = {sizeof monitor, {}, {}, 0};
    GetMonitorInfoW(MonitorFromWindow(window, MONITOR_DEFAULTTONEAREST), &monitor);
    RECT main, own;
    GetWindowRect(w, &own);
    GetWindowRect(window, &main);
    if (IsIconic(window)) {
        // Minimized, the window sits far off the screen: centre over its monitor instead.
        main = monitor.rcWork;
    }
    int width = own.right - own.left, height = own.bottom - own.top;
    RECT r = {0, 0, 0, 0};
    r.left = main.left + (main.right - main.left - width) / 2;
    r.top = main.top + (main.bottom - main.top - height) / 2;
    keep_inside(&r, monitor.rcWork, width, height);
    SetWindowPos(w, nullptr, r.left, r.top, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

// Windows keeps a program in the background from taking the foreground, so a window that needs the
// customer flashes the taskbar button until the customer comes to it. Nothing when the customer is
// already looking at the window or at a window it owns.
void call_attention() {
    HWND front = GetForegroundWindow();
    if (front && (front == window || GetWindow(front, GW_OWNER) == window)) return;
    FLASHWINFO flash = {sizeof flash, window, FLASHW_ALL | FLASHW_TIMERNOFG, 0, 0};
    FlashWindowEx(&flash);
}

void pop(const char *text) {
    wchar_t wide[512];
    convert(text, wide, 512);
    MessageBoxW(window, wide, L"Halvoren Zivavoz", MB_OK | MB_ICONWARNING);
}

void drop_queued_input() {
    MSG m;
    while (PeekMessageW(&m, nullptr, WM_KEYFIRST, WM_KEYLAST, PM_REMOVE)) {
    }
    while (PeekMessageW(&m, nullptr, WM_MOUSEFIRST, WM_MOUSELAST, PM_REMOVE)) {
    }
}

unsigned long long clock_now() {
    FILETIME t;
    GetSystemTimeAsFileTime(&t);
    return ((unsigned long long)t.dwHighDateTime << 32) | t.dwLowDateTime;
}

LRESULT control_colours(HDC dc, HWND control) {
    SetTextColor(dc, dark_text);
    if (control == chat_input) {
        SetBkColor(dc, header_colour);
        return (LRESULT)header_brush;
    }
    SetBkColor(dc, paper_colour);
    return (LRESULT)paper_brush;
}

// A DLL outside the program's own six, from System32 alone: customers start the program from their
// Downloads folder, where a copy planted beside it must never be taken.
HMODULE system_library(const wchar_t *name) {
    HMODULE library = LoadLibraryExW(name, nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
    if (library) return library;
    // Windows 7 without KB2533623 refuses the flag: the full path instead, whose own imports are then
    // looked for beside it rather than beside the program.
    wchar_t path[MAX_PATH + 32];
    UINT n = GetSystemDirectoryW(path, MAX_PATH);
    if (n == 0 || n >= MAX_PATH) return nullptr;
    path[n++] = L'\\';
    for (const wchar_t *c = name; *c && n < MAX_PATH + 31; c++) path[n++] = *c;
    path[n] = 0;
    return LoadLibraryExW(path, nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
}
