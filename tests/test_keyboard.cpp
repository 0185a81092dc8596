// The message loop's own Tab and Enter handling.
#include "harness.h"

namespace {

// Counts the commands that reach the window; the real procedure still runs, except for the submit,
// whose warning box would wait for a click.
struct command_spy {
    static int count[64];
    static WNDPROC original;
    static LRESULT CALLBACK hook(HWND h, UINT m, WPARAM w, LPARAM l) {
        if (m == WM_COMMAND && LOWORD(w) < 64) count[LOWORD(w)]++;
        if (m == WM_COMMAND && LOWORD(w) == 1) return 0;
        return CallWindowProcW(original, h, m, w, l);
    }
    command_spy() {
        for (int &c : count) c = 0;
        original = (WNDPROC)SetWindowLongPtrW(window, GWLP_WNDPROC, (LONG_PTR)hook);
    }
    ~command_spy() { SetWindowLongPtrW(window, GWLP_WNDPROC, (LONG_PTR)original); }
};
int command_spy::count[64];
WNDPROC command_spy::original;

void walk(HWND from, const HWND *expected, int count) {
    SetFocus(from);
    for (int i = 0; i < count; i++) {
        CHECK(key_down(GetFocus(), VK_TAB) == 1);
        CHECK(GetFocus() == expected[i]);
    }
}

} // namespace

TEST_CASE("Tab walks the sign-in ring forward and Shift+Tab backward") {
    ensure_started();
    const HWND forward[] = {loginPass, eye, action, account_switch, banner_cta, loginName, loginPass};
    walk(loginName, forward, 7);
    set_shift(1);
    REQUIRE((GetAsyncKeyState(VK_SHIFT) & 0x8000) != 0);
    const HWND backward[] = {banner_cta, account_switch, action, eye, loginPass, loginName};
    walk(loginName, backward, 6);
    set_shift(0);
}

TEST_CASE("the sign-in ring skips hidden and disabled controls") {
    ensure_started();
    hide(eye);
    EnableWindow(action, 0);
    const HWND expected[] = {loginPass, account_switch, banner_cta, loginName};
    walk(loginName, expected, 4);
    // In the confirmation stage the e-mail field and the eye are hidden.
    EnableWindow(action, 1);
    enter_stage(2);
    CHECK(GetFocus() == loginPass);
    const HWND code_ring[] = {action, account_switch, banner_cta, loginPass};
    walk(loginPass, code_ring, 4);
}

TEST_CASE("Tab outside the sign-in ring before sign-in is dispatched and moves nothing") {
    ensure_started();
    SetFocus(window);
    CHECK(key_down(window, VK_TAB) == 0);
    CHECK(GetFocus() == window);
    SetFocus(navigation[0]);
    CHECK(key_down(navigation[0], VK_TAB) == 0);
    CHECK(GetFocus() == navigation[0]);
}

TEST_CASE("Enter in the sign-in form moves, toggles, switches or submits and drops repeats") {
    ensure_started();
    command_spy spy;
    SetFocus(loginName);
    CHECK(key_down(loginName, VK_RETURN) == 1);
    CHECK(GetFocus() == loginPass);
    CHECK(spy.count[1] == 0);

    CHECK(key_down(loginPass, VK_RETURN) == 1);
    CHECK(spy.count[1] == 1);
    CHECK(key_down(loginPass, VK_RETURN, 1) == 1);
    CHECK(key_down(action, VK_RETURN, 1) == 1);
    CHECK(spy.count[1] == 1);
    CHECK(key_down(action, VK_RETURN) == 1);
    CHECK(spy.count[1] == 2);

    CHECK(key_down(eye, VK_RETURN) == 1);
    CHECK(spy.count[2] == 1);
    CHECK(visible == 1);
    CHECK(key_down(eye, VK_RETURN, 1) == 1);
    CHECK(visible == 1);

    CHECK(key_down(account_switch, VK_RETURN) == 1);
    CHECK(spy.count[20] == 1);
    CHECK(account_stage == 1);

    CHECK(key_down(banner_cta, VK_RETURN) == 1);
    CHECK(key_down(banner_cta, VK_RETURN, 1) == 1);
    CHECK(spy.count[36] == 1);
    // Other keys go on to the control.
    CHECK(key_down(loginName, 'A') == 0);
}

TEST_CASE("Enter in the chat input sends once and Tab is left alone during a session") {
    signed_in();
    command_spy spy;
    chat_ticket = 42;
    CHECK(key_down(chat_input, VK_RETURN) == 1);
    CHECK(key_down(chat_input, VK_RETURN, 1) == 1);
    CHECK(spy.count[3] == 1);
    SetFocus(navigation[0]);
    CHECK(key_down(navigation[0], VK_TAB) == 0);
    CHECK(GetFocus() == navigation[0]);
    chat_ticket = 0;
}

TEST_CASE("after sign-in Tab walks the dashboard ring and a stranger starts at the first entry") {
    signed_in();
    // Home tab: banner button, description, request button and buy button are shown.
    const HWND forward[] = {navigation[1], navigation[2], banner_cta, problem, action, buy_button, navigation[0]};
    walk(navigation[0], forward, 7);
    SetFocus(window);
    CHECK(key_down(window, VK_TAB) == 1);
    CHECK(GetFocus() == navigation[1]);
    set_shift(1);
    SetFocus(window);
    CHECK(key_down(window, VK_TAB) == 1);
    // Backwards from the first entry: the hidden package buttons are skipped.
    CHECK(GetFocus() == buy_button);
    set_shift(0);
    // Enter in the description is not intercepted, so it inserts a line break.
    SetWindowTextW(problem, L"a");
    SendMessageW(problem, EM_SETSEL, 1, 1);
    CHECK(key_down(problem, VK_RETURN) == 0);
    flush_events();
    CHECK(says(problem, L"a\r\n"));
}
