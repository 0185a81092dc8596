// A small helper for the end-to-end tests: reads another process's window the way only Win32 can.
//   probe origin TITLE   client origin of the top-level window in screen pixels: "x y"
//   probe focus TITLE    the control with the keyboard focus in that window's thread:
//                        "class x y w h id" in the window's client coordinates, or "none"
//   probe record URL     stands in for the browser: appends URL and a line feed to %HALVOREN_OPENED%
//   probe texts TITLE    every child control, one per line: "id visible|hidden enabled|disabled text"
//   probe minimize TITLE minimizes that window
//   probe state TITLE    "iconic|normal foreground|background", and how many visible windows have the title
//   probe hold           stays on Wine's desktop until killed (see tools/common.sh, start_wine)
//   probe read TITLE RVA the 8 bytes at that relative address of the window's program, as it runs:
//                        16 hex digits (the module is found by the window's instance handle)
#include <windows.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

int wmain(int argc, wchar_t **argv) {
    if (argc == 2 && wcscmp(argv[1], L"hold") == 0) {
        // A message-only window: on the desktop, yet never shown, enumerated or given the focus.
        CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
        MSG m;
        while (GetMessageW(&m, nullptr, 0, 0) > 0) DispatchMessageW(&m);
        return 0;
    }
    if (argc < 3) return 2;
    if (wcscmp(argv[1], L"record") == 0) {
        wchar_t path[MAX_PATH];
        if (!GetEnvironmentVariableW(L"HALVOREN_OPENED", path, MAX_PATH)) return 1;
        FILE *f = _wfopen(path, L"ab");
        if (!f) return 1;
        char utf8[4096];
        WideCharToMultiByte(CP_UTF8, 0, argv[2], -1, utf8, sizeof utf8, nullptr, nullptr);
        fprintf(f, "%s\n", utf8);
        fclose(f);
        return 0;
    }
    HWND w = FindWindowW(nullptr, argv[2]);
    if (!w) {
        printf("missing\n");
        return 1;
    }
    if (wcscmp(argv[1], L"origin") == 0) {
        POINT p = {0, 0};
        ClientToScreen(w, &p);
        printf("%ld %ld\n", p.x, p.y);
        return 0;
    }
    if (wcscmp(argv[1], L"focus") == 0) {
        GUITHREADINFO info = {};
        info.cbSize = sizeof info;
        if (!GetGUIThreadInfo(GetWindowThreadProcessId(w, nullptr), &info) || !info.hwndFocus) {
            printf("none\n");
            return 0;
        }
        RECT r;
        GetWindowRect(info.hwndFocus, &r);
        MapWindowPoints(nullptr, w, (POINT *)&r, 2);
        char name[64];
        GetClassNameA(info.hwndFocus, name, sizeof name);
        printf("%s %ld %ld %ld %ld %d\n", name, r.left, r.top, r.right - r.left, r.bottom - r.top,
               GetDlgCtrlID(info.hwndFocus));
        return 0;
    }
    if (wcscmp(argv[1], L"read") == 0 && argc == 4) {
        DWORD pid = 0;
        GetWindowThreadProcessId(w, &pid);
        HANDLE process = OpenProcess(PROCESS_VM_READ, FALSE, pid);
        const char *base = (const char *)GetWindowLongPtrW(w, GWLP_HINSTANCE);
        unsigned long long value = 0;
        SIZE_T got = 0;
        if (!process || !base ||
            !ReadProcessMemory(process, base + _wcstoui64(argv[3], nullptr, 16), &value, sizeof value, &got) ||
            got != sizeof value) {
            printf("unreadable\n");
            return 1;
        }
        CloseHandle(process);
        printf("%016llx\n", value);
        return 0;
    }
    if (wcscmp(argv[1], L"minimize") == 0) {
        ShowWindow(w, SW_MINIMIZE);
        return 0;
    }
    if (wcscmp(argv[1], L"state") == 0) {
        int same = 0;
        for (HWND t = GetTopWindow(nullptr); t; t = GetWindow(t, GW_HWNDNEXT)) {
            wchar_t title[256];
            same += IsWindowVisible(t) && GetWindowTextW(t, title, 256) && wcscmp(title, argv[2]) == 0;
        }
        printf("%s %s %d\n", IsIconic(w) ? "iconic" : "normal",
               GetForegroundWindow() == w ? "foreground" : "background", same);
        return 0;
    }
    if (wcscmp(argv[1], L"texts") == 0) {
        for (HWND c = GetWindow(w, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT)) {
            wchar_t text[512];
            GetWindowTextW(c, text, 512);
            char utf8[1600];
            WideCharToMultiByte(CP_UTF8, 0, text, -1, utf8, sizeof utf8, nullptr, nullptr);
            printf("%d %s %s %s\n", GetDlgCtrlID(c), IsWindowVisible(c) ? "visible" : "hidden",
                   IsWindowEnabled(c) ? "enabled" : "disabled", utf8);
        }
        return 0;
    }
    return 2;
}
