// Support tickets: requests, queue polling, the session, the calling sound and support presence. The
// state the queue decides lives here; the window shows it through the presenter (shell/present.cpp).
#pragma once

#include <windows.h>
#include "answers.h"

// The ticket whose session view is open; 0 when the dashboard shows.
extern int chat_ticket;
extern int account_ticket, account_balance, balance_known, account_waiting, recent_ticket, recent_cancelled;
extern int client_waiting;
// The queue position of a waiting ticket, and whether the last good answer said "CONCLUIDO".
extern int queue_position, queue_completed;
// When the elapsed time counts from, in 100 ns units since 1601 (FILETIME); 0 when unknown.
extern unsigned long long accepted_at;
// Set by a refresh: the customer belongs on the home tab (the ticket just entered the queue or is in
// service), and the session view opened, changed ticket or closed.
extern int queue_wants_home, session_switched;
extern int support_presence;
extern int audible;

void account_queue_refresh(const char *token);
// Requests support or cancels the waiting request; 0 when there is no credit to ask with.
int account_queue_action(const char *token);
void disconnect_ticket(int ticket, const char *csrf, const char *token);
// The elapsed-time label's text for now: "Tempo: ", or "Tempo de espera: " while waiting.
void elapsed_text(char *dst, int size);
extern BOOL(WINAPI *play_sound_hook)(LPCWSTR sound, HMODULE module, DWORD flags);
void alert();
void stop_alert();
void ring_account_ticket(int ticket);
void refresh_support_presence(const char *token);
