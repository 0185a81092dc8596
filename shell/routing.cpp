// Routing of commands and timer ticks, with the busy guard, and the colours of the standard controls.
#include "shell.h"
#include "../accounts/accounts.h"
#include "../chat/chat.h"
#include "../dashboard/dashboard.h"
#include "../remote/remote.h"
#include "../tickets/tickets.h"

static void ask_to_close_ticket() {
    if (!chat_ticket) return;
    int answer = MessageBoxW(window, L"Finalizar este chamado? A conversa será encerrada para você e para o técnico.",
                             L"Desconectar", MB_YESNO | MB_DEFBUTTON2 | MB_ICONQUESTION);
    if (answer == IDYES) disconnect_ticket(chat_ticket);
}

static void submit() {
    if (!logged)
        perform();
    else
        account_queue_action();
}

static int chosen_package;
static void buy_package() { start_sandbox_checkout(packages[chosen_package - 33]); }

// Runs a command that talks to the server under the guard; 0 when the guard refused it. One gesture
// acts once: what the customer clicked or typed while it ran is dropped.
static int guarded(void (*handler)()) {
    if (busy) return 0;
    busy = 1;
    handler();
    drop_queued_input();
    busy = 0;
    return 1;
}

LRESULT route_command(HWND hwnd, WPARAM wparam, LPARAM lparam) {
    // Any notification from a button acts like a click: only the id is looked at.
    int id = LOWORD(wparam);
    switch (id) {
        case 1:
            if (guarded(submit)) return 0;
            break;
        case 2: toggle_password(); return 0;
        case 3:
            if (guarded(chat_submit)) return 0;
            break;
        case 7:
            if (guarded(ask_to_close_ticket)) return 0;
            break;
        case 8:
            if (guarded(remote_disconnect)) return 0;
            break;
        case 19: dashboard_open(1); return 0;
        case 20:
            if (busy) break;
            switch_account_stage();
            return 0;
        case 30:
        case 31:
        case 32:
            if (logged)
                dashboard_open(id - 30);
            else
                focus_account_form();
            return 0;
        case 33:
        case 34:
        case 35:
            if (busy || !logged || chat_ticket || dashboard_tab != 1) break;
            chosen_package = id;
            guarded(buy_package);
            return 0;
        case 36:
            if (busy || chat_ticket || dashboard_tab != 0) return 0;
            if (logged)
                dashboard_open(1);
            else
                focus_account_form();
            return 0;
    }
    return DefWindowProcW(hwnd, WM_COMMAND, wparam, lparam);
}

LRESULT route_timer(HWND hwnd, WPARAM wparam, LPARAM lparam) {
    switch (wparam) {
        case presence_timer:
            if (!chat_ticket) guarded(refresh_support_presence);
            return 0;
        case banner_timer:
            banner_index = (banner_index + 1) % 3;
            if (IsWindowVisible(banner)) InvalidateRect(banner, nullptr, 0);
            return 0;
        case elapsed_timer:
            if (IsWindowVisible(elapsed_label)) update_elapsed();
            return 0;
    }
    // Polls drop no input: the customer may be typing a message meanwhile.
    if (!logged || busy) return DefWindowProcW(hwnd, WM_TIMER, wparam, lparam);
    busy = 1;
    if (wparam == chat_timer)
        chat_poll();
    else if (wparam == remote_timer) {
        if (chat_ticket) remote_tick();
    } else if (wparam == queue_timer)
        account_queue_refresh();
    busy = 0;
    return 0;
}

LRESULT control_colours(HDC dc, HWND control) {
    SetTextColor(dc, RGB(0x21, 0x19, 0x1A));
    if (control == chat_input) {
        SetBkColor(dc, RGB(0xF6, 0xEE, 0xEE));
        return (LRESULT)header_brush;
    }
    SetBkColor(dc, RGB(0xFF, 0xFF, 0xFF));
    return (LRESULT)paper_brush;
}
