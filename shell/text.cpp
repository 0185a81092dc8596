// The program's only string library: bounded UTF-8 text, the UTF-16 conversions at the window boundary,
// and the one-line window helpers.
#include "shell.h"

int length(const char *s) {
    int n = 0;
    while (s[n]) n++;
    return n;
}

int equal(const char *a, const char *b) {
    while (*a && *a == *b) a++, b++;
    return *a == *b;
}

const char *find(const char *s, const char *t) {
    for (; *s; s++) {
        int i = 0;
        while (t[i] && s[i] == t[i]) i++;
        if (!t[i]) return s;
    }
    return nullptr;
}

void append(char *dst, int size, const char *src) {
    int n = length(dst);
    while (*src && n < size - 1) dst[n++] = *src++;
    if (n < size) dst[n] = 0;
}

void copy_to(char *dst, int size, const char *src, char stop) {
    int n = 0;
    while (src[n] && src[n] != stop && n < size - 1) {
        dst[n] = src[n];
        n++;
    }
    dst[n] = 0;
}

void erase_secret(void *buffer, int size) {
    // Volatile so that the stores survive even when the buffer is never read again.
    volatile unsigned char *b = (volatile unsigned char *)buffer;
    for (int i = 0; i < size; i++) b[i] = 0;
}

void integer_text(char *dst, int value) {
    char digits[10];
    int n = 0;
    unsigned v = (unsigned)value;
    do {
        digits[n++] = (char)('0' + v % 10);
        v /= 10;
    } while (v && n < 10);
    int i = 0;
    while (n) dst[i++] = digits[--n];
    dst[i] = 0;
}

int starts_with(const wchar_t *s, const wchar_t *p) {
    for (; *p; s++, p++)
        if (*s != *p) return 0;
    return 1;
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

HWND control(const wchar_t *class_name, const wchar_t *text, DWORD style, int x, int y, int w, int h, int id) {
    HWND c = CreateWindowExW(0, class_name, text, style | WS_CHILD | WS_VISIBLE, x, y, w, h, window,
                             (HMENU)(INT_PTR)id, GetModuleHandleW(nullptr), nullptr);
    SendMessageW(c, WM_SETFONT, (WPARAM)font, 1);
    return c;
}

void hide(HWND w) { ShowWindow(w, SW_HIDE); }

void place(HWND w, int x, int y, int width, int height) {
    SetWindowPos(w, nullptr, x, y, width, height, SWP_NOZORDER | SWP_NOACTIVATE);
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

void pop(const char *text) {
    wchar_t wide[512];
    convert(text, wide, 512);
    MessageBoxW(window, wide, L"Halvoren Zivavoz", MB_OK | MB_ICONWARNING);
}
