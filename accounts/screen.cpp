// The three-stage account form: sign-in, registration and confirmation of the e-mail code.
#include "accounts.h"
#include "../shell/shell.h"
#include <commctrl.h>

int account_stage;
int visible;
char account_challenge[128] guard_zone(account_challenge);

static const wchar_t mask = 0x25CF;

struct stage_texts {
    const wchar_t *label, *cue, *action, *switch_caption;
};

static const stage_texts stages[3] = {
    {L"Senha", L"Senha", L"Entrar", L"Criar conta"},
    {L"Senha (mínimo 8 caracteres)", L"Senha", L"Cadastrar", L"Voltar para entrar"},
    {L"Código de 8 dígitos enviado por e-mail", L"Código", L"Confirmar cadastro", L"Voltar para entrar"},
};

// The eye is a child under WS_CLIPCHILDREN: repainting the main window does not reach it.
static void show_eye_state() {
    SetWindowTextW(eye, visible ? L"Ocultar senha" : L"Mostrar senha");
    InvalidateRect(eye, nullptr, 0);
}

void account_screen(int stage) {
    account_stage = stage;
    int code = stage == 2;
    int shown = code ? SW_HIDE : SW_SHOW;
    ShowWindow(loginName, shown);
    ShowWindow(user_label, shown);
    ShowWindow(eye, shown);
    SendMessageW(loginPass, EM_SETPASSWORDCHAR, code ? 0 : mask, 0);
    SendMessageW(loginPass, EM_SETLIMITTEXT, code ? 8 : 128, 0);
    visible = 0;
    SetWindowTextW(loginPass, L"");
    show_eye_state();
    const stage_texts &t = stages[stage];
    SetWindowTextW(pass_label, t.label);
    SendMessageW(loginPass, EM_SETCUEBANNER, 1, (LPARAM)t.cue);
    SetWindowTextW(action, t.action);
    SetWindowTextW(account_switch, t.switch_caption);
    SetFocus(code ? loginPass : loginName);
    InvalidateRect(window, nullptr, 1);
}

void toggle_password() {
    visible = !visible;
    SendMessageW(loginPass, EM_SETPASSWORDCHAR, visible ? 0 : mask, 0);
    show_eye_state();
}

void switch_account_stage() {
    erase_secret(account_challenge, sizeof account_challenge);
    account_screen(account_stage == 0 ? 1 : 0);
}

void focus_account_form() { SetFocus(IsWindowVisible(loginName) ? loginName : loginPass); }
