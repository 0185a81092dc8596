// The consent dialog: asks the customer whether the named technician may take the computer.
// The dialog is a window of its own, with its own procedure: it is this file's to show and destroy.
#include "remote.h"
#include "../base/ui.h"

HWND consent_window;
char technician[250];
enum { accept_id = 1, refuse_id = 2 };

// The dialog's own font, made for the dialog's DPI: the main window's fonts follow the main window's
// monitor and are deleted when it changes scale, while the dialog may still be open.
static HFONT consent_font;

// The message and the two buttons, in creation order, in 96-DPI units.
static const struct {
    int x, y, w, h;
} consent_places[3] = {{18, 20, 350, 56}, {18, 85, 150, 33}, {202, 85, 150, 33}};

// A font for dpi and every child placed for it; the font it replaces goes once no child holds it.
static void lay_out_consent(HWND dialog, int dpi) {
    HFONT old = consent_font;
    consent_font = ui_font(-12, 400, dpi);
    int i = 0;
    for (HWND c = GetWindow(dialog, GW_CHILD); c && i < 3; c = GetWindow(c, GW_HWNDNEXT), i++) {
        SendMessageW(c, WM_SETFONT, (WPARAM)consent_font, 1);
        place_for(c, consent_places[i].x, consent_places[i].y, consent_places[i].w, consent_places[i].h, dpi);
    }
    if (old) DeleteObject(old);
}

static void consent_child(const wchar_t *class_name, const wchar_t *text, DWORD style, int id) {
    CreateWindowExW(0, class_name, text, style | WS_CHILD | WS_VISIBLE, 0, 0, 0, 0, consent_window,
                    (HMENU)(INT_PTR)id, GetModuleHandleW(nullptr), nullptr);
}

void show_consent(const char *name) {
    // The bar names the technician once the stream starts; the status line's answer is gone by then.
    copy_to(technician, sizeof technician, name, 0);
    // Registered on every show; the second time it fails because the class exists, which is fine.
    register_class(L"HalvorenRemoteConsent", consent_proc);
    consent_window = CreateWindowExW(WS_EX_TOPMOST, L"HalvorenRemoteConsent", L"Permitir acesso remoto?",
                                     WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX, CW_USEDEFAULT, CW_USEDEFAULT, 400,
                                     184, window, nullptr, GetModuleHandleW(nullptr), nullptr);
    if (!consent_window) return;
    int dpi = dpi_of(consent_window);
    size_window_for(consent_window, 400, 184, dpi);
    char text[250] = {};
    append(text, sizeof text, "O técnico ");
    append(text, sizeof text, name);
    append(text, sizeof text, " solicita acesso ao seu computador.");
    wchar_t wide[250];
    convert(text, wide, 250);
    // The name is the server's text: an "&" in it is a character, not a mnemonic.
    consent_child(L"STATIC", wide, SS_NOPREFIX, 0);
    // Neither button is the default nor gets the focus: a customer typing a chat message when the
    // dialog appears would otherwise answer it with the next Space or Enter, unread. The dialog
    // itself holds the focus; Tab reaches the buttons, Esc refuses.
    consent_child(L"BUTTON", L"Aceitar", WS_TABSTOP | BS_PUSHBUTTON, accept_id);
    consent_child(L"BUTTON", L"Recusar", WS_TABSTOP | BS_PUSHBUTTON, refuse_id);
    lay_out_consent(consent_window, dpi);
    centre_over_window(consent_window);
    // Keys typed for the chat before the dialog appeared are not meant for it.
    drop_queued_input();
    call_attention();
    ShowWindow(consent_window, SW_SHOW);
    if (GetForegroundWindow() == consent_window) SetFocus(consent_window);
}

// The dialog's keys, as a Windows dialog has them: Tab and Shift+Tab go between the two buttons (the
// first Tab from the dialog itself reaches "Aceitar", the first Shift+Tab "Recusar"), Esc refuses like
// the close box, Enter presses the focused button and nothing else. 1 when the key was handled here.
int consent_key(const MSG *m) {
    if (!consent_window || m->message != WM_KEYDOWN) return 0;
    if (m->hwnd != consent_window && GetParent(m->hwnd) != consent_window) return 0;
    HWND accept = GetDlgItem(consent_window, accept_id), refuse = GetDlgItem(consent_window, refuse_id);
    int repeat = (m->lParam & (1 << 30)) != 0;
    switch (m->wParam) {
        case VK_TAB: {
            int back = (GetAsyncKeyState(VK_SHIFT) & 0x8000) != 0;
            SetFocus(m->hwnd == accept ? refuse : m->hwnd == refuse ? accept : back ? refuse : accept);
            return 1;
        }
        case VK_ESCAPE:
            if (!repeat) SendMessageW(consent_window, WM_CLOSE, 0, 0);
            return 1;
        case VK_RETURN:
            if (!repeat && (m->hwnd == accept || m->hwnd == refuse))
                SendMessageW(consent_window, WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(m->hwnd), BN_CLICKED),
                             (LPARAM)m->hwnd);
            return 1;
    }
    return 0;
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
        // Moved to a monitor of another scale, or the scale changed: as the main window does, the size
        // Windows suggests, a font for the new DPI and every child placed again.
        case WM_DPICHANGED: {
            const RECT *r = (const RECT *)lparam;
            SetWindowPos(hwnd, nullptr, r->left, r->top, r->right - r->left, r->bottom - r->top,
                         SWP_NOZORDER | SWP_NOACTIVATE);
            lay_out_consent(hwnd, HIWORD(wparam));
            return 0;
        }
        // The children are gone by now: nothing holds the font.
        case WM_NCDESTROY:
            DeleteObject(consent_font);
            consent_font = nullptr;
            break;
    }
    return DefWindowProcW(hwnd, message, wparam, lparam);
}
