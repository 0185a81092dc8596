// Polling the account's queue state: the only place that decides the ticket's client-side state.
#include "tickets.h"
#include "../base/ui.h"
#include "../transport/transport.h"

int account_ticket, account_balance, balance_known, account_waiting, recent_ticket, recent_cancelled;
int client_waiting;
int queue_position, queue_completed;
unsigned long long accepted_at;
int queue_wants_home, session_switched;

void account_queue_refresh(const char *token) {
    int viewed = chat_ticket, waited = account_waiting, ticket = account_ticket;
    queue_wants_home = session_switched = 0;
    int status = http_payload(L"/suporte/avulso/api/conta/atendimento", nullptr, 0,
                              L"Content-Type: application/json\r\n", poll_request, token);
    queue_reading q = read_queue(status, response);
    if (!q.ok) {
        // The ticket, the view and the count stay as they were.
        stop_alert();
        balance_known = 0;
        return;
    }
    account_ticket = q.ticket;
    account_balance = q.balance;
    balance_known = 1;
    account_waiting = q.waiting;
    if (account_waiting)
        ring_account_ticket(account_ticket);
    else
        stop_alert();
    if (q.completed || q.cancelled) {
        recent_ticket = account_ticket;
        recent_cancelled = q.cancelled;
    }
    if (account_waiting) queue_position = q.position;
    queue_completed = q.completed;
    if ((account_waiting && !waited) || q.in_service) queue_wants_home = 1;

    // The count starts at the server's time when it can be read, else at the client's clock when the
    // ticket, its waiting or its service start changed.
    if (!q.in_service && !account_waiting)
        accepted_at = 0;
    else if (q.start)
        accepted_at = q.start;
    else if (!accepted_at || account_ticket != ticket || account_waiting != waited || (q.in_service && !viewed))
        accepted_at = clock_now();
    client_waiting = account_waiting;

    int session = q.in_service ? account_ticket : 0;
    if (session != chat_ticket) {
        chat_ticket = session;
        session_switched = 1;
    }
}
