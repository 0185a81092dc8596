// Sending the customer's chat messages.
#include "chat.h"
#include "../base/ui.h"
#include "../transport/transport.h"

// Room for 2000 characters of three UTF-8 bytes each, percent-encoded, beside the other two fields.
static char form[24600];

void chat_submit(int ticket, const char *csrf, const char *token) {
    if (!ticket || !chat_live) return;
    char message[8001];
    read(chat_input, message, sizeof message);
    // Not trimmed: a message of spaces is still a message.
    if (!message[0]) return;
    char number[16];
    integer_text(number, ticket);
    form[0] = 0;
    field(form, sizeof form, "csrf", csrf);
    field(form, sizeof form, "chamado", number);
    field(form, sizeof form, "mensagem", message);
    int status = http(L"/suporte/api/chat/cliente", form, token);
    // The form carries the anti-forgery value, a copy of the session token.
    erase_secret(form, sizeof form);
    if (status == 201) {
        chat_sent_version++;
        chat_poll(ticket, token);
    } else {
        pop("A mensagem não foi confirmada. Confira se o chamado continua ativo.");
    }
}
