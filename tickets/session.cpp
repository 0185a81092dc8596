// The ticket session view, its elapsed time and the closing of a ticket.
#include "tickets.h"
#include "../accounts/accounts.h"
#include "../chat/chat.h"
#include "../remote/remote.h"
#include "../shell/shell.h"
#include "../transport/transport.h"

int chat_ticket;

void chat_switch(int ticket) {
    remote_reset();
    chat_ticket = ticket;
    // The next view's first poll must rebuild the list, whatever the server answers.
    chat_forget();
    SendMessageW(chat_history, LB_RESETCONTENT, 0, 0);
    SetWindowTextW(chat_input, L"");
    if (ticket) {
        char heading[32] = "Chamado #";
        char number[16];
        integer_text(number, ticket);
        append(heading, sizeof heading, number);
        show(chat_heading, heading);
    }
    int open = ticket ? SW_SHOW : SW_HIDE, closed = ticket ? SW_HIDE : SW_SHOW;
    HWND session_controls[] = {chat_heading, elapsed_label, status_badge, ticket_action,
                               chat_title,   chat_history,  chat_input,   chat_send};
    for (HWND c : session_controls) ShowWindow(c, open);
    HWND request_controls[] = {problem, description_hint, action, info};
    for (HWND c : request_controls) ShowWindow(c, closed);
    if (ticket) resize_window(567, 378, 0);
    InvalidateRect(window, nullptr, 1);
    if (ticket) {
        EnableWindow(chat_send, 0);
        SetTimer(window, chat_timer, 1000, nullptr);
        SetTimer(window, remote_timer, 700, nullptr);
        update_elapsed();
        SetTimer(window, elapsed_timer, 1000, nullptr);
        chat_poll();
    } else {
        KillTimer(window, chat_timer);
        KillTimer(window, remote_timer);
        KillTimer(window, elapsed_timer);
    }
}

// Writes "HH:MM:SS" (three hour digits from 100 hours on) after the given prefix.
static void elapsed_text(char *dst, int size, const char *prefix, unsigned seconds) {
    unsigned hours = seconds / 3600, minutes = seconds / 60 % 60;
    char clock[16];
    int n = 0;
    if (hours >= 100) clock[n++] = (char)('0' + hours / 100);
    clock[n++] = (char)('0' + hours / 10 % 10);
    clock[n++] = (char)('0' + hours % 10);
    clock[n++] = ':';
    clock[n++] = (char)('0' + minutes / 10);
    clock[n++] = (char)('0' + minutes % 10);
    clock[n++] = ':';
    clock[n++] = (char)('0' + seconds % 60 / 10);
    clock[n++] = (char)('0' + seconds % 10);
    clock[n] = 0;
    dst[0] = 0;
    append(dst, size, prefix);
    append(dst, size, clock);
}

void update_elapsed() {
    char text[64];
    if (!accepted_at) {
        copy_to(text, sizeof text, "Tempo: --:--:--", 0);
    } else {
        FILETIME t;
        GetSystemTimeAsFileTime(&t);
        unsigned long long now = ((unsigned long long)t.dwHighDateTime << 32) | t.dwLowDateTime;
        unsigned long long seconds = now > accepted_at ? (now - accepted_at) / 10000000 : 0;
        if (seconds > 3599999) seconds = 3599999;
        elapsed_text(text, sizeof text, client_waiting ? "Tempo de espera: " : "Tempo: ", (unsigned)seconds);
    }
    // Ticks come every second; an unchanged text is not written again.
    char current[64];
    read(elapsed_label, current, sizeof current);
    if (!equal(current, text)) show(elapsed_label, text);
}

void disconnect_ticket(int ticket) {
    char form[512];
    memset(form, 0, sizeof form);
    char number[16];
    integer_text(number, ticket);
    field(form, sizeof form, "csrf", csrf);
    field(form, sizeof form, "chamado", number);
    int status = http(L"/suporte/api/finalizar/cliente", form);
    // The form carries the anti-forgery value, a copy of the session token.
    erase_secret(form, sizeof form);
    if (status == 200)
        stop_alert();
    else if (status == 404)
        pop("Atualize o portal de suporte para usar Desconectar.");
    else
        pop("Não foi possível confirmar o encerramento. Confira o status do chamado.");
    account_queue_refresh();
}
