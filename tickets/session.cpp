// The ticket session: its elapsed time and the closing of a ticket.
#include "tickets.h"
#include "../base/ui.h"
#include "../transport/transport.h"

int chat_ticket;

// Writes "HH:MM:SS" (three hour digits from 100 hours on) after the given prefix.
static void clock_text(char *dst, int size, const char *prefix, unsigned seconds) {
    unsigned hours = seconds / 3600, minutes = seconds / 60 % 60;
    char clock[16];
    int n = 0;
    if (hours >= 100) clock[n++] = (char)('0' + hours / 100);
    clock[n++] = (char)('0' + hours / 10 % 10);
    clock[n++] = (char)('0' + hours % 10);
    clock[n++] = ':';
    clock[n++] = (char)('0' + minutes / 10);
    clock[n++] = (char)('0' + minutes % 10);
    clock[n++] = ':';
    clock[n++] = (char)('0' + seconds % 60 / 10);
    clock[n++] = (char)('0' + seconds % 10);
    clock[n] = 0;
    dst[0] = 0;
    append(dst, size, prefix);
    append(dst, size, clock);
}

void elapsed_text(char *dst, int size) {
    if (!accepted_at) {
        copy_to(dst, size, "Tempo: --:--:--", 0);
        return;
    }
    unsigned long long now = clock_now();
    unsigned long long seconds = now > accepted_at ? (now - accepted_at) / 10000000 : 0;
    if (seconds > 3599999) seconds = 3599999;
    clock_text(dst, size, client_waiting ? "Tempo de espera: " : "Tempo: ", (unsigned)seconds);
}

void disconnect_ticket(int ticket, const char *csrf, const char *token) {
    char form[512];
    memset(form, 0, sizeof form);
    char number[16];
    integer_text(number, ticket);
    field(form, sizeof form, "csrf", csrf);
    field(form, sizeof form, "chamado", number);
    int status = http(L"/suporte/api/finalizar/cliente", form, token);
    // The form carries the anti-forgery value, a copy of the session token.
    erase_secret(form, sizeof form);
    if (status == 200)
        stop_alert();
    else if (status == 404)
        pop("Atualize o portal de suporte para usar Desconectar.");
    else
        pop("Não foi possível confirmar o encerramento. Confira o status do chamado.");
    account_queue_refresh(token);
}
