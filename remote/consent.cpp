// The consent dialog: asks the customer whether the named technician may take the computer.
// The dialog is a window of its own, with its own procedure: it is this file's to show and destroy.
#include "remote.h"
#include "../base/ui.h"

HWND consent_window;
enum { accept_id = 1, refuse_id = 2 };

static HWND consent_child(const wchar_t *class_name, const wchar_t *text, DWORD style, int x, int y, int w, int h,
                          int id) {
    return child(consent_window, class_name, text, style, x, y, w, h, id);
}

void show_consent(const char *name) {
    // Registered on every show; the second time it fails because the class exists, which is fine.
    register_class(L"HalvorenRemoteConsent", consent_proc);
    consent_window = CreateWindowExW(WS_EX_TOPMOST, L"HalvorenRemoteConsent", L"Permitir acesso remoto?",
                                     WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX, CW_USEDEFAULT, CW_USEDEFAULT, 400,
                                     184, window, nullptr, GetModuleHandleW(nullptr), nullptr);
    if (!consent_window) return;
    size_window(consent_window, 400, 184);
    char text[250] = {};
    append(text, sizeof text, "O técnico ");
    append(text, sizeof text, name);
    append(text, sizeof text, " solicita acesso ao seu computador.");
    wchar_t wide[250];
    convert(text, wide, 250);
    consent_child(L"STATIC", wide, 0, 18, 20, 350, 56, 0);
    consent_child(L"BUTTON", L"Aceitar", WS_TABSTOP | BS_PUSHBUTTON, 18, 85, 150, 33, accept_id);
    HWND refuse = consent_child(L"BUTTON", L"Recusar", WS_TABSTOP | BS_DEFPUSHBUTTON, 202, 85, 150, 33, refuse_id);
    ShowWindow(consent_window, SW_SHOW);
    SetFocus(refuse);
}

// Closes the dialog without an answer: the handle is cleared first, so nothing it does on the way
// out can count as the customer's choice.
void close_consent() {
    HWND w = consent_window;
    consent_window = nullptr;
    if (w) DestroyWindow(w);
}

static void answer_server(HWND dialog, int accepted) {
    if (consent_window == dialog) consent_window = nullptr;
    DestroyWindow(dialog);
    // The request may have been withdrawn or replaced while the customer was reading.
    if (!offered[0] || remote_phase_of(remote_state) != remote_pending || !equal(remote_id, offered)) return;
    int status = remote_call(accepted ? "aceitar" : "recusar", nullptr);
    // A second click meant for the dialog must not land on the main window that is now under it.
    drop_queued_input();
    if (!accepted) return;
    if (status == 200) {
        copy_to(approved, sizeof approved, offered, 0);
    } else {
        pop("O pedido expirou ou não pôde ser confirmado.");
    }
}

// The main window follows the answer (the disconnect button) once it is given.
static void answer(HWND dialog, int accepted) {
    answer_server(dialog, accepted);
    SendMessageW(window, WM_COMMAND, consent_answered_id, 0);
}

LRESULT CALLBACK consent_proc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
    switch (message) {
        case WM_CLOSE: answer(hwnd, 0); return 0;
        // The message takes the window's white paper instead of the default grey box.
        case WM_CTLCOLORSTATIC: return control_colours((HDC)wparam, (HWND)lparam);
        case WM_COMMAND:
            if (LOWORD(wparam) != accept_id && LOWORD(wparam) != refuse_id) break;
            answer(hwnd, LOWORD(wparam) == accept_id);
            return 0;
    }
    return DefWindowProcW(hwnd, message, wparam, lparam);
}
