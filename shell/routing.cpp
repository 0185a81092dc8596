// Routing of commands and timer ticks, with the busy guard: each case hands its feature what it needs
// (the token, the anti-forgery value, the open ticket), and the presenter follows.
#include "shell.h"

static void ask_to_close_ticket() {
    if (!chat_ticket) return;
    int answer = MessageBoxW(window, L"Finalizar este chamado? A conversa será encerrada para você e para o técnico.",
                             L"Desconectar", MB_YESNO | MB_DEFBUTTON2 | MB_ICONQUESTION);
    if (answer != IDYES) return;
    disconnect_ticket(chat_ticket, csrf, account_token);
    follow_queue();
}

static void open_tab(int tab) {
    if (logged && !chat_ticket) dashboard_open(tab);
}

static void refresh_queue() {
    account_queue_refresh(account_token);
    follow_queue();
}

void follow_queue() {
    if (queue_wants_home) dashboard_tab = home_tab;
    if (!session_switched) return;
    session_switched = 0;
    // A technician arrived while the customer may be in another program.
    if (chat_ticket) call_attention();
    remote_reset();
    // The next view's first poll must rebuild the list, whatever the server answers.
    chat_forget();
    chat_poll(chat_ticket, account_token);
}

static void submit() {
    if (!logged) {
        perform();
        if (logged) refresh_queue();
    } else if (account_queue_action(account_token)) {
        follow_queue();
    } else {
        // No credit to ask with: the credits tab.
        open_tab(credits_tab);
    }
}

static void send_message() { chat_submit(chat_ticket, csrf, account_token); }
static void disconnect_remote() { remote_disconnect(chat_ticket, csrf, account_token); }

static int chosen_package;
static void buy_package() { start_sandbox_checkout(packages[chosen_package - first_package_id], account_token); }

// Runs a server exchange under the guard; 0 when the guard refused it.
static int exclusive(void (*handler)()) {
    if (busy) return 0;
    busy = 1;
    handler();
    busy = 0;
    return 1;
}

// A command that talks to the server. One gesture acts once: what the customer clicked or typed while
// it ran is dropped.
static int guarded(void (*handler)()) {
    if (!exclusive(handler)) return 0;
    drop_queued_input();
    return 1;
}

static int command(int id) {
    switch (id) {
        case action_id: return guarded(submit);
        case eye_id: toggle_password(); return 1;
        case chat_send_id: return guarded(send_message);
        case ticket_action_id: return guarded(ask_to_close_ticket);
        case disconnect_button_id: return guarded(disconnect_remote);
        case buy_button_id: open_tab(credits_tab); return 1;
        case account_switch_id:
            if (busy) return 0;
            switch_account_stage();
            return 1;
        case first_tab_id:
        case first_tab_id + 1:
        case first_tab_id + 2:
            if (logged)
                open_tab(id - first_tab_id);
            else
                focus_account_form();
            return 1;
        case first_package_id:
        case first_package_id + 1:
        case first_package_id + 2:
            if (busy || !logged || chat_ticket || dashboard_tab != credits_tab) return 0;
            chosen_package = id;
            guarded(buy_package);
            return 1;
        case banner_cta_id:
            if (busy || chat_ticket || dashboard_tab != home_tab) return 1;
            if (logged)
                open_tab(credits_tab);
            else
                focus_account_form();
            return 1;
        case consent_answered_id: return 1;
    }
    return 0;
}

LRESULT route_command(HWND hwnd, WPARAM wparam, LPARAM lparam) {
    // Any notification from a button acts like a click: only the id is looked at.
    if (!command(LOWORD(wparam))) return DefWindowProcW(hwnd, WM_COMMAND, wparam, lparam);
    present();
    return 0;
}

static void poll_presence() { refresh_support_presence(account_token); }
static void poll_chat() { chat_poll(chat_ticket, account_token); }
static void tick_remote() { remote_tick(chat_ticket, csrf, account_token); }

static int tick(WPARAM id) {
    switch (id) {
        case presence_timer:
            // A poll keeps what the customer types meanwhile, as the others below do.
            if (!chat_ticket) exclusive(poll_presence);
            return 1;
        case banner_timer: banner_index = (banner_index + 1) % 3; return 1;
        case elapsed_timer: return 1;
    }
    // Polls drop no input: the customer may be typing a message meanwhile.
    if (!logged || busy) return 0;
    busy = 1;
    if (id == chat_timer)
        poll_chat();
    else if (id == remote_timer)
        tick_remote();
    else if (id == queue_timer)
        refresh_queue();
    busy = 0;
    return 1;
}

LRESULT route_timer(HWND hwnd, WPARAM wparam, LPARAM lparam) {
    if (!tick(wparam)) return DefWindowProcW(hwnd, WM_TIMER, wparam, lparam);
    present();
    return 0;
}
