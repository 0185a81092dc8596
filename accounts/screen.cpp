// The three-stage account form: sign-in, registration and confirmation of the e-mail code.
#include "accounts.h"
#include "../base/ui.h"

int account_stage;
int visible;
int form_version;
char account_challenge[128] guard_zone(account_challenge);

extern const stage_texts stages[3] = {
    {L"Senha", L"Senha", L"Entrar", L"Criar conta"},
    {L"Senha (mínimo 8 caracteres)", L"Senha", L"Cadastrar", L"Voltar para entrar"},
    {L"Código de 8 dígitos enviado por e-mail", L"Código", L"Confirmar cadastro", L"Voltar para entrar"},
};

void account_screen(int stage) {
    account_stage = stage;
    visible = 0;
    form_version++;
}

void toggle_password() { visible = !visible; }

void switch_account_stage() {
    erase_secret(account_challenge, sizeof account_challenge);
    account_screen(account_stage == sign_in_stage ? registration_stage : sign_in_stage);
}

void focus_account_form() { wanted_focus = account_stage == confirmation_stage ? loginPass : loginName; }
