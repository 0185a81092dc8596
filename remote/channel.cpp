// The remote channel: its three kinds of request, the status line and the timer-3 tick.
#include "remote.h"
#include "../base/ui.h"
#include "../transport/transport.h"

char remote_state[20] guard_zone(remote_state), remote_id[40] guard_zone(remote_id), offered[40] guard_zone(offered),
    approved[40] guard_zone(approved);
int fast_remote_timer;

// The session the channel serves, as the last tick or disconnect gave it; the consent dialog's answer
// goes out with the same.
static int ticket_of;
static const char *csrf_of, *token_of;

void remote_use(int ticket, const char *csrf, const char *token) {
    ticket_of = ticket;
    csrf_of = csrf;
    token_of = token;
}

int remote_call(const char *action, const void *frame) {
    char ticket[16];
    integer_text(ticket, ticket_of);
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
        append(header, sizeof header, csrf_of);
        append(header, sizeof header, "\r\n");
        wchar_t wide_header[260];
        int status = 0;
        if (convert(header, wide_header, 260))
            status = http_payload(wide_path, frame, frame_bytes, wide_header, poll_request, token_of);
        erase_secret(header, sizeof header);
        erase_secret(wide_header, sizeof wide_header);
        return status;
    }
    if (action) {
        char form[512] = {};
        field(form, sizeof form, "csrf", csrf_of);
        field(form, sizeof form, "chamado", ticket);
        field(form, sizeof form, "acao", action);
        field(form, sizeof form, "pedido", remote_id);
        int status = http_payload(wide_path, form, length(form), L"Content-Type: application/x-www-form-urlencoded\r\n",
                                  poll_request, token_of);
        erase_secret(form, sizeof form);
        return status;
    }
    return http_payload(wide_path, nullptr, 0, nullptr, poll_request, token_of);
}

// While frames stream the technician may only be watching, with nobody at the mouse: Windows must not
// turn the screen off (capture would read the lock screen) nor sleep (the network drops).
void remote_speed(int fast) {
    if (fast != fast_remote_timer)
        SetThreadExecutionState(fast ? ES_CONTINUOUS | ES_SYSTEM_REQUIRED | ES_DISPLAY_REQUIRED : ES_CONTINUOUS);
    fast_remote_timer = fast;
}

int remote_ticket() { return ticket_of; }

// An empty id never counts as approved: an "ACEITO" line without an id must not start a stream.
static int session_approved() { return approved[0] && equal(remote_id, approved); }

void remote_tick(int ticket, const char *csrf, const char *token) {
    if (!ticket) return;
    remote_use(ticket, csrf, token);
    if (remote_phase_of(remote_state) == remote_accepted && session_approved() && send_frame()) return;
    const char *name;
    if (!read_remote_status(remote_call(nullptr, nullptr), response, remote_state, sizeof remote_state, remote_id,
                            sizeof remote_id, &name)) {
        remote_reset();
        return;
    }
    int phase = remote_phase_of(remote_state);
    if (phase == remote_pending) {
        if (equal(remote_id, offered)) return;
        close_consent();
        show_consent(name);
        if (consent_window) copy_to(offered, sizeof offered, remote_id, 0);
    } else if (phase == remote_accepted && session_approved()) {
        remote_speed(1);
    } else {
        remote_reset();
    }
}
