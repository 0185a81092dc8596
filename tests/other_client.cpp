// Another client as the one-client-per-session tests need it, chosen by %HALVOREN_OTHER_CLIENT%; it
// prints "ready" once it holds the client's mutex, then stays until killed.
//   denied   the mutex made with a DACL that refuses everyone else, as a copy started as administrator
//            makes it for the customer's own, unelevated account
//   hung     the mutex, and a minimized window of the client's class titled "outro cliente" whose
//            thread answers nothing for 15 s, as a client inside a request, then answers again
#include <windows.h>
#include <sddl.h>
#include <stdio.h>
#include <string.h>

int wmain() {
    wchar_t mode[16] = L"";
    GetEnvironmentVariableW(L"HALVOREN_OTHER_CLIENT", mode, 16);
    SECURITY_ATTRIBUTES denied = {sizeof denied, nullptr, FALSE};
    if (wcscmp(mode, L"denied") == 0 &&
        !ConvertStringSecurityDescriptorToSecurityDescriptorW(L"D:(D;;GA;;;WD)", SDDL_REVISION_1,
                                                              &denied.lpSecurityDescriptor, nullptr))
        return 2;
    if (!CreateMutexW(denied.lpSecurityDescriptor ? &denied : nullptr, FALSE, L"Local\\HalvorenZivavozCliente") ||
        GetLastError() == ERROR_ALREADY_EXISTS)
        return 3;
    MSG m;
    if (wcscmp(mode, L"hung") == 0) {
        WNDCLASSW c = {};
        c.lpfnWndProc = DefWindowProcW;
        c.hInstance = GetModuleHandleW(nullptr);
        c.lpszClassName = L"HalvorenSuporte";
        RegisterClassW(&c);
        HWND w = CreateWindowExW(0, L"HalvorenSuporte", L"outro cliente", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 40, 40,
                                 300, 200, nullptr, nullptr, c.hInstance, nullptr);
        ShowWindow(w, SW_MINIMIZE);
        for (DWORD end = GetTickCount() + 1000; GetTickCount() < end; Sleep(10))
            while (PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&m);
        printf("ready\n");
        fflush(stdout);
        Sleep(15000);
    } else {
        printf("ready\n");
        fflush(stdout);
    }
    while (GetMessageW(&m, nullptr, 0, 0) > 0) DispatchMessageW(&m);
    return 0;
}
