// What the in-process tests share: building the window once per process, letting the queue settle,
// rendering into a DIB and sending keys through the program's own loop.
#pragma once

#include <doctest/doctest.h>
#include "../shell/shell.h"
#include "../accounts/accounts.h"
#include "../dashboard/dashboard.h"
#include "../tickets/tickets.h"
#include "../transport/transport.h"
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

// Wine's flush_events: deliver what is queued, bounded in time, instead of sleeping.
inline void flush_events(int ms = 100) {
    DWORD end = GetTickCount() + ms;
    for (;;) {
        MSG m;
        while (PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE)) loop_message(&m);
        int left = (int)(end - GetTickCount());
        if (left <= 0) break;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, left, QS_ALLINPUT);
    }
}

// Each test case runs in its own process, so start-up runs once per case.
inline void ensure_started() {
    static int started;
    if (!started) {
        started = 1;
        REQUIRE(start_up() == 1);
    }
    flush_events(50);
}

// A key-down as the message loop sees it; repeat sets bit 30 of lParam.
inline int key_down(HWND target, WPARAM key, int repeat = 0) {
    MSG m = {};
    m.hwnd = target;
    m.message = WM_KEYDOWN;
    m.wParam = key;
    m.lParam = 1 | (repeat ? (1 << 30) : 0);
    return loop_message(&m);
}

inline void set_shift(int down) {
    INPUT in = {};
    in.type = INPUT_KEYBOARD;
    in.ki.wVk = VK_SHIFT;
    in.ki.dwFlags = down ? 0 : KEYEVENTF_KEYUP;
    SendInput(1, &in, sizeof in);
    flush_events(30);
}

inline RECT child_rect(HWND c) {
    RECT r;
    GetWindowRect(c, &r);
    MapWindowPoints(nullptr, window, (POINT *)&r, 2);
    return r;
}

// A 32-bit top-down DIB section to draw into and read back.
struct canvas {
    HDC dc;
    HBITMAP bitmap, old;
    unsigned *pixels;
    int w, h;
    canvas(int width, int height) : w(width), h(height) {
        BITMAPINFO bi = {};
        bi.bmiHeader.biSize = sizeof bi.bmiHeader;
        bi.bmiHeader.biWidth = width;
        bi.bmiHeader.biHeight = -height;
        bi.bmiHeader.biPlanes = 1;
        bi.bmiHeader.biBitCount = 32;
        dc = CreateCompatibleDC(nullptr);
        bitmap = CreateDIBSection(dc, &bi, DIB_RGB_COLORS, (void **)&pixels, nullptr, 0);
        old = (HBITMAP)SelectObject(dc, bitmap);
    }
    ~canvas() {
        SelectObject(dc, old);
        DeleteObject(bitmap);
        DeleteDC(dc);
    }
    // As 0xRRGGBB.
    unsigned at(int x, int y) const { return pixels[y * w + x] & 0xFFFFFF; }
};

inline unsigned rgb(COLORREF c) { return (GetRValue(c) << 16) | (GetGValue(c) << 8) | GetBValue(c); }

// How many pixels of r have the colour.
inline int count(const canvas &c, RECT r, unsigned colour) {
    int n = 0;
    for (int y = r.top; y < r.bottom; y++)
        for (int x = r.left; x < r.right; x++) n += c.at(x, y) == colour;
    return n;
}

// The bounding box of everything that is not the background colour inside r.
inline RECT ink(const canvas &c, RECT r, unsigned background) {
    RECT box = {r.right, r.bottom, r.left, r.top};
    for (int y = r.top; y < r.bottom; y++)
        for (int x = r.left; x < r.right; x++)
            if (c.at(x, y) != background) {
                if (x < box.left) box.left = x;
                if (y < box.top) box.top = y;
                if (x + 1 > box.right) box.right = x + 1;
                if (y + 1 > box.bottom) box.bottom = y + 1;
            }
    return box;
}

// Runs checks from inside a modal message box, then closes it with the given command.
struct inside_box {
    static inline void (*checks)(HWND box);
    static inline int close_with;
    static inline int ran;
    static void CALLBACK fire(HWND, UINT, UINT_PTR id, DWORD) {
        HWND box = nullptr;
        for (HWND w = GetTopWindow(nullptr); w; w = GetWindow(w, GW_HWNDNEXT)) {
            wchar_t name[16];
            GetClassNameW(w, name, 16);
            if (wcscmp(name, L"#32770") == 0 && GetWindowThreadProcessId(w, nullptr) == GetCurrentThreadId() &&
                IsWindowVisible(w)) {
                box = w;
                break;
            }
        }
        if (!box) return;
        KillTimer(nullptr, id);
        ran = 1;
        checks(box);
        PostMessageW(box, WM_COMMAND, close_with, 0);
    }
    inside_box(void (*c)(HWND), int close) {
        checks = c;
        close_with = close;
        ran = 0;
        SetTimer(nullptr, 0, 50, fire);
    }
};

inline wchar_t box_text[256], box_caption[64];

inline void read_box(HWND box) {
    GetWindowTextW(box, box_caption, 64);
    box_text[0] = 0;
    // The message text is the static control with id 0xFFFF.
    GetDlgItemTextW(box, 0xFFFF, box_text, 256);
}


// Expects one message box during the next call, reads its caption and text, and closes it.
inline void answer_box(int close_with) {
    box_text[0] = box_caption[0] = 0;
    inside_box box([](HWND b) { read_box(b); }, close_with);
}

inline int box_says(const wchar_t *text) { return inside_box::ran && wcscmp(box_text, text) == 0; }

// The main window's client area as the screen shows it now, without repainting anything first.
inline void read_screen(canvas &c) {
    POINT origin = {0, 0};
    ClientToScreen(window, &origin);
    HDC screen = GetDC(nullptr);
    BitBlt(c.dc, 0, 0, c.w, c.h, screen, origin.x, origin.y, SRCCOPY);
    ReleaseDC(nullptr, screen);
}

// The main window as the customer sees it: repainted through the real message path, with every
// child, and read back from the screen.
inline void render_window(canvas &c) {
    RedrawWindow(window, nullptr, nullptr, RDW_ERASE | RDW_INVALIDATE | RDW_ALLCHILDREN | RDW_UPDATENOW);
    flush_events(60);
    read_screen(c);
}

// With HALVOREN_REVIEW set to a folder, the rendered screens are saved there as BMP files to look at.
inline void review(const canvas &c, const char *name) {
    const char *folder = getenv("HALVOREN_REVIEW");
    if (!folder) return;
    char path[512];
    snprintf(path, sizeof path, "%s/%s.bmp", folder, name);
    FILE *f = fopen(path, "wb");
    if (!f) return;
    BITMAPINFOHEADER bi = {sizeof bi, c.w, -c.h, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
    BITMAPFILEHEADER fh = {0x4D42, (DWORD)(sizeof fh + sizeof bi + c.w * c.h * 4), 0, 0,
                           (DWORD)(sizeof fh + sizeof bi)};
    fwrite(&fh, sizeof fh, 1, f);
    fwrite(&bi, sizeof bi, 1, f);
    fwrite(c.pixels, 4, c.w * c.h, f);
    fclose(f);
}

// How many copies of a secret, as UTF-8 or as UTF-16, lie in the test program's writable data or in
// the stack below the caller, outside the secret's proper homes (the token, its anti-forgery copy and
// the registration challenge). The program's buffers are among that data; the test's own literals
// are read-only and not scanned.
inline int scan_for(const unsigned char *from, const unsigned char *to, const char *secret) {
    int n = (int)strlen(secret), found = 0;
    const unsigned char *homes[3][2] = {{(const unsigned char *)account_token, nullptr},
                                        {(const unsigned char *)csrf, nullptr},
                                        {(const unsigned char *)account_challenge, nullptr}};
    homes[0][1] = homes[0][0] + sizeof account_token;
    homes[1][1] = homes[1][0] + sizeof csrf;
    homes[2][1] = homes[2][0] + sizeof account_challenge;
    for (const unsigned char *p = from; p + 2 * n <= to; p++) {
        int home = 0;
        for (auto &h : homes) home |= p >= h[0] && p < h[1];
        if (home) continue;
        int narrow = 1, wide = 1;
        for (int i = 0; i < n && (narrow || wide); i++) {
            narrow &= p[i] == (unsigned char)secret[i];
            wide &= p[2 * i] == (unsigned char)secret[i] && p[2 * i + 1] == 0;
        }
        found += narrow + wide;
    }
    return found;
}

__attribute__((noinline)) inline int stray_copies(const char *secret) {
    int found = 0;
    const unsigned char *image = (const unsigned char *)GetModuleHandleW(nullptr);
    const IMAGE_NT_HEADERS *nt = (const IMAGE_NT_HEADERS *)(image + ((const IMAGE_DOS_HEADER *)image)->e_lfanew);
    const IMAGE_SECTION_HEADER *section = IMAGE_FIRST_SECTION(nt);
    for (int i = 0; i < nt->FileHeader.NumberOfSections; i++, section++)
        if (section->Characteristics & IMAGE_SCN_MEM_WRITE)
            found += scan_for(image + section->VirtualAddress,
                              image + section->VirtualAddress + section->Misc.VirtualSize, secret);
    // What earlier, deeper calls left on the stack: its committed pages below this frame.
    volatile unsigned char here = 0;
    MEMORY_BASIC_INFORMATION stack;
    VirtualQuery((const void *)&here, &stack, sizeof stack);
    found += scan_for((const unsigned char *)stack.BaseAddress, (const unsigned char *)&here, secret);
    return found;
}
