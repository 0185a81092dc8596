// The app layer: the entry point and the window procedure, start-up and the message loop, the routing
// of commands and ticks, and the presenter. It is the top: it includes every folder, and none includes
// it. Routing passes each feature what it needs (the token, the open ticket); the presenter alone
// brings the window's controls and timers in line with the features' state.
#pragma once

#include "../base/ui.h"
#include "../transport/transport.h"
#include "../accounts/accounts.h"
#include "../tickets/tickets.h"
#include "../chat/rows.h"
#include "../remote/remote.h"
#include "../dashboard/dashboard.h"

// Set around every handler that talks to the server, so re-entrant ticks and commands drop out.
extern int busy;
// Credits bought by the three package buttons.
extern const int packages[3];

// Gives the stack protector's guard its random value; the first thing the process does after narrowing
// the DLL search.
void seed_stack_guard();
// Start-up, the message loop and the exit path, kept apart so tests can build the window without a loop.
int start_up();
int loop_message(MSG *message);
void message_loop();
void shut_down();
// WM_DPICHANGED: the window lays itself out again for the new DPI.
void change_dpi(int dpi, const RECT *suggested);
LRESULT CALLBACK procedure(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam);

// Routing of commands and timer ticks (the cases of the window procedure).
LRESULT route_command(HWND hwnd, WPARAM wparam, LPARAM lparam);
LRESULT route_timer(HWND hwnd, WPARAM wparam, LPARAM lparam);
// What follows every queue refresh: the home tab when the queue asks for it, and a session view that
// opened, changed or closed ends any remote session and polls its chat at once.
void follow_queue();

// The presenter: shows, hides, moves and relabels the controls and arms and kills the timers so the
// window matches the state; run after every handled command and tick.
void present();
// The parts of it that tests and start-up run on their own.
void fill_board();
void dashboard_show();
void refresh_dashboard_size();
void update_elapsed();
