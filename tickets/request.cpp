// Requesting support and cancelling the waiting request.
#include "tickets.h"
#include "../dashboard/dashboard.h"
#include "../shell/shell.h"
#include "../transport/transport.h"

void account_queue_action() {
    if (!account_waiting && !account_balance) {
        dashboard_open(1);
        return;
    }
    static char description[511], member[4096], body[4096];
    member[0] = 0;
    memset(body, 0, sizeof body);
    const wchar_t *path;
    if (account_waiting) {
        path = L"/suporte/avulso/api/conta/atendimento/cancelar";
        integer_text(member, account_ticket);
        append(body, sizeof body, "{\"id\":");
        append(body, sizeof body, member);
        append(body, sizeof body, "}");
    } else {
        path = L"/suporte/avulso/api/conta/atendimento";
        read(problem, description, sizeof description);
        account_json(member, "descricao", description);
        append(body, sizeof body, "{");
        append(body, sizeof body, member);
        append(body, sizeof body, "}");
    }
    int status = http_payload(path, body, length(body), L"Content-Type: application/json\r\n", 1);
    int still_waiting = find(response, "\"AGUARDANDO\"") != nullptr;
    if (status == 200 || status == 201) {
        if (account_waiting && status == 200 && !still_waiting)
            stop_alert();
        else if (!account_waiting && still_waiting)
            ring_account_ticket(json_int("\"id\""));
    } else if (status != 409) {
        pop("Não foi possível confirmar a operação. Confira a situação na fila.");
    }
    account_queue_refresh();
}
