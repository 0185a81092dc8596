// The program's entry point and the main window procedure.
#include "shell.h"

int busy;

// No runtime start-up runs before this: the linker makes it the process entry point.
extern "C" void entry() {
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
