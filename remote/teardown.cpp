// Ending a remote session, locally and, when the customer ends it, with a notice to the server.
#include "remote.h"
#include "../base/ui.h"

// The capture objects, when a session made them.
void drop_capture() {
    if (!capture_dc) return;
    // The bitmap goes back out of the DC first: a selected bitmap cannot be deleted.
    SelectObject(capture_dc, capture_old);
    DeleteObject(capture_bitmap);
    DeleteDC(capture_dc);
    capture_dc = nullptr;
    capture_bitmap = capture_old = nullptr;
    capture_pixels = nullptr;
    capture_width = capture_height = 0;
}

void remote_reset() {
    remote_speed(0);
    close_consent();
    close_bar();
    drop_capture();
    drop_frame_drawing();
    remote_paused = remote_screen = remote_condition = 0;
    approved[0] = offered[0] = 0;
    remote_state[0] = remote_id[0] = 0;
}

void end_remote_session() {
    int phase = remote_phase_of(remote_state);
    if (remote_ticket() && remote_id[0] && (phase == remote_accepted || phase == remote_pending))
        remote_call("desconectar", nullptr);
    remote_reset();
}

void remote_disconnect(int ticket, const char *csrf, const char *token) {
    remote_use(ticket, csrf, token);
    end_remote_session();
}
