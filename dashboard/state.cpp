// Which tab the dashboard shows, which controls each tab uses, the window's dashboard size and the
// areas repainted when the balance or the history changes.
#include "dashboard.h"
#include "../accounts/accounts.h"
#include "../shell/shell.h"
#include "../tickets/tickets.h"

int dashboard_tab;
int banner_index;

void dashboard_show() {
    int session = chat_ticket != 0;
    int home = !session && dashboard_tab == 0;
    int credits = !session && dashboard_tab == 1;
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

void dashboard_open(int tab) {
    if (!logged || chat_ticket) return;
    dashboard_tab = tab;
    dashboard_show();
    SetFocus(navigation[tab]);
}

void refresh_dashboard_size() {
    resize_window(567, 404, 1);
    InvalidateRect(window, nullptr, 1);
}

void account_dashboard_update(int balance_changed, int history_changed) {
    static const RECT balance_areas[2] = {{394, 182, 534, 206}, {420, 31, 542, 46}};
    static const RECT history_areas[3] = {{122, 303, 532, 321}, {0, 0, 0, 0}, {122, 66, 532, 84}};
    if (balance_changed && dashboard_tab != 2) InvalidateRect(window, &balance_areas[dashboard_tab], 1);
    if (history_changed && dashboard_tab != 1) InvalidateRect(window, &history_areas[dashboard_tab], 1);
}
