// Sign-in, registration and confirmation of the e-mail code: the submit of the account form.
#include "accounts.h"
#include "../dashboard/dashboard.h"
#include "../shell/shell.h"
#include "../tickets/tickets.h"
#include "../transport/transport.h"

char account_token[64] guard_zone(account_token);
char csrf[128] guard_zone(csrf);
int logged;

static char email[256];
// The password or code as typed, the JSON members and the request body: zero except during a submit.
char account_secret[520] guard_zone(account_secret);
char account_members[4096] guard_zone(account_members);
char account_body[4096] guard_zone(account_body);

static const char unreachable[] =
    "Não foi possível conectar ao servidor de contas. Aguarde um momento e tente novamente.";
static const char refused_sign_in[] =
    "Acesso não confirmado. Confira o e-mail, a senha e a confirmação do cadastro.";
static const char refused_registration[] = "Confira o e-mail e use uma senha de 8 a 128 caracteres.";
static const char refused_code[] = "Confira o código recebido por e-mail. Se expirou, refaça o cadastro.";

int account_request(const wchar_t *path, const char *member_text, int request_class) {
    char *body = account_body;
    erase_secret(body, sizeof account_body);
    append(body, sizeof account_body, "{");
    append(body, sizeof account_body, member_text);
    append(body, sizeof account_body, "}");
    int status = http_payload(path, body, length(body), L"Content-Type: application/json\r\n", request_class);
    erase_secret(body, sizeof account_body);
    return status;
}

// UTF-8 continuation bytes (10xxxxxx) do not start a character.
static int characters(const char *s) {
    int n = 0;
    for (; *s; s++)
        if ((*s & 0xC0) != 0x80) n++;
    return n;
}

// The token travels in header lines: a control byte could start a header of the server's choosing, and
// WinHTTP narrows the header text back to bytes, turning anything past ASCII into other bytes. A bearer
// token is visible ASCII.
static int printable(const char *s) {
    for (; *s; s++)
        if ((unsigned char)*s < 0x21 || (unsigned char)*s > 0x7E) return 0;
    return 1;
}

static void complete_sign_in() {
    forget_answer();
    SetWindowTextW(loginPass, L"");
    append(csrf, sizeof csrf, account_token);
    logged = 1;
    SetWindowTextW(banner_cta, L"Comprar créditos");
    HWND form[] = {loginName, loginPass, eye, user_label, pass_label, account_switch};
    for (HWND c : form) hide(c);
    place(info, 122, 175, 245, 19);
    place(description_hint, 122, 192, 240, 18);
    place(problem, 126, 210, 235, 22);
    place(action, 122, 238, 245, 20);
    place(buy_button, 395, 238, 136, 20);
    SendMessageW(problem, EM_SETLIMITTEXT, 160, 0);
    refresh_dashboard_size();
    dashboard_show();
    SetTimer(window, queue_timer, 3000, nullptr);
    account_queue_refresh();
}

static const char *message_for(int status, int stage) {
    if (status == 0 || status == 404 || status >= 500) return unreachable;
    if (status == 429) return "Muitas tentativas. Aguarde antes de tentar novamente.";
    if (stage == 0) return refused_sign_in;
    if (stage == 1) return refused_registration;
    return refused_code;
}

void perform() {
    erase_secret(account_members, sizeof account_members);
    read(loginName, email, sizeof email);
    read(loginPass, account_secret, sizeof account_secret);
    int stage = account_stage;
    if ((stage != 2 && !find(email, "@")) || !account_secret[0]) {
        erase_secret(account_secret, sizeof account_secret);
        pop("Preencha os dados solicitados.");
        return;
    }
    if (stage == 1 && characters(account_secret) < 8) {
        erase_secret(account_secret, sizeof account_secret);
        pop("A senha precisa ter pelo menos 8 caracteres.");
        SetFocus(loginPass);
        return;
    }
    int status;
    if (stage == 0) {
        account_json(account_members, "email", email);
        account_json(account_members, "senha", account_secret);
        status = account_request(L"/suporte/avulso/api/conta/login", account_members, 3);
        if (status == 0 || status == 502 || status == 503 || status == 504)
            status = account_request(L"/suporte/avulso/api/conta/login", account_members, 3);
    } else if (stage == 1) {
        account_json(account_members, "email", email);
        account_json(account_members, "senha", account_secret);
        account_json(account_members, "confirmacao", account_secret);
        status = account_request(L"/suporte/avulso/api/conta/cadastro", account_members, 1);
    } else {
        account_json(account_members, "desafio", account_challenge);
        account_json(account_members, "codigo", account_secret);
        status = account_request(L"/suporte/avulso/api/conta/cadastro/confirmar", account_members, 1);
    }
    erase_secret(account_secret, sizeof account_secret);
    erase_secret(account_members, sizeof account_members);

    const char *message = message_for(status, stage);
    if (stage == 1 && status == 202) {
        int challenged = account_value("\"desafio\"", account_challenge, sizeof account_challenge);
        // The challenge now lives only in account_challenge.
        forget_answer();
        if (challenged) {
            account_screen(2);
            return;
        }
        erase_secret(account_challenge, sizeof account_challenge);
        message = refused_registration;
    } else if (stage == 2 && status == 200) {
        erase_secret(account_challenge, sizeof account_challenge);
        account_screen(0);
        message = "E-mail confirmado. Entre com a senha cadastrada.";
    } else if (stage == 0 && status == 200) {
        if (account_value("\"token\"", account_token, sizeof account_token) && printable(account_token)) {
            complete_sign_in();
            return;
        }
        // A cut, unterminated or unprintable token must not ride along as a bearer on later requests.
        erase_secret(account_token, sizeof account_token);
        forget_answer();
        message = refused_sign_in;
    }
    pop(message);
}
