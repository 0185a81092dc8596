// Sending the customer's chat messages.
#include "chat.h"
#include "../accounts/accounts.h"
#include "../shell/shell.h"
#include "../tickets/tickets.h"
#include "../transport/transport.h"

// Room for 2000 characters of three UTF-8 bytes each, percent-encoded, beside the other two fields.
static char form[24600];

void chat_submit() {
    if (!chat_ticket || !IsWindowEnabled(chat_send)) return;
    char message[8001];
    read(chat_input, message, sizeof message);
    // Not trimmed: a message of spaces is still a message.
    if (!message[0]) return;
    char ticket[16];
    integer_text(ticket, chat_ticket);
    form[0] = 0;
    field(form, sizeof form, "csrf", csrf);
    field(form, sizeof form, "chamado", ticket);
    field(form, sizeof form, "mensagem", message);
    int status = http(L"/suporte/api/chat/cliente", form);
    // The form carries the anti-forgery value, a copy of the session token.
    erase_secret(form, sizeof form);
    if (status == 201) {
        SetWindowTextW(chat_input, L"");
        chat_poll();
    } else {
        pop("A mensagem não foi confirmada. Confira se o chamado continua ativo.");
    }
}
