// The consent dialog: asks the customer whether the named technician may take the computer.
#include "remote.h"
#include "../shell/shell.h"

HWND consent_window;

static HWND consent_child(const wchar_t *class_name, const wchar_t *text, DWORD style, int x, int y, int w, int h,
                          int id) {
    HWND c = CreateWindowExW(0, class_name, text, style | WS_CHILD | WS_VISIBLE, x, y, w, h, consent_window,
                             (HMENU)(INT_PTR)id, GetModuleHandleW(nullptr), nullptr);
    SendMessageW(c, WM_SETFONT, (WPARAM)font, 1);
    return c;
}

void show_consent(const char *name) {
    HINSTANCE instance = GetModuleHandleW(nullptr);
    WNDCLASSW wc = {};
    wc.lpfnWndProc = consent_proc;
    wc.hInstance = instance;
    wc.hIcon = LoadIconW(instance, MAKEINTRESOURCEW(101));
    wc.hCursor = LoadCursorW(nullptr, (LPCWSTR)IDC_ARROW);
    wc.hbrBackground = paper_brush;
    wc.lpszClassName = L"HalvorenRemoteConsent";
    // Registered on every show; the second time it fails because the class exists, which is fine.
    RegisterClassW(&wc);
    consent_window = CreateWindowExW(WS_EX_TOPMOST, L"HalvorenRemoteConsent", L"Permitir acesso remoto?",
                                     WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX, CW_USEDEFAULT, CW_USEDEFAULT, 400,
                                     184, window, nullptr, instance, nullptr);
    if (!consent_window) return;
    char text[250] = {};
    append(text, sizeof text, "O técnico ");
    append(text, sizeof text, name);
    append(text, sizeof text, " solicita acesso ao seu computador.");
    wchar_t wide[250];
    convert(text, wide, 250);
    consent_child(L"STATIC", wide, 0, 18, 20, 350, 56, 0);
    consent_child(L"BUTTON", L"Aceitar", WS_TABSTOP | BS_PUSHBUTTON, 18, 85, 150, 33, 1);
    HWND refuse = consent_child(L"BUTTON", L"Recusar", WS_TABSTOP | BS_DEFPUSHBUTTON, 202, 85, 150, 33, 2);
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

static void answer(HWND dialog, int accepted) {
    if (consent_window == dialog) consent_window = nullptr;
    DestroyWindow(dialog);
    // The request may have been withdrawn or replaced while the customer was reading.
    if (!offered[0] || !equal(remote_state, "PENDENTE") || !equal(remote_id, offered)) return;
    int status = remote_call(accepted ? "aceitar" : "recusar", nullptr);
    // A second click meant for the dialog must not land on the main window that is now under it.
    drop_queued_input();
    if (!accepted) return;
    if (status == 200) {
        copy_to(approved, sizeof approved, offered, 0);
        // Above the elapsed-time label, whose strip runs under the button and clips its siblings.
        SetWindowPos(disconnect_button, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE | SWP_SHOWWINDOW);
    } else {
        pop("O pedido expirou ou não pôde ser confirmado.");
    }
}

LRESULT CALLBACK consent_proc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
    switch (message) {
        case WM_CLOSE: answer(hwnd, 0); return 0;
        // The message takes the window's white paper instead of the default grey box.
        case WM_CTLCOLORSTATIC: return control_colours((HDC)wparam, (HWND)lparam);
        case WM_COMMAND:
            if (LOWORD(wparam) != 1 && LOWORD(wparam) != 2) break;
            answer(hwnd, LOWORD(wparam) == 1);
            return 0;
    }
    return DefWindowProcW(hwnd, message, wparam, lparam);
}
