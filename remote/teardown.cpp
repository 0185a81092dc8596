// Ending a remote session, locally and, when the customer ends it, with a notice to the server.
#include "remote.h"
#include "../shell/shell.h"
#include "../tickets/tickets.h"

void remote_reset() {
    remote_speed(0);
    close_consent();
    if (capture_dc) {
        // The bitmap goes back out of the DC first: a selected bitmap cannot be deleted.
        SelectObject(capture_dc, capture_old);
        DeleteObject(capture_bitmap);
        DeleteDC(capture_dc);
        capture_dc = nullptr;
        capture_bitmap = capture_old = nullptr;
        capture_pixels = nullptr;
    }
    approved[0] = offered[0] = 0;
    // A hidden button cannot keep the keyboard: give it to the message field while the view is open.
    if (GetFocus() == disconnect_button) SetFocus(chat_ticket ? chat_input : window);
    hide(disconnect_button);
    remote_state[0] = remote_id[0] = 0;
}

void remote_disconnect() {
    if (chat_ticket && remote_id[0] && (equal(remote_state, "ACEITO") || equal(remote_state, "PENDENTE")))
        remote_call("desconectar", nullptr);
    remote_reset();
}
