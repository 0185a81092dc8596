// Support tickets: requests, queue polling, the session view, the calling sound and support presence.
#pragma once

#include <windows.h>

extern int chat_ticket;
extern int account_ticket, account_balance, balance_known, account_waiting, recent_ticket, recent_cancelled;
extern int client_waiting;
// When the elapsed time counts from, in 100 ns units since 1601 (FILETIME); 0 when unknown.
extern unsigned long long accepted_at;
extern int support_presence;
extern int audible;

void account_queue_action();
void account_queue_refresh();
unsigned long long ticket_start(const char *key);
void chat_switch(int ticket);
void disconnect_ticket(int ticket);
void update_elapsed();
extern BOOL(WINAPI *play_sound_hook)(LPCWSTR sound, HMODULE module, DWORD flags);
void alert();
void stop_alert();
void ring_account_ticket(int ticket);
void refresh_support_presence();
