// The remote channel: its three kinds of request, the status line and the timer-3 tick.
#include "remote.h"
#include "../accounts/accounts.h"
#include "../shell/shell.h"
#include "../tickets/tickets.h"
#include "../transport/transport.h"

char remote_state[20] guard_zone(remote_state), remote_id[40] guard_zone(remote_id), offered[40] guard_zone(offered),
    approved[40] guard_zone(approved);
int fast_remote_timer;

static const char banner_line[] = "HALVOREN-REMOTE/1 ";

int remote_call(const char *action, const void *frame) {
    char ticket[16];
    integer_text(ticket, chat_ticket);
    char path[240] = "/suporte/api/remoto/cliente?formato=texto&chamado=";
    append(path, sizeof path, ticket);
    if (frame) {
        append(path, sizeof path, "&fluxo=1");
        // The id is the server's text up to a line end; encoded, it cannot break the request line.
        field(path, sizeof path, "pedido", remote_id);
    }
    wchar_t wide_path[240];
    if (!convert(path, wide_path, 240)) return 0;
    // The header and the form carry the anti-forgery value, a copy of the session token.
    if (frame) {
        char header[260] = "Content-Type: application/octet-stream\r\nX-CSRF-Token: ";
        append(header, sizeof header, csrf);
        append(header, sizeof header, "\r\n");
        wchar_t wide_header[260];
        int status = 0;
        if (convert(header, wide_header, 260)) status = http_payload(wide_path, frame, frame_bytes, wide_header, 1);
        erase_secret(header, sizeof header);
        erase_secret(wide_header, sizeof wide_header);
        return status;
    }
    if (action) {
        char form[512] = {};
        field(form, sizeof form, "csrf", csrf);
        field(form, sizeof form, "chamado", ticket);
        field(form, sizeof form, "acao", action);
        field(form, sizeof form, "pedido", remote_id);
        int status =
            http_payload(wide_path, form, length(form), L"Content-Type: application/x-www-form-urlencoded\r\n", 1);
        erase_secret(form, sizeof form);
        return status;
    }
    return http_payload(wide_path, nullptr, 0, nullptr, 1);
}

void remote_speed(int fast) {
    if (fast == fast_remote_timer) return;
    fast_remote_timer = fast;
    if (chat_ticket) SetTimer(window, remote_timer, fast ? fast_period : slow_period, nullptr);
}

// Takes state and id from an answered poll; the technician's name is left in *name. 0 when rejected.
static int read_status(int status, const char **name) {
    if (status != 200) return 0;
    for (int i = 0; banner_line[i]; i++)
        if (response[i] != banner_line[i]) return 0;
    const char *state = response + sizeof banner_line - 1;
    const char *space = find(state, " ");
    if (!space) return 0;
    copy_to(remote_state, sizeof remote_state, state, ' ');
    copy_to(remote_id, sizeof remote_id, space + 1, '\n');
    const char *line_end = find(response, "\n");
    *name = line_end ? line_end + 1 : "responsável";
    return 1;
}

// An empty id never counts as approved: an "ACEITO" line without an id must not start a stream.
static int session_approved() { return approved[0] && equal(remote_id, approved); }

void remote_tick() {
    if (!chat_ticket) return;
    if (equal(remote_state, "ACEITO") && session_approved() && send_frame()) return;
    const char *name;
    if (!read_status(remote_call(nullptr, nullptr), &name)) {
        remote_reset();
        return;
    }
    if (equal(remote_state, "PENDENTE")) {
        if (equal(remote_id, offered)) return;
        close_consent();
        show_consent(name);
        if (consent_window) copy_to(offered, sizeof offered, remote_id, 0);
    } else if (equal(remote_state, "ACEITO") && session_approved()) {
        remote_speed(1);
    } else {
        remote_reset();
    }
}
