// Requesting support and cancelling the waiting request.
#include "tickets.h"
#include "../base/ui.h"
#include "../transport/transport.h"

int account_queue_action(const char *token) {
    if (!account_waiting && !account_balance) return 0;
    static char description[511], member[4096], body[4096];
    member[0] = 0;
    const wchar_t *path;
    if (account_waiting) {
        path = L"/suporte/avulso/api/conta/atendimento/cancelar";
        json_number(member, "id", account_ticket);
    } else {
        path = L"/suporte/avulso/api/conta/atendimento";
        read(problem, description, sizeof description);
        account_json(member, "descricao", description);
    }
    json_body(body, sizeof body, member);
    int status = http_json(path, body, poll_request, token);
    int still_waiting = find(response, "\"AGUARDANDO\"") != nullptr;
    if (status == 200 || status == 201) {
        if (account_waiting && status == 200 && !still_waiting)
            stop_alert();
        else if (!account_waiting && still_waiting)
            ring_account_ticket(json_int(response, "\"id\""));
    } else if (status != 409) {
        pop("Não foi possível confirmar a operação. Confira a situação na fila.");
    }
    account_queue_refresh(token);
    return 1;
}
