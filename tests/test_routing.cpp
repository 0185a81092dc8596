// Routing of commands and timer ticks through the busy guard, the colours of the standard controls,
// the message boxes and closing.
#include "harness.h"
#include "gdi_count.h"
#include <initializer_list>
#include <string.h>

TEST_CASE("any button notification acts like a click") {
    ensure_started();
    command(2, BN_DOUBLECLICKED);
    CHECK(visible == 1);
    wchar_t caption[32];
    GetWindowTextW(eye, caption, 32);
    CHECK(wcscmp(caption, L"Ocultar senha") == 0);
    CHECK(SendMessageW(loginPass, EM_GETPASSWORDCHAR, 0, 0) == 0);
    command(2, BN_SETFOCUS);
    CHECK(visible == 0);
    CHECK(SendMessageW(loginPass, EM_GETPASSWORDCHAR, 0, 0) == 0x25CF);
}

TEST_CASE("before sign-in the tabs and the banner button only focus the form") {
    ensure_started();
    SetFocus(eye);
    command(31);
    CHECK(dashboard_tab == 0);
    CHECK(GetFocus() == loginName);
    SetFocus(eye);
    command(36);
    CHECK(GetFocus() == loginName);
    enter_stage(2);
    SetFocus(action);
    command(30);
    CHECK(GetFocus() == loginPass);
}

TEST_CASE("the banner button after sign-in opens credits only from the home tab and never while busy") {
    signed_in();
    busy = 1;
    command(36);
    CHECK(dashboard_tab == 0);
    busy = 0;
    chat_ticket = 9;
    command(36);
    CHECK(dashboard_tab == 0);
    chat_ticket = 0;
    command(36);
    CHECK(dashboard_tab == 1);
    CHECK(GetFocus() == navigation[1]);
    command(32);
    CHECK(dashboard_tab == 2);
    command(36);
    CHECK(dashboard_tab == 2);
    command(19);
    CHECK(dashboard_tab == 1);
    CHECK(IsWindowVisible(package_buttons[0]));
}

TEST_CASE("guarded commands and ticks drop out while busy and the unguarded ones go on") {
    ensure_started();
    busy = 1;
    command(20);
    CHECK(account_stage == 0);
    command(2);
    CHECK(visible == 1);
    int index = banner_index;
    tick(banner_timer);
    CHECK(banner_index == (index + 1) % 3);
    // A guarded handler clears busy when it returns, so busy still set means it never ran.
    tick(presence_timer);
    CHECK(busy == 1);
    logged = 1;
    tick(queue_timer);
    tick(chat_timer);
    tick(remote_timer);
    CHECK(busy == 1);
    command(1);
    command(3);
    command(7);
    command(8);
    CHECK(busy == 1);
    busy = 0;
    // Outside the credits tab the package commands go to the default procedure untouched: no purchase.
    fake_reset();
    answer_box(IDOK);
    command(33);
    CHECK(fake_count() == 0);
    // Nor on the credits tab during a ticket session.
    dashboard_tab = credits_tab;
    chat_ticket = 9;
    command(33);
    CHECK(fake_count() == 0);
    chat_ticket = 0;
    dashboard_tab = home_tab;
    // A command that talks to the server drops every key and click queued meanwhile; the commands that
    // talk to none and the polls, the presence poll too, keep them: the customer may be typing.
    struct {
        int timer, id, kept;
    } after[] = {{0, 2, 1},
                 {0, 3, 0},
                 {0, 7, 0},
                 {0, 8, 0},
                 {1, presence_timer, 1},
                 {1, queue_timer, 1},
                 {1, chat_timer, 1},
                 {1, remote_timer, 1}};
    // Input for another top-level window of the program (as the consent dialog is) goes the same way.
    HWND other = CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
    REQUIRE(other);
    for (auto &a : after) {
        CAPTURE(a.timer);
        CAPTURE(a.id);
        queue_input(window);
        queue_input(other);
        if (a.timer)
            tick(a.id);
        else
            command(a.id);
        CHECK(busy == 0);
        check_queued_input(window, a.kept);
        check_queued_input(other, a.kept);
    }
    DestroyWindow(other);
}

TEST_CASE("ticks 1 to 3 need sign-in and the presence tick pauses during a session") {
    ensure_started();
    support_presence = 5;
    chat_ticket = 3;
    tick(presence_timer);
    CHECK(support_presence == 5);
    chat_ticket = 0;
    tick(presence_timer);
    CHECK(support_presence != 5);
    CHECK(busy == 0);
    // Signed out with a ticket set, none of the polls asks the server anything.
    fake_reset();
    logged = 0;
    chat_ticket = 3;
    for (int id : {queue_timer, chat_timer, remote_timer}) tick(id);
    CHECK(fake_count() == 0);
    // A remote tick after the session closed only sets and clears busy.
    logged = 1;
    chat_ticket = 0;
    tick(remote_timer);
    CHECK(fake_count() == 0);
    CHECK(busy == 0);
}

namespace {
// The banner's repaint requests, counted on their way to the platform: a hidden window's update
// region cannot show them.
int banner_repaints;
decltype(&InvalidateRect) real_invalidate;
BOOL WINAPI record_invalidate(HWND w, const RECT *r, BOOL erase) {
    banner_repaints += w == banner;
    return real_invalidate(w, r, erase);
}
} // namespace

TEST_CASE("the banner tick advances the slide and repaints only a visible banner") {
    ensure_started();
    banner_index = 2;
    present();
    void *real = swap_import("user32.dll", "InvalidateRect", (void *)record_invalidate);
    REQUIRE(real != nullptr);
    real_invalidate = (decltype(&InvalidateRect))real;
    ValidateRect(banner, nullptr);
    tick(banner_timer);
    CHECK(banner_index == 0);
    CHECK(banner_repaints == 1);
    CHECK(GetUpdateRect(banner, nullptr, FALSE));
    hide(banner);
    tick(banner_timer);
    CHECK(banner_index == 1);
    CHECK(banner_repaints == 1);
    swap_import("user32.dll", "InvalidateRect", real);
}

TEST_CASE("inside the close-ticket question guarded ticks are lost and timers 4 and 6 go on") {
    signed_in();
    chat_ticket = 77;
    // The elapsed time shown, ten seconds into the session.
    ShowWindow(elapsed_label, SW_SHOW);
    client_waiting = 0;
    accepted_at = clock_now() - 10 * 10000000ULL - 2500000;
    static int banner_before;
    banner_before = banner_index;
    inside_box box([](HWND b) {
        read_box(b);
        CHECK(wcscmp(box_caption, L"Desconectar") == 0);
        CHECK(wcscmp(box_text, L"Finalizar este chamado? A conversa será encerrada para você e para o técnico.") == 0);
        CHECK(GetWindow(b, GW_OWNER) == window);
        CHECK(!IsWindowEnabled(window));
        CHECK(GetDlgItem(b, IDYES) != nullptr);
        CHECK(GetDlgItem(b, IDNO) != nullptr);
        // No is the default: it carries the default-button style and the focus.
        HWND no = GetDlgItem(b, IDNO);
        CHECK((GetWindowLongW(no, GWL_STYLE) & 0xF) == BS_DEFPUSHBUTTON);
        CHECK((GetWindowLongW(GetDlgItem(b, IDYES), GWL_STYLE) & 0xF) == BS_PUSHBUTTON);
        CHECK(GetFocus() == no);
        CHECK(busy == 1);
        tick(queue_timer);
        tick(chat_timer);
        tick(remote_timer);
        tick(presence_timer);
        CHECK(busy == 1);
        tick(banner_timer);
        CHECK(banner_index == (banner_before + 1) % 3);
        SetWindowTextW(elapsed_label, L"marca");
        tick(elapsed_timer);
        CHECK(says(elapsed_label, L"Tempo: 00:00:10"));
        command(7);
        CHECK(busy == 1);
    }, IDNO);
    command(7);
    CHECK(inside_box::ran == 1);
    CHECK(busy == 0);
    CHECK(chat_ticket == 77);
    CHECK(IsWindowEnabled(window));
}

TEST_CASE("the close-ticket command without a session asks nothing") {
    signed_in();
    chat_ticket = 0;
    inside_box box([](HWND) { FAIL("no box expected"); }, IDNO);
    command(7);
    CHECK(inside_box::ran == 0);
    CHECK(busy == 0);
}

TEST_CASE("the warning box has the program's caption, a warning icon and only OK") {
    ensure_started();
    inside_box box([](HWND b) {
        read_box(b);
        CHECK(wcscmp(box_caption, L"Halvoren Zivavoz") == 0);
        CHECK(wcscmp(box_text, L"Não foi possível iniciar a conexão.") == 0);
        CHECK(GetWindow(b, GW_OWNER) == window);
        CHECK(!IsWindowEnabled(window));
        CHECK(GetDlgItem(b, IDOK) != nullptr);
        CHECK(GetDlgItem(b, IDCANCEL) == nullptr);
        CHECK(GetDlgItem(b, IDNO) == nullptr);
        // The icon is a static showing the system's warning icon (Windows and Wine give it other ids).
        HWND icon = nullptr;
        for (HWND c = GetWindow(b, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT))
            if ((GetWindowLongW(c, GWL_STYLE) & SS_TYPEMASK) == SS_ICON) icon = c;
        REQUIRE(icon != nullptr);
        CHECK((HICON)SendMessageW(icon, STM_GETICON, 0, 0) == LoadIconW(nullptr, (LPCWSTR)IDI_WARNING));
    }, IDOK);
    pop("Não foi possível iniciar a conexão.");
    CHECK(inside_box::ran == 1);
    CHECK(IsWindowEnabled(window));
}

TEST_CASE("edits and labels get dark text on white and the chat input on its tint") {
    ensure_started();
    HDC dc = GetDC(window);
    int mode = SetBkMode(dc, OPAQUE);
    CHECK((HBRUSH)SendMessageW(window, WM_CTLCOLOREDIT, (WPARAM)dc, (LPARAM)chat_input) == header_brush);
    CHECK(GetTextColor(dc) == RGB(0x21, 0x19, 0x1A));
    CHECK(GetBkColor(dc) == RGB(0xF6, 0xEE, 0xEE));
    CHECK(GetBkMode(dc) == OPAQUE);
    CHECK((HBRUSH)SendMessageW(window, WM_CTLCOLOREDIT, (WPARAM)dc, (LPARAM)loginName) == paper_brush);
    CHECK(GetBkColor(dc) == RGB(0xFF, 0xFF, 0xFF));
    SetTextColor(dc, 0);
    CHECK((HBRUSH)SendMessageW(window, WM_CTLCOLORSTATIC, (WPARAM)dc, (LPARAM)user_label) == paper_brush);
    CHECK(GetTextColor(dc) == RGB(0x21, 0x19, 0x1A));
    SetBkMode(dc, mode);
    ReleaseDC(window, dc);
}

TEST_CASE("closing destroys the window and posts quit with code 0") {
    ensure_started();
    SendMessageW(window, WM_CLOSE, 0, 0);
    CHECK(!IsWindow(window));
    MSG m;
    int quit = 0;
    while (PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE))
        if (m.message == WM_QUIT) {
            quit = 1;
            CHECK(m.wParam == 0);
        }
    CHECK(quit == 1);
}
