// Polling the account's queue state: the only place that decides the ticket's client-side state.
#include "tickets.h"
#include "../chat/chat.h"
#include "../dashboard/dashboard.h"
#include "../shell/shell.h"
#include "../transport/transport.h"

int account_ticket, account_balance, balance_known, account_waiting, recent_ticket, recent_cancelled;
int client_waiting;
unsigned long long accepted_at;
// The position last written to info: -1 none, -2 the failure text.
static int last_position = -1;
// Whether the last good answer said "CONCLUIDO"; -1 before the first.
static int last_completed = -1;

static unsigned long long now() {
    FILETIME t;
    GetSystemTimeAsFileTime(&t);
    return ((unsigned long long)t.dwHighDateTime << 32) | t.dwLowDateTime;
}

// Reads `count` decimal digits at s, or -1 when any of them is not a digit.
static int digits(const char *s, int count) {
    int value = 0;
    for (int i = 0; i < count; i++) {
        if (s[i] < '0' || s[i] > '9') return -1;
        value = value * 10 + (s[i] - '0');
    }
    return value;
}

// Seconds east of UTC of the zone after a time ("+02:00", "-0300", "-03"); 0 for "Z", none or a
// malformed one.
static long long zone_offset(const char *p) {
    if (*p == '.') {
        p++;
        while (*p >= '0' && *p <= '9') p++;
    }
    if (*p != '+' && *p != '-') return 0;
    int hours = digits(p + 1, 2);
    const char *m = p[3] == ':' ? p + 4 : p + 3;
    int minutes = *m >= '0' && *m <= '9' ? digits(m, 2) : 0;
    if (hours < 0 || hours > 23 || minutes < 0 || minutes > 59) return 0;
    long long seconds = (hours * 60 + minutes) * 60;
    return *p == '-' ? -seconds : seconds;
}

unsigned long long ticket_start(const char *key) {
    const char *p = find(response, key);
    if (!p) return 0;
    p += length(key);
    while (*p == ' ' || *p == ':') p++;
    if (*p != '"') return 0;
    p++;
    // YYYY-MM-DDTHH:MM:SS, then perhaps a fraction and a zone; without an offset it reads as UTC.
    static const char separators[] = "--T::";
    static const int places[6] = {0, 5, 8, 11, 14, 17};
    static const int widths[6] = {4, 2, 2, 2, 2, 2};
    int part[6];
    for (int i = 0; i < 6; i++) {
        if (i > 0 && p[places[i] - 1] != separators[i - 1]) return 0;
        part[i] = digits(p + places[i], widths[i]);
        if (part[i] < 0) return 0;
    }
    SYSTEMTIME st = {};
    st.wYear = (WORD)part[0];
    st.wMonth = (WORD)part[1];
    st.wDay = (WORD)part[2];
    st.wHour = (WORD)part[3];
    st.wMinute = (WORD)part[4];
    st.wSecond = (WORD)part[5];
    FILETIME t;
    if (!SystemTimeToFileTime(&st, &t)) return 0;
    // Some systems roll an impossible day (Feb 30) into the next month instead of refusing it.
    SYSTEMTIME back;
    if (!FileTimeToSystemTime(&t, &back) || back.wDay != st.wDay || back.wMonth != st.wMonth) return 0;
    unsigned long long written = ((unsigned long long)t.dwHighDateTime << 32) | t.dwLowDateTime;
    return written - zone_offset(p + 19) * 10000000LL;
}

static void queue_failed(int was_known) {
    stop_alert();
    if (was_known || last_position != -2) {
        show(info, "Não foi possível consultar a fila.");
        last_position = -2;
    }
    balance_known = 0;
    if (IsWindowEnabled(action)) EnableWindow(action, 0);
    if (!chat_ticket) account_dashboard_update(was_known, 0);
}

void account_queue_refresh() {
    int was_known = balance_known, tab = dashboard_tab, viewed = chat_ticket, waited = account_waiting;
    int balance = account_balance, ticket = account_ticket, recent = recent_ticket, cancelled_before = recent_cancelled;
    if (http_payload(L"/suporte/avulso/api/conta/atendimento", nullptr, 0, L"Content-Type: application/json\r\n", 1) !=
        200) {
        queue_failed(was_known);
        return;
    }
    account_ticket = json_int("\"id\"");
    account_balance = json_int("\"saldo\"");
    balance_known = 1;
    account_waiting = find(response, "\"AGUARDANDO\"") != nullptr;
    if (account_waiting)
        ring_account_ticket(account_ticket);
    else
        stop_alert();
    int in_service = find(response, "\"EM_ATENDIMENTO\"") != nullptr;
    int completed = find(response, "\"CONCLUIDO\"") != nullptr;
    int cancelled = find(response, "\"CANCELADO\"") != nullptr;
    if (completed || cancelled) {
        recent_ticket = account_ticket;
        recent_cancelled = cancelled;
    }

    if (account_waiting) {
        int position = json_int("\"posicao\"");
        if (position != last_position) {
            char text[96] = "Posição na fila: ";
            char number[16];
            integer_text(number, position);
            append(text, sizeof text, number);
            show(info, text);
        }
        if (!waited) dashboard_tab = 0;
        last_position = position;
    } else {
        if (last_position != -1 || last_completed != completed)
            show(info, completed ? "Atendimento finalizado." : "Cada atendimento utiliza 1 crédito.");
        last_position = -1;
    }
    last_completed = completed;

    // The count starts at the server's time when it can be read, else at the client's clock when the
    // ticket, its waiting or its service start changed.
    const char *key = in_service ? "\"chamado_em\"" : account_waiting ? "\"criado_em\"" : nullptr;
    if (!key)
        accepted_at = 0;
    else if (unsigned long long start = ticket_start(key))
        accepted_at = start;
    else if (!accepted_at || account_ticket != ticket || account_waiting != waited || (in_service && !viewed))
        accepted_at = now();
    client_waiting = account_waiting;

    int session = in_service ? account_ticket : 0;
    if (in_service) dashboard_tab = 0;
    if (session != chat_ticket) chat_switch(session);
    if (viewed && !chat_ticket) refresh_dashboard_size();

    if (account_waiting != waited || chat_ticket != viewed) {
        if (account_waiting) {
            place(elapsed_label, 122, 194, 245, 19);
            SetTimer(window, elapsed_timer, 1000, nullptr);
        } else {
            place(elapsed_label, 24, 116, 503, 17);
            if (!chat_ticket) KillTimer(window, elapsed_timer);
        }
        if (account_waiting || chat_ticket) update_elapsed();
    }

    if (!was_known || account_waiting != waited)
        SetWindowTextW(action, account_waiting ? L"Cancelar chamado" : L"Solicitar suporte");
    if (!IsWindowEnabled(action)) EnableWindow(action, 1);

    if (chat_ticket != viewed || dashboard_tab != tab || account_waiting != waited)
        dashboard_show();
    else if (!chat_ticket)
        account_dashboard_update(!was_known || account_balance != balance,
                                 recent_ticket != recent || recent_cancelled != cancelled_before);
}
