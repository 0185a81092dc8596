// The presenter: the one place that shows, hides, moves and relabels the main window's controls and
// arms and kills its timers. Routing runs it after every handled command and tick; it compares the
// features' state with what it last made the window show, and changes only what differs, so steady
// polling repaints nothing.
#include "shell.h"
#include <commctrl.h>

static const wchar_t password_mask = 0x25CF;

// What the window shows now, as the presenter last made it.
static struct {
    int form_version, visible, logged, session, tab, waiting, balance_known, balance, recent_ticket,
        recent_cancelled, presence, banner, elapsed_waiting_spot, chat_sent_version,
        remote_button, remote_period, refusals;
    char info[96];
    const wchar_t *action;
} shown = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, -1, 0, 0, 0, 0, 0, 0, "", L"Entrar"};

void fill_board() {
    board.session = chat_ticket != 0;
    board.logged = logged;
    board.balance_known = balance_known;
    board.balance = account_balance;
    board.waiting = account_waiting;
    board.recent_ticket = recent_ticket;
    board.recent_cancelled = recent_cancelled;
    board.presence = support_presence;
    board.password_shown = visible;
}

void refresh_dashboard_size() {
    resize_window(567, 404, 1);
    InvalidateRect(window, nullptr, 1);
}

void dashboard_show() {
    int session = chat_ticket != 0;
    int home = !session && dashboard_tab == home_tab;
    int credits = !session && dashboard_tab == credits_tab;
    ShowWindow(login_header, session ? SW_SHOW : SW_HIDE);
    for (int i = 0; i < 3; i++) {
        ShowWindow(navigation[i], session ? SW_HIDE : SW_SHOW);
        if (!session) {
            EnableWindow(navigation[i], 1);
            InvalidateRect(navigation[i], nullptr, 0);
        }
        ShowWindow(package_buttons[i], credits ? SW_SHOW : SW_HIDE);
    }
    HWND home_controls[] = {banner, banner_cta, info, action};
    for (HWND c : home_controls) ShowWindow(c, home ? SW_SHOW : SW_HIDE);
    ShowWindow(elapsed_label, session || (home && account_waiting) ? SW_SHOW : SW_HIDE);
    HWND request_controls[] = {description_hint, problem, buy_button};
    for (HWND c : request_controls) ShowWindow(c, home && !account_waiting ? SW_SHOW : SW_HIDE);
    InvalidateRect(window, nullptr, 1);
}

void update_elapsed() {
    char text[64];
    elapsed_text(text, sizeof text);
    // Ticks come every second; an unchanged text is not written again.
    char current[64];
    read(elapsed_label, current, sizeof current);
    if (!equal(current, text)) show(elapsed_label, text);
}

// The eye is a child under WS_CLIPCHILDREN: repainting the main window does not reach it.
static void show_eye_state() {
    SetWindowTextW(eye, visible ? L"Ocultar senha" : L"Mostrar senha");
    InvalidateRect(eye, nullptr, 0);
}

// A stage entered: the form relabelled, the password emptied, its first field focused.
static void present_stage() {
    int code = account_stage == confirmation_stage;
    int shown_fields = code ? SW_HIDE : SW_SHOW;
    ShowWindow(loginName, shown_fields);
    ShowWindow(user_label, shown_fields);
    ShowWindow(eye, shown_fields);
    SendMessageW(loginPass, EM_SETPASSWORDCHAR, code ? 0 : password_mask, 0);
    SendMessageW(loginPass, EM_SETLIMITTEXT, code ? 8 : 128, 0);
    SetWindowTextW(loginPass, L"");
    show_eye_state();
    const stage_texts &t = stages[account_stage];
    SetWindowTextW(pass_label, t.label);
    SendMessageW(loginPass, EM_SETCUEBANNER, 1, (LPARAM)t.cue);
    SetWindowTextW(action, t.action);
    shown.action = t.action;
    SetWindowTextW(account_switch, t.switch_caption);
    SetFocus(code ? loginPass : loginName);
    InvalidateRect(window, nullptr, 1);
}

// Signed in: the form goes and the home tab takes its signed-in layout; the queue is polled from now on.
static void present_sign_in() {
    SetWindowTextW(loginPass, L"");
    SetWindowTextW(banner_cta, L"Comprar créditos");
    HWND form[] = {loginName, loginPass, eye, user_label, pass_label, account_switch};
    for (HWND c : form) hide(c);
    // One line, above the description's hint.
    place(info, 122, 175, 245, 17);
    place(description_hint, 122, 192, 240, 18);
    place(problem, 126, 210, 235, 22);
    place(action, 122, 238, 245, 20);
    place(buy_button, 395, 238, 136, 20);
    SendMessageW(problem, EM_SETLIMITTEXT, 160, 0);
    refresh_dashboard_size();
    dashboard_show();
    SetTimer(window, queue_timer, 3000, nullptr);
}

static void present_form() {
    if (form_version != shown.form_version) {
        shown.form_version = form_version;
        shown.visible = visible;
        present_stage();
    }
    if (visible != shown.visible) {
        shown.visible = visible;
        SendMessageW(loginPass, EM_SETPASSWORDCHAR, visible ? 0 : password_mask, 0);
        show_eye_state();
    }
    if (logged && !shown.logged) {
        shown.logged = 1;
        present_sign_in();
    }
}

// The session view opened, changed ticket or closed.
static void present_session() {
    int ticket = chat_ticket;
    if (ticket == shown.session) return;
    int closed = shown.session && !ticket;
    shown.session = ticket;
    SetWindowTextW(chat_input, L"");
    if (ticket) {
        char heading[32] = "Chamado #";
        char number[16];
        integer_text(number, ticket);
        append(heading, sizeof heading, number);
        show(chat_heading, heading);
    }
    int open = ticket ? SW_SHOW : SW_HIDE, dashboard = ticket ? SW_HIDE : SW_SHOW;
    HWND session_controls[] = {chat_heading, elapsed_label, status_badge, ticket_action,
                               chat_title,   chat_history,  chat_input,   chat_send};
    for (HWND c : session_controls) ShowWindow(c, open);
    HWND request_controls[] = {problem, description_hint, action, info};
    for (HWND c : request_controls) ShowWindow(c, dashboard);
    if (ticket) resize_window(567, 378, 0);
    InvalidateRect(window, nullptr, 1);
    if (ticket) {
        EnableWindow(chat_send, 0);
        SetTimer(window, chat_timer, 1000, nullptr);
        SetTimer(window, remote_timer, slow_period, nullptr);
        shown.remote_period = slow_period;
        update_elapsed();
        SetTimer(window, elapsed_timer, 1000, nullptr);
    } else {
        KillTimer(window, chat_timer);
        KillTimer(window, remote_timer);
        shown.remote_period = 0;
        KillTimer(window, elapsed_timer);
    }
    if (closed) refresh_dashboard_size();
}

// The queue's texts and the waiting time's place, once the queue has been asked after sign-in.
static void present_queue(int session_changed) {
    if (!logged || !shown.logged) return;
    char text[96] = "";
    if (!balance_known) {
        copy_to(text, sizeof text, "Não foi possível consultar a fila.", 0);
    } else if (account_waiting) {
        char number[16];
        integer_text(number, queue_position);
        copy_to(text, sizeof text, "Posição na fila: ", 0);
        append(text, sizeof text, number);
    } else {
        copy_to(text, sizeof text, queue_completed ? "Atendimento finalizado." : "Cada atendimento utiliza 1 crédito.",
                0);
    }
    if (!equal(text, shown.info)) {
        show(info, text);
        copy_to(shown.info, sizeof shown.info, text, 0);
    }
    if (!balance_known) {
        // Unknown: nothing can be asked; once known again the caption is written afresh.
        if (IsWindowEnabled(action)) EnableWindow(action, 0);
        shown.action = nullptr;
        return;
    }
    if (account_waiting != shown.elapsed_waiting_spot || session_changed) {
        shown.elapsed_waiting_spot = account_waiting;
        if (account_waiting) {
            place(elapsed_label, 122, 194, 245, 19);
            SetTimer(window, elapsed_timer, 1000, nullptr);
        } else {
            place(elapsed_label, 24, 116, 503, 17);
            if (!chat_ticket) KillTimer(window, elapsed_timer);
        }
        if (account_waiting || chat_ticket) update_elapsed();
    }
    const wchar_t *caption = account_waiting ? L"Cancelar chamado" : L"Solicitar suporte";
    if (caption != shown.action) {
        SetWindowTextW(action, caption);
        shown.action = caption;
    }
    if (!IsWindowEnabled(action)) EnableWindow(action, 1);
}

// Which tab shows, and the balance, history and presence strips repainted when their values change.
static void present_dashboard(int session_changed) {
    if (session_changed || dashboard_tab != shown.tab || account_waiting != shown.waiting) {
        shown.tab = dashboard_tab;
        shown.waiting = account_waiting;
        dashboard_show();
    } else if (!chat_ticket && logged) {
        if (balance_known != shown.balance_known || (balance_known && account_balance != shown.balance))
            repaint_area(&balance_areas[dashboard_tab]);
        if (recent_ticket != shown.recent_ticket || recent_cancelled != shown.recent_cancelled)
            repaint_area(&history_areas[dashboard_tab]);
    }
    shown.balance_known = balance_known;
    shown.balance = account_balance;
    shown.recent_ticket = recent_ticket;
    shown.recent_cancelled = recent_cancelled;
    if (support_presence != shown.presence) {
        shown.presence = support_presence;
        repaint_area(&presence_area);
    }
    if (banner_index != shown.banner) {
        shown.banner = banner_index;
        if (IsWindowVisible(banner)) InvalidateRect(banner, nullptr, 0);
    }
}

// The state line, the send button and the message field (the list's items are the chat's own: they
// point into its buffers, so chat/poll.cpp fills the list as it rebuilds them).
static void present_chat() {
    if (!chat_ticket) return;
    if (chat_sent_version != shown.chat_sent_version) {
        shown.chat_sent_version = chat_sent_version;
        SetWindowTextW(chat_input, L"");
    }
    // Steady polling must repaint nothing, so the state line is only written when it changes.
    char title[128];
    read(chat_title, title, sizeof title);
    if (!equal(title, chat_state)) show(chat_title, chat_state);
    if (!IsWindowEnabled(chat_send) != !chat_live) EnableWindow(chat_send, chat_live ? TRUE : FALSE);
}

// The remote-disconnect button while a remote session is accepted, the channel's period, and the
// title that tells Windows refused an injected command.
static void present_remote() {
    int button = chat_ticket && approved[0];
    if (button && !shown.remote_button) {
        // Above the elapsed-time label, whose strip runs under the button and clips its siblings.
        SetWindowPos(disconnect_button, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE | SWP_SHOWWINDOW);
    } else if (!button && shown.remote_button) {
        // A hidden button cannot keep the keyboard: give it to the message field while the view is open.
        if (GetFocus() == disconnect_button) SetFocus(chat_ticket ? chat_input : window);
        hide(disconnect_button);
    }
    shown.remote_button = button;
    int period = !chat_ticket ? 0 : fast_remote_timer ? fast_period : slow_period;
    if (period && period != shown.remote_period) SetTimer(window, remote_timer, period, nullptr);
    shown.remote_period = period;
    if (remote_refusals != shown.refusals) {
        shown.refusals = remote_refusals;
        show(window, "Halvoren Zivavoz v30 — Windows não aplicou o comando remoto");
    }
}

void present() {
    if (!window) return;
    present_form();
    int session_changed = chat_ticket != shown.session;
    present_session();
    present_queue(session_changed);
    present_dashboard(session_changed);
    present_chat();
    present_remote();
    if (IsWindowVisible(elapsed_label)) update_elapsed();
    if (wanted_focus) {
        SetFocus(wanted_focus);
        wanted_focus = nullptr;
    }
}
