// The program's entry point and the main window procedure.
#include "shell.h"

int busy;

// One client per Windows session: a second start (a double click on the shortcut while the window is
// behind others) brings the running window forward instead of polling the same account beside it.
// The name lives in the session's own namespace, so other users of the machine keep their clients.
// 1 when another client runs and this process should end.
static int other_client_running() {
    CreateMutexW(nullptr, FALSE, L"Local\\HalvorenZivavozCliente");
    // A copy started as administrator made the name with a DACL this user is outside of: it is
    // another client all the same.
    DWORD error = GetLastError();
    if (error != ERROR_ALREADY_EXISTS && error != ERROR_ACCESS_DENIED) return 0;
    // A client still starting has no window yet; it comes forward by itself.
    HWND running = FindWindowW(L"HalvorenSuporte", nullptr);
    if (running) {
        // Posted, not sent: the running client may be inside a request for seconds.
        if (IsIconic(running)) ShowWindowAsync(running, SW_RESTORE);
        // Windows lets a process the customer just started give the foreground away.
        SetForegroundWindow(running);
    }
    return 1;
}

typedef BOOL(WINAPI *default_directories)(DWORD);

// Windows looks for a DLL named without a path in the program's own folder first, and customers start
// the program from their Downloads folder, where a web page can have left any file: every DLL loaded
// from here on, by the program or by Windows' own DLLs on its behalf (the theme, for one), comes from
// System32 alone. Windows 7 has the call only with KB2533623, so it is looked up.
static __attribute__((no_stack_protector)) void load_from_system32_only() {
    default_directories set =
        (default_directories)(void *)GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "SetDefaultDllDirectories");
    if (set) set(LOAD_LIBRARY_SEARCH_SYSTEM32);
}

// No runtime start-up runs before this: the linker makes it the process entry point. The DLL search
// is narrowed before anything is loaded, then the stack guard gets its value, in frames that carry no
// canary.
extern "C" __attribute__((no_stack_protector)) void entry() {
    load_from_system32_only();
    seed_stack_guard();
    // Checked here rather than in start_up, which the in-process tests run once per case.
    if (other_client_running()) ExitProcess(0);
    if (!start_up()) ExitProcess(1);
    message_loop();
    shut_down();
    ExitProcess(0);
}

// What leaving the program must do before the window goes: closing it, or Windows ending the session.
static void leave() {
    stop_alert();
    remote_disconnect(chat_ticket, csrf, account_token);
}

LRESULT CALLBACK procedure(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
    switch (message) {
        case WM_ERASEBKGND:
            // The whole window picture is painted here; there is no WM_PAINT handler.
            fill_board();
            paint_window((HDC)wparam);
            return 1;
        case WM_MEASUREITEM:
            if (wparam != chat_history_id) break;
            chat_measure_row((MEASUREITEMSTRUCT *)lparam);
            return 1;
        case WM_DRAWITEM: {
            const DRAWITEMSTRUCT *item = (const DRAWITEMSTRUCT *)lparam;
            if (item->CtlType == ODT_LISTBOX) {
                chat_draw_row(item);
            } else {
                fill_board();
                draw_control(item);
            }
            return 1;
        }
        case WM_CTLCOLOREDIT:
        case WM_CTLCOLORSTATIC: return control_colours((HDC)wparam, (HWND)lparam);
        case WM_CLOSE:
            leave();
            break;
        case WM_DPICHANGED: change_dpi(HIWORD(wparam), (const RECT *)lparam); return 0;
        // Shutting down or restarting: Windows ends the process after WM_ENDSESSION, with no WM_CLOSE.
        case WM_QUERYENDSESSION: return TRUE;
        case WM_ENDSESSION:
            if (wparam) leave();
            return 0;
        case WM_DESTROY: PostQuitMessage(0); return 0;
        case WM_TIMER: return route_timer(hwnd, wparam, lparam);
        case WM_COMMAND: return route_command(hwnd, wparam, lparam);
    }
    return DefWindowProcW(hwnd, message, wparam, lparam);
}
