// What the account server's answers mean: the message, the next stage, the token or the challenge.
// Pure, so the outcomes can be tested from tables.
#include "accounts.h"
#include "../base/text.h"
#include "../transport/transport.h"

static const char unreachable[] =
    "Não foi possível conectar ao servidor de contas. Aguarde um momento e tente novamente.";
static const char refused_sign_in[] =
    "Acesso não confirmado. Confira o e-mail, a senha e a confirmação do cadastro.";
static const char refused_registration[] = "Confira o e-mail e use uma senha de 8 a 128 caracteres.";
static const char refused_code[] = "Confira o código recebido por e-mail. Se expirou, refaça o cadastro.";

// The token travels in header lines: a control byte could start a header of the server's choosing, and
// WinHTTP narrows the header text back to bytes, turning anything past ASCII into other bytes. A bearer
// token is visible ASCII.
static int printable(const char *s) {
    for (; *s; s++)
        if ((unsigned char)*s < 0x21 || (unsigned char)*s > 0x7E) return 0;
    return 1;
}

static const char *message_for(int status, int stage) {
    if (status == 0 || status == 404 || status >= 500) return unreachable;
    if (status == 429) return "Muitas tentativas. Aguarde antes de tentar novamente.";
    if (stage == sign_in_stage) return refused_sign_in;
    if (stage == registration_stage) return refused_registration;
    return refused_code;
}

account_outcome read_account_answer(int stage, int status, const char *body, char *value, int size) {
    account_outcome o = {-1, 0, message_for(status, stage)};
    if (stage == registration_stage && status == 202) {
        if (account_value(body, "\"desafio\"", value, size)) return {confirmation_stage, 0, nullptr};
        o.message = refused_registration;
    } else if (stage == confirmation_stage && status == 200) {
        return {sign_in_stage, 0, "E-mail confirmado. Entre com a senha cadastrada."};
    } else if (stage == sign_in_stage && status == 200) {
        if (account_value(body, "\"token\"", value, size) && printable(value)) return {-1, 1, nullptr};
        // A cut, unterminated or unprintable token must not ride along as a bearer on later requests.
        o.message = refused_sign_in;
    }
    return o;
}
