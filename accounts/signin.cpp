// Sign-in, registration and confirmation of the e-mail code: the submit of the account form.
#include "accounts.h"
#include "../base/ui.h"
#include "../transport/transport.h"

char account_token[64] guard_zone(account_token);
char csrf[128] guard_zone(csrf);
int logged;

static char email[256];
// The password or code as typed, the JSON members and the request body: zero except during a submit.
char account_secret[520] guard_zone(account_secret);
char account_members[4096] guard_zone(account_members);
char account_body[4096] guard_zone(account_body);

// Before sign-in there is no token to send.
int account_request(const wchar_t *path, const char *member_text, int request_class) {
    json_body(account_body, sizeof account_body, member_text);
    int status = http_json(path, account_body, request_class, nullptr);
    erase_secret(account_body, sizeof account_body);
    return status;
}

// UTF-8 continuation bytes (10xxxxxx) do not start a character.
static int characters(const char *s) {
    int n = 0;
    for (; *s; s++)
        if ((*s & 0xC0) != 0x80) n++;
    return n;
}

void perform() {
    erase_secret(account_members, sizeof account_members);
    read(loginName, email, sizeof email);
    read(loginPass, account_secret, sizeof account_secret);
    int stage = account_stage;
    if ((stage != confirmation_stage && !find(email, "@")) || !account_secret[0]) {
        erase_secret(account_secret, sizeof account_secret);
        pop("Preencha os dados solicitados.");
        return;
    }
    if (stage == registration_stage && characters(account_secret) < 8) {
        erase_secret(account_secret, sizeof account_secret);
        pop("A senha precisa ter pelo menos 8 caracteres.");
        wanted_focus = loginPass;
        return;
    }
    int status;
    if (stage == sign_in_stage) {
        account_json(account_members, "email", email);
        account_json(account_members, "senha", account_secret);
        status = account_request(L"/suporte/avulso/api/conta/login", account_members, sign_in_request);
        if (status == 0 || status == 502 || status == 503 || status == 504)
            status = account_request(L"/suporte/avulso/api/conta/login", account_members, sign_in_request);
    } else if (stage == registration_stage) {
        account_json(account_members, "email", email);
        account_json(account_members, "senha", account_secret);
        account_json(account_members, "confirmacao", account_secret);
        status = account_request(L"/suporte/avulso/api/conta/cadastro", account_members, poll_request);
    } else {
        account_json(account_members, "desafio", account_challenge);
        account_json(account_members, "codigo", account_secret);
        status = account_request(L"/suporte/avulso/api/conta/cadastro/confirmar", account_members, poll_request);
    }
    erase_secret(account_secret, sizeof account_secret);
    erase_secret(account_members, sizeof account_members);

    int answered = (stage == sign_in_stage && status == 200) || (stage == registration_stage && status == 202);
    char *value = stage == sign_in_stage ? account_token : account_challenge;
    int size = stage == sign_in_stage ? (int)sizeof account_token : (int)sizeof account_challenge;
    account_outcome outcome = read_account_answer(stage, status, response, stage == confirmation_stage ? nullptr : value, size);
    // A flat clock battery makes every certificate look out of date, and trying again never helps:
    // the customer has to set the clock.
    if (status == 0 && certificate_out_of_date())
        outcome.message = "Não foi possível conectar com segurança. Confira a data e a hora do computador.";
    // The answer held the token or the challenge; from here they live only in their own buffers.
    if (answered) forget_answer();
    if (stage == confirmation_stage && status == 200) erase_secret(account_challenge, sizeof account_challenge);
    if (answered && !outcome.signed_in && outcome.next_stage < 0) erase_secret(value, size);
    if (outcome.signed_in) {
        append(csrf, sizeof csrf, account_token);
        logged = 1;
    }
    if (outcome.next_stage >= 0) account_screen(outcome.next_stage);
    if (outcome.message) pop(outcome.message);
}
