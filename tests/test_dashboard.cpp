// Which controls each tab and view shows, the window's dashboard size against the screen edges, the
// partial repaints of the balance and history, the support-presence indicator, and steady polling
// that, in every state, changes no control, text, paint or timer.
#include "harness.h"
#include "gdi_count.h"
#include "../remote/remote.h"
#include <initializer_list>
#include <string.h>

namespace {

// The area waiting to be repainted since the last validate, and whether erase was asked for.
RECT pending() {
    RECT r = {};
    GetUpdateRect(window, &r, FALSE);
    return r;
}

int same(RECT a, RECT b) { return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom; }

} // namespace

TEST_CASE("each tab and the session view show exactly their controls") {
    ensure_started();
    logged = 1;
    struct {
        int ticket, tab, waiting;
    } cases[] = {{0, 0, 0}, {0, 0, 1}, {0, 1, 0}, {0, 1, 1}, {0, 2, 0}, {0, 2, 1}, {5, 0, 0}, {5, 1, 1}, {5, 2, 0}};
    for (auto &c : cases) {
        CAPTURE(c.ticket);
        CAPTURE(c.tab);
        CAPTURE(c.waiting);
        chat_ticket = c.ticket;
        dashboard_tab = c.tab;
        account_waiting = c.waiting;
        dashboard_show();
        int session = c.ticket != 0, home = !session && c.tab == 0, credits = !session && c.tab == 1;
        CHECK(shown(login_header) == session);
        for (int i = 0; i < 3; i++) {
            CHECK(shown(navigation[i]) == !session);
            if (!session) CHECK(IsWindowEnabled(navigation[i]));
            CHECK(shown(package_buttons[i]) == credits);
        }
        for (HWND h : {banner, banner_cta, info, action}) CHECK(shown(h) == home);
        CHECK(shown(elapsed_label) == (session || (home && c.waiting)));
        for (HWND h : {description_hint, problem, buy_button}) CHECK(shown(h) == (home && !c.waiting));
    }
    chat_ticket = 0;
    account_waiting = 0;
}

TEST_CASE("tabs open only when signed in and outside a session") {
    ensure_started();
    logged = 0;
    dashboard_tab = 0;
    open_tab(1);
    CHECK(dashboard_tab == 0);
    logged = 1;
    chat_ticket = 9;
    open_tab(2);
    CHECK(dashboard_tab == 0);
    chat_ticket = 0;
    open_tab(2);
    CHECK(dashboard_tab == 2);
    CHECK(GetFocus() == navigation[2]);
    // The buy button always leads to the credits tab.
    SendMessageW(window, WM_COMMAND, 19, 0);
    CHECK(dashboard_tab == 1);
    CHECK(GetFocus() == navigation[1]);
}

TEST_CASE("the dashboard size stays in the work area and a minimized window gets it on restore") {
    ensure_started();
    RECT work;
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
    // At each edge and one pixel past it; a minimized window gets the same place on restore.
    const int l = work.left, t = work.top, r = work.right, b = work.bottom;
    struct {
        int x, y, left, top;
    } cases[] = {
        {100, 100, 100, 100},
        {r - 566, 50, r - 567, 50}, // right edge pulled in
        {r - 567, 50, r - 567, 50}, // already inside
        {l - 1, 60, l, 60},         // left edge pushed out
        {l, 60, l, 60},
        {l - 40, t - 30, l, t},
        {60, b - 403, 60, b - 404}, // bottom edge pulled up
        {60, b - 404, 60, b - 404},
        {70, t - 1, 70, t}, // top edge pushed down
        {70, t, 70, t},
    };
    RECT now;
    for (int minimized = 0; minimized < 2; minimized++)
        for (auto &c : cases) {
            CAPTURE(minimized);
            CAPTURE(c.x);
            CAPTURE(c.y);
            SetWindowPos(window, nullptr, c.x, c.y, 567, 378, SWP_NOZORDER | SWP_NOACTIVATE);
            if (minimized) {
                ShowWindow(window, SW_MINIMIZE);
                REQUIRE(wait_until([] { return IsIconic(window) != 0; }));
            }
            refresh_dashboard_size();
            if (minimized) {
                CHECK(IsIconic(window));
                ShowWindow(window, SW_RESTORE);
                REQUIRE(wait_until([] { return !IsIconic(window); }));
                flush_events();
            }
            GetWindowRect(window, &now);
            CHECK(now.left == c.left);
            CHECK(now.top == c.top);
            CHECK(now.right - now.left == 567);
            CHECK(now.bottom - now.top == 404);
        }
    // Minimized during a session that then ends (and the other way round): the window stays
    // minimized and comes back where it was, with the new size.
    const int heights[2] = {404, 378};
    for (int height : heights) {
        CAPTURE(height);
        SetWindowPos(window, nullptr, 200, 150, 567, 782 - height, SWP_NOZORDER | SWP_NOACTIVATE);
        ShowWindow(window, SW_MINIMIZE);
        REQUIRE(wait_until([] { return IsIconic(window) != 0; }));
        if (height == 404)
            refresh_dashboard_size();
        else
            resize_window(567, 378, 0);
        CHECK(IsIconic(window));
        ShowWindow(window, SW_RESTORE);
        REQUIRE(wait_until([] { return !IsIconic(window); }));
        flush_events();
        GetWindowRect(window, &now);
        CHECK(now.left == 200);
        CHECK(now.top == 150);
        CHECK(now.right - now.left == 567);
        CHECK(now.bottom - now.top == height);
    }
}

TEST_CASE("balance and history changes repaint only their lines") {
    signed_in();
    struct {
        int tab, balance, history;
        RECT expected;
    } cases[] = {
        {0, 1, 0, {394, 182, 534, 206}}, {1, 1, 0, {420, 31, 542, 46}}, {2, 1, 0, {0, 0, 0, 0}},
        {0, 0, 1, {122, 303, 532, 321}}, {2, 0, 1, {122, 66, 532, 84}}, {1, 0, 1, {0, 0, 0, 0}},
        {0, 1, 1, {122, 182, 534, 321}},
    };
    for (auto &c : cases) {
        CAPTURE(c.tab);
        dashboard_tab = c.tab;
        present();
        ValidateRect(window, nullptr);
        account_balance += c.balance;
        recent_ticket += c.history;
        present();
        CHECK(same(pending(), c.expected));
    }
    dashboard_tab = 0;
}

TEST_CASE("presence reads only a numeric online flag and repaints its strip only on a change") {
    ensure_started();
    fake_reset();
    const char path[] = "/suporte/avulso/api/presenca";
    const RECT strip = {380, 9, 543, 27};
    struct {
        int status;
        const char *body;
        int expected;
    } steps[] = {
        {200, "{\"online\":1}", 1},    {200, "{\"online\": 1}", 1}, {200, "{\"online\":0}", 0},
        {200, "{\"online\":true}", 0}, {200, "{}", -1},            {503, "{\"online\":1}", -1},
        {200, "{\"online\":7}", 1},
    };
    support_presence = -1;
    present();
    for (auto &s : steps) {
        CAPTURE(s.body);
        script("GET", path, s.status, s.body);
        int before = support_presence;
        ValidateRect(window, nullptr);
        poll_presence();
        CHECK(support_presence == s.expected);
        CHECK(same(pending(), before == s.expected ? RECT{0, 0, 0, 0} : strip));
        // The same answer again repaints nothing.
        ValidateRect(window, nullptr);
        poll_presence();
        CHECK(same(pending(), RECT{0, 0, 0, 0}));
    }
    // Unreachable: a dropped connection reads as unavailable.
    script("GET", path, 200, "", -1, nullptr, 0, 0, 1);
    poll_presence();
    CHECK(support_presence == -1);
}

namespace {

// The clock, held still while steady ticks run so that the elapsed time reads the same at each.
unsigned long long held_clock;
decltype(&GetSystemTimeAsFileTime) real_clock;
void WINAPI held_time(FILETIME *t) {
    if (!held_clock) return real_clock(t);
    t->dwLowDateTime = (DWORD)held_clock;
    t->dwHighDateTime = (DWORD)(held_clock >> 32);
}

// One round of every tick the window gets, each through the window procedure; the requests it made.
int tick_round() {
    int before = fake_count();
    for (int id : {queue_timer, chat_timer, remote_timer, presence_timer, elapsed_timer}) tick(id);
    return fake_count() - before;
}

// The conversation of ticket 42, a technician's message of two lines and the customer's answer.
void good_chat() {
    script("GET", "/suporte/api/chat/cliente?formato=texto", 200,
           "HALVOREN-CHAT/1 42\nTécnico: Olá\nvou olhar\nCliente: Oi\n", -1, "text/plain; charset=utf-8");
}

} // namespace

TEST_CASE("steady polling in every state writes, shows, repaints and arms nothing") {
    ensure_started();
    if (!real_clock)
        real_clock = (decltype(&GetSystemTimeAsFileTime))swap_import("kernel32.dll", "GetSystemTimeAsFileTime",
                                                                     (void *)held_time);
    // The banner's slides change by themselves; everything else stays while the answers do.
    KillTimer(window, banner_timer);
    // Each state reached through the server as the program reaches it, with the requests one round of
    // ticks makes there (so a tick that silently did nothing shows).
    struct {
        const char *state;
        void (*enter)();
        int requests;
    } states[] = {
        {"signed out", [] { script("GET", "/suporte/avulso/api/presenca", 200, "{\"online\":1}"); }, 1},
        {"idle", [] { sign_in("{\"id\":3,\"saldo\":2,\"estado\":\"CONCLUIDO\"}"); }, 2},
        {"idle on the credits tab", [] { open_tab(credits_tab); }, 2},
        {"queue unreachable", [] {
             open_tab(home_tab);
             script("GET", "/suporte/avulso/api/conta/atendimento", 503, "{}");
             tick(queue_timer);
             REQUIRE(!balance_known);
         }, 2},
        {"waiting", [] {
             open_tab(home_tab);
             script("GET", "/suporte/avulso/api/conta/atendimento", 200,
                    "{\"id\":42,\"saldo\":2,\"estado\":\"AGUARDANDO\",\"posicao\":2,\"criado_em\":\"2024-05-01T12:00:00Z\"}");
             tick(queue_timer);
         }, 2},
        {"in service with chat", [] {
             good_chat();
             script("GET", "/suporte/api/remoto/cliente?formato=texto&chamado=42", 200,
                    "HALVOREN-REMOTE/1 NENHUM -\nAna", -1, nullptr);
             script("GET", "/suporte/avulso/api/conta/atendimento", 200,
                    "{\"id\":42,\"saldo\":1,\"estado\":\"EM_ATENDIMENTO\",\"chamado_em\":\"2024-05-01T12:30:05Z\"}");
             tick(queue_timer);
             REQUIRE(chat_ticket == 42);
         }, 3},
        {"in service, chat refused", [] {
             script("GET", "/suporte/api/chat/cliente?formato=texto", 503, "", -1, nullptr);
             tick(chat_timer);
             REQUIRE(!chat_live);
         }, 3},
        {"remote pending", [] {
             good_chat();
             script("GET", "/suporte/api/remoto/cliente?formato=texto&chamado=42", 200,
                    "HALVOREN-REMOTE/1 PENDENTE p-1\nAna", -1, nullptr);
             tick(remote_timer);
             REQUIRE(consent_window);
         }, 3},
        {"streaming", [] {
             // Accepted in the dialog; the next status line confirms it and frames flow from then on.
             script("POST", "/suporte/api/remoto/cliente?formato=texto&chamado=42", 200, "", -1, nullptr);
             SendMessageW(consent_window, WM_COMMAND, 1, 0);
             script("GET", "/suporte/api/remoto/cliente?formato=texto&chamado=42", 200,
                    "HALVOREN-REMOTE/1 ACEITO p-1\nAna", -1, nullptr);
             script("POST", "/suporte/api/remoto/cliente?formato=texto&chamado=42&fluxo=1&pedido=p-1", 200, "", -1,
                    nullptr);
             tick(remote_timer);
             REQUIRE(fast_remote_timer);
             tick(remote_timer);
             REQUIRE(capture_dc);
         }, 3},
    };
    for (auto &s : states) {
        doctest::String state = s.state;
        CAPTURE(state);
        held_clock = 0;
        s.enter();
        // One round settles what entering left (the elapsed time of the held second, say); after it
        // nothing may change any more.
        held_clock = clock_now();
        tick_round();
        flush_events();
        ValidateRect(window, nullptr);
        record_window_changes();
        recording_changes = 1;
        int requests = 0, repaints = 0;
        for (int round = 0; round < 3; round++) {
            requests += tick_round();
            RECT r = pending();
            repaints += !IsRectEmpty(&r);
        }
        recording_changes = 0;
        for (int k = 0; k < change_kinds; k++)
            if (change_calls[k]) MESSAGE(doctest::String(change_names[k]), " was called ", change_calls[k], " times");
        if (changes_seen) MESSAGE("the first change: ", doctest::String(first_change), " (message ", first_message, ")");
        CHECK(changes_seen == 0);
        CHECK(repaints == 0);
        CHECK(requests == 3 * s.requests);
    }
    held_clock = 0;
}
