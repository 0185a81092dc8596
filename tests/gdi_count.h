// Stand-ins in the executable's own import slots: counting the GDI objects and handles the program
// makes and lets go, for leak checks, and swapping a call for a recorder.
#pragma once

#include <windows.h>
#include <winhttp.h>
#include <string.h>

namespace {

// Counts the GDI objects this program makes and deletes, by pointing the executable's own import
// slots for the creating calls at counting stand-ins while switched on. GetGuiResources cannot do
// this under Wine, where it always answers 0.
struct gdi_counter {
    int made, deleted;
    int by_kind[40];
} gdi_calls, handle_calls;

[[maybe_unused]] void **import_slot(const char *name, const char *dll = "gdi32.dll") {
    BYTE *base = (BYTE *)GetModuleHandleW(nullptr);
    IMAGE_NT_HEADERS *nt = (IMAGE_NT_HEADERS *)(base + ((IMAGE_DOS_HEADER *)base)->e_lfanew);
    IMAGE_DATA_DIRECTORY dir = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    for (IMAGE_IMPORT_DESCRIPTOR *d = (IMAGE_IMPORT_DESCRIPTOR *)(base + dir.VirtualAddress); d->Name; d++) {
        if (_stricmp((const char *)(base + d->Name), dll) != 0) continue;
        IMAGE_THUNK_DATA *names = (IMAGE_THUNK_DATA *)(base + d->OriginalFirstThunk);
        IMAGE_THUNK_DATA *slots = (IMAGE_THUNK_DATA *)(base + d->FirstThunk);
        for (; names->u1.AddressOfData; names++, slots++) {
            if (IMAGE_SNAP_BY_ORDINAL(names->u1.Ordinal)) continue;
            IMAGE_IMPORT_BY_NAME *by_name = (IMAGE_IMPORT_BY_NAME *)(base + names->u1.AddressOfData);
            if (strcmp((const char *)by_name->Name, name) == 0) return (void **)&slots->u1.Function;
        }
    }
    return nullptr;
}

[[maybe_unused]] void set_slot(void **slot, void *value) {
    DWORD old;
    VirtualProtect(slot, sizeof *slot, PAGE_READWRITE, &old);
    *slot = value;
    VirtualProtect(slot, sizeof *slot, old, &old);
}

// Points the executable's own import of `name` at a stand-in; returns what was there.
[[maybe_unused]] void *swap_import(const char *dll, const char *name, void *with) {
    void **slot = import_slot(name, dll);
    if (!slot) return nullptr;
    void *old = *slot;
    set_slot(slot, with);
    return old;
}

// The period each of the main window's timers was last armed with, recorded through SetTimer's
// import slot from record_timer_periods() on (Windows has no call that tells a timer's period).
UINT armed_periods[8];
decltype(&SetTimer) real_arm_timer;
[[maybe_unused]] UINT_PTR WINAPI record_arm_timer(HWND h, UINT_PTR id, UINT ms, TIMERPROC f) {
    if (id < 8) armed_periods[id] = ms;
    return real_arm_timer(h, id, ms, f);
}
[[maybe_unused]] void record_timer_periods() {
    if (!real_arm_timer) real_arm_timer = (decltype(&SetTimer))swap_import("user32.dll", "SetTimer", (void *)record_arm_timer);
}

// What the program last handed WinHttpSendRequest, through its import slot from record_sends() on:
// the header text, and the last body that had bytes.
const wchar_t *handed_headers;
const void *handed_body;
DWORD handed_length;
decltype(&WinHttpSendRequest) real_send_request;
[[maybe_unused]] BOOL WINAPI record_send_request(HINTERNET r, LPCWSTR headers, DWORD n, LPVOID body, DWORD length,
                                                 DWORD total, DWORD_PTR context) {
    handed_headers = headers;
    if (length) handed_body = body, handed_length = length;
    return real_send_request(r, headers, n, body, length, total, context);
}
[[maybe_unused]] void record_sends() {
    if (!real_send_request)
        real_send_request =
            (decltype(&WinHttpSendRequest))swap_import("winhttp.dll", "WinHttpSendRequest", (void *)record_send_request);
}
// The taskbar flashes the program asked for, through FlashWindowEx's import slot from record_flashes() on:
// how many, and the last request.
int flashes;
FLASHWINFO last_flash;
[[maybe_unused]] BOOL WINAPI record_flash(PFLASHWINFO f) {
    flashes++;
    last_flash = *f;
    return TRUE;
}
[[maybe_unused]] void record_flashes() {
    static void *real;
    if (!real) real = swap_import("user32.dll", "FlashWindowEx", (void *)record_flash);
    flashes = 0;
}
// Whether the last flash asked for the main window's caption and taskbar button until it is in front.
[[maybe_unused]] bool flashed_until_in_front() {
    return last_flash.cbSize == sizeof last_flash && last_flash.hwnd == window &&
           last_flash.dwFlags == (FLASHW_ALL | FLASHW_TIMERNOFG);
}

// A plain window of another kind in front of everything: the customer's e-mail, say.
[[maybe_unused]] HWND elsewhere() {
    static HWND other;
    if (!other) {
        other = CreateWindowExW(0, L"STATIC", L"outro programa", WS_POPUP | WS_VISIBLE | WS_BORDER, 0, 0, 200, 80,
                                nullptr, nullptr, nullptr, nullptr);
    }
    ShowWindow(other, SW_SHOW);
    SetForegroundWindow(other);
    return other;
}

// Every SetThreadExecutionState the program makes, through its import slot from
// record_execution_states() on: how many, and the latest flags (0: none yet).
int execution_calls;
EXECUTION_STATE execution_state;
decltype(&SetThreadExecutionState) real_execution_state;
[[maybe_unused]] EXECUTION_STATE WINAPI record_execution_state(EXECUTION_STATE flags) {
    execution_calls++;
    execution_state = flags;
    return real_execution_state(flags);
}
[[maybe_unused]] void record_execution_states() {
    if (!real_execution_state)
        real_execution_state = (decltype(&SetThreadExecutionState))swap_import(
            "kernel32.dll", "SetThreadExecutionState", (void *)record_execution_state);
}
// The screen and the computer kept awake, as while frames stream; or let go, as after.
[[maybe_unused]] bool kept_awake() {
    return execution_state == (ES_CONTINUOUS | ES_SYSTEM_REQUIRED | ES_DISPLAY_REQUIRED);
}
[[maybe_unused]] bool let_go() { return execution_state == ES_CONTINUOUS; }

// How many of the n bytes at p are not zero.
[[maybe_unused]] int nonzero(const void *p, int n) {
    int left = 0;
    for (int i = 0; p && i < n; i++) left += ((const unsigned char *)p)[i] != 0;
    return left;
}

template <int N, typename F> struct counting;
template <int N, typename R, typename... A> struct counting<N, R (*)(A...)> {
    static inline R (*real)(A...);
    static inline void **slot;
    // Kinds from 24 on are window, DC and WinHTTP handles rather than GDI objects.
    static gdi_counter &counter() { return N < 24 ? gdi_calls : handle_calls; }
    static R WINAPI made(A... a) {
        counter().made++;
        counter().by_kind[N]++;
        return real(a...);
    }
    static R WINAPI deleted(A... a) {
        counter().deleted++;
        counter().by_kind[N]++;
        return real(a...);
    }
    static void hook(const char *name, bool on, bool deleting, const char *dll = "gdi32.dll") {
        if (!slot) slot = import_slot(name, dll);
        if (!slot) return;  // nothing in the executable calls it
        if (on) {
            real = (R(*)(A...)) * slot;
            set_slot(slot, (void *)(deleting ? &deleted : &made));
        } else if (real) {
            set_slot(slot, (void *)real);
        }
    }
};

#define HOOK(n, fn, on, deleting) counting<n, decltype(&fn)>::hook(#fn, on, deleting)
#define HOOK_IN(dll, n, fn, on, deleting) counting<n, decltype(&fn)>::hook(#fn, on, deleting, dll)

[[maybe_unused]] void count_gdi_calls(bool on) {
    HOOK(0, CreateSolidBrush, on, false);
    HOOK(1, CreateBrushIndirect, on, false);
    HOOK(2, CreateHatchBrush, on, false);
    HOOK(3, CreatePatternBrush, on, false);
    HOOK(4, CreatePen, on, false);
    HOOK(5, CreatePenIndirect, on, false);
    HOOK(6, ExtCreatePen, on, false);
    HOOK(7, CreateFontW, on, false);
    HOOK(8, CreateFontIndirectW, on, false);
    HOOK(9, CreateCompatibleDC, on, false);
    HOOK(10, CreateCompatibleBitmap, on, false);
    HOOK(11, CreateBitmap, on, false);
    HOOK(12, CreateDIBSection, on, false);
    HOOK(13, CreateDIBitmap, on, false);
    HOOK(14, CreateRectRgn, on, false);
    HOOK(15, CreateRectRgnIndirect, on, false);
    HOOK(16, CreateRoundRectRgn, on, false);
    HOOK(17, CreateEllipticRgn, on, false);
    HOOK(18, DeleteObject, on, true);
    HOOK(19, DeleteDC, on, true);
}

// Screen DCs and WinHTTP handles: each one opened must be closed again.
[[maybe_unused]] void count_handle_calls(bool on) {
    HOOK_IN("user32.dll", 26, GetDC, on, false);
    HOOK_IN("user32.dll", 27, ReleaseDC, on, true);
    HOOK_IN("winhttp.dll", 28, WinHttpOpenRequest, on, false);
    HOOK_IN("winhttp.dll", 29, WinHttpCloseHandle, on, true);
    // The test's own control client opens whole sessions; they count as well, so both sides balance.
    HOOK_IN("winhttp.dll", 30, WinHttpOpen, on, false);
    HOOK_IN("winhttp.dll", 31, WinHttpConnect, on, false);
}

// Every call that makes, ends or changes a window (its text, place, paint, state), moves the focus or
// arms a timer, counted
// through the executable's import slots while `recording_changes` is set; from record_window_changes()
// on. A message sent counts unless it only reads or is the timer tick a test sends. The first change
// is kept by name (and message) for the failure output.
const char *const change_names[] = {"SetWindowTextW",     "SendMessageW",    "ShowWindow",    "EnableWindow",
                                    "InvalidateRect",     "SetTimer",        "KillTimer",     "SetWindowPos",
                                    "SetWindowPlacement", "SetFocus",        "RedrawWindow",  "DestroyWindow",
                                    "CreateWindowExW",    "SetForegroundWindow"};
const int change_kinds = sizeof change_names / sizeof *change_names;
int recording_changes, changes_seen, change_calls[change_kinds];
const char *first_change;
UINT first_message;
[[maybe_unused]] void changed(int kind, UINT message = 0) {
    if (!recording_changes) return;
    if (!changes_seen++) first_change = change_names[kind], first_message = message;
    change_calls[kind]++;
}
template <int N, typename F> struct changing;
template <int N, typename R, typename... A> struct changing<N, R (*)(A...)> {
    static inline R (*real)(A...);
    static R WINAPI call(A... a) {
        changed(N);
        return real(a...);
    }
    static void hook() {
        if (!real) real = (R(*)(A...))swap_import("user32.dll", change_names[N], (void *)&call);
    }
};
decltype(&SendMessageW) real_send_message;
[[maybe_unused]] LRESULT WINAPI send_change(HWND h, UINT m, WPARAM w, LPARAM l) {
    switch (m) {
        case WM_TIMER: case WM_GETTEXT: case WM_GETTEXTLENGTH: case WM_GETFONT: case LB_GETCOUNT:
        case LB_GETTOPINDEX: case LB_GETITEMDATA: case LB_GETITEMRECT: case LB_GETITEMHEIGHT: case LB_GETTEXT:
        case LB_GETTEXTLEN: case EM_GETSEL: case EM_GETLIMITTEXT: case EM_GETPASSWORDCHAR: break;
        default: changed(1, m);
    }
    return real_send_message(h, m, w, l);
}
[[maybe_unused]] void record_window_changes() {
    changing<0, decltype(&SetWindowTextW)>::hook();
    if (!real_send_message)
        real_send_message = (decltype(&SendMessageW))swap_import("user32.dll", "SendMessageW", (void *)send_change);
    changing<2, decltype(&ShowWindow)>::hook();
    changing<3, decltype(&EnableWindow)>::hook();
    changing<4, decltype(&InvalidateRect)>::hook();
    changing<5, decltype(&SetTimer)>::hook();
    changing<6, decltype(&KillTimer)>::hook();
    changing<7, decltype(&SetWindowPos)>::hook();
    changing<8, decltype(&SetWindowPlacement)>::hook();
    changing<9, decltype(&SetFocus)>::hook();
    changing<10, decltype(&RedrawWindow)>::hook();
    changing<11, decltype(&DestroyWindow)>::hook();
    changing<12, decltype(&CreateWindowExW)>::hook();
    changing<13, decltype(&SetForegroundWindow)>::hook();
    changes_seen = 0;
    memset(change_calls, 0, sizeof change_calls);
}

// Every window of this thread, top-level and child: a window that outlives its use shows here.
[[maybe_unused]] int thread_windows() {
    struct counting_windows {
        static BOOL CALLBACK child(HWND, LPARAM n) {
            ++*(int *)n;
            return TRUE;
        }
        static BOOL CALLBACK top(HWND w, LPARAM n) {
            ++*(int *)n;
            EnumChildWindows(w, child, n);
            return TRUE;
        }
    };
    int n = 0;
    EnumThreadWindows(GetCurrentThreadId(), counting_windows::top, (LPARAM)&n);
    return n;
}

} // namespace

namespace {
// swap_import with the call's own type: points the import of `name` at `with`, returns the real call.
template <typename F> F stand_in(const char *dll, const char *name, F with) {
    return (F)swap_import(dll, name, (void *)with);
}
} // namespace
