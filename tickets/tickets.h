// Support tickets: requests, queue polling, the session view, the calling sound and support presence.
#pragma once

#include <windows.h>

extern int chat_ticket;
extern int account_ticket, account_balance, balance_known, account_waiting, recent_ticket, recent_cancelled;
extern FILETIME accepted_at;
extern int support_presence;
extern int audible;

void account_queue_action();
void account_queue_refresh();
void disconnect_ticket(int ticket);
void update_elapsed();
void alert();
void stop_alert();
void ring_account_ticket(int ticket);
void refresh_support_presence();
