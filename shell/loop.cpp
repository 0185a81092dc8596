// The message loop with the program's own Tab and Enter handling: there is no dialog manager.
#include "shell.h"

static int is_repeat(const MSG *m) { return (m->lParam & (1 << 30)) != 0; }

static void send_command(int id, HWND from) { SendMessageW(window, WM_COMMAND, id, (LPARAM)from); }

// Focuses the first visible and enabled control after the target's place, wrapping round the ring.
// A target outside the ring counts as standing on the first entry.
static void walk_ring(HWND *ring, int count, HWND target) {
    int step = (GetAsyncKeyState(VK_SHIFT) & 0x8000) ? count - 1 : 1;
    int at = 0;
    for (int i = 0; i < count; i++)
        if (ring[i] == target) at = i;
    for (int tried = 0; tried < count; tried++) {
        at = (at + step) % count;
        if (IsWindowVisible(ring[at]) && IsWindowEnabled(ring[at])) {
            SetFocus(ring[at]);
            return;
        }
    }
}

static int in_sign_in_form(HWND w) {
    return w && (w == loginName || w == loginPass || w == eye || w == action || w == banner_cta ||
                 w == account_switch);
}

// Returns 1 when the message was acted on here and must be neither translated nor dispatched.
static int keyboard(const MSG *m) {
    if (m->message != WM_KEYDOWN) return 0;
    if (consent_key(m)) return 1;
    WPARAM key = m->wParam;
    if (m->hwnd == banner_cta && key == VK_RETURN) {
        if (!is_repeat(m)) send_command(banner_cta_id, banner_cta);
        return 1;
    }
    if (!logged && in_sign_in_form(m->hwnd)) {
        if (key == VK_TAB) {
            HWND ring[6] = {loginName, loginPass, eye, action, account_switch, banner_cta};
            walk_ring(ring, 6, m->hwnd);
            return 1;
        }
        if (key == VK_RETURN) {
            if (is_repeat(m)) return 1;
            if (m->hwnd == loginName)
                SetFocus(loginPass);
            else if (m->hwnd == eye)
                send_command(eye_id, eye);
            else if (m->hwnd == account_switch)
                send_command(account_switch_id, account_switch);
            else if (m->hwnd == loginPass || m->hwnd == action)
                send_command(action_id, action);
            return 1;
        }
    }
    if (m->hwnd == chat_input && key == VK_RETURN) {
        if (!is_repeat(m)) send_command(chat_send_id, chat_send);
        return 1;
    }
    if (logged && !chat_ticket && key == VK_TAB) {
        HWND ring[10] = {navigation[0], navigation[1],      navigation[2],      banner_cta,        problem,
                         action,        buy_button,         package_buttons[0], package_buttons[1], package_buttons[2]};
        walk_ring(ring, 10, m->hwnd);
        return 1;
    }
    return 0;
}

int loop_message(MSG *message) {
    if (keyboard(message)) return 1;
    TranslateMessage(message);
    DispatchMessageW(message);
    return 0;
}

void message_loop() {
    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) loop_message(&message);
}
