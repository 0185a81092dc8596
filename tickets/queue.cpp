// Polling the account's queue state: the only place that decides the ticket's client-side state.
#include "tickets.h"

int account_ticket, account_balance, balance_known, account_waiting, recent_ticket, recent_cancelled;
FILETIME accepted_at;

void account_queue_refresh() {}
