// Start-up and shutdown: fonts, brushes, the main window, every child control and the WinHTTP connection.
#include "shell.h"
#include <commctrl.h>

#ifndef SUPPORT_HOST
#define SUPPORT_HOST "localhost"
#endif

const int packages[3] = {1, 3, 5};

static const wchar_t *const tabs[3] = {L"Início", L"Créditos", L"Histórico"};
static const wchar_t *const buttons[3] = {L"Comprar 1 crédito", L"Comprar 3 créditos", L"Comprar 5 créditos"};

static const wchar_t host[] = L"" SUPPORT_HOST;

// Heights are 96-DPI character heights; the fonts are made for the window's DPI.
static HFONT make_font(int height, int weight) {
    return CreateFontW(scaled(height), 0, 0, 0, weight, 0, 0, 0, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                       CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH | FF_DONTCARE, L"Segoe UI");
}

static void make_fonts() {
    small_font = make_font(-12, 700);
    font = make_font(-12, 400);
    strong_font = make_font(-12, 600);
    heading_font = make_font(-17, 700);
    dashboard_font = make_font(-18, 700);
    price_font = make_font(-19, 700);
}

static void cue(HWND edit, const wchar_t *text) {
    // Shown also while the field has the focus.
    SendMessageW(edit, EM_SETCUEBANNER, 1, (LPARAM)text);
}

static void create_controls() {
    const DWORD owner_button = WS_TABSTOP | BS_OWNERDRAW;
    login_header = control(L"STATIC", L"Halvoren Zivavoz", SS_OWNERDRAW, 0, 0, 567, 60, login_header_id);
    info = control(L"STATIC", L"", 0, 24, 76, 503, 35, 0);
    hide(info);
    user_label = control(L"STATIC", L"E-mail", 0, 124, 197, 405, 18, 0);
    SendMessageW(user_label, WM_SETFONT, (WPARAM)strong_font, 1);
    pass_label = control(L"STATIC", L"Senha", 0, 124, 242, 405, 18, 0);
    SendMessageW(pass_label, WM_SETFONT, (WPARAM)strong_font, 1);
    loginName = control(L"EDIT", L"", WS_TABSTOP | ES_AUTOHSCROLL, 131, 218, 392, 19, 0);
    SendMessageW(loginName, EM_SETLIMITTEXT, 254, 0);
    cue(loginName, L"E-mail");
    loginPass = control(L"EDIT", L"", WS_TABSTOP | ES_AUTOHSCROLL | ES_PASSWORD, 131, 263, 327, 19, 0);
    SendMessageW(loginPass, EM_SETLIMITTEXT, 128, 0);
    cue(loginPass, L"Senha");
    eye = control(L"BUTTON", L"Mostrar senha", owner_button, 470, 260, 61, 24, eye_id);
    description_hint = control(L"STATIC", L"Descrição opcional", 0, 24, 204, 503, 22, 0);
    hide(description_hint);
    problem = control(L"EDIT", L"", WS_TABSTOP | ES_MULTILINE | ES_AUTOVSCROLL | ES_WANTRETURN, 33, 237, 485, 53, 0);
    hide(problem);
    action = control(L"BUTTON", L"Entrar", owner_button, 124, 294, 407, 23, action_id);
    account_switch = control(L"BUTTON", L"Criar conta", owner_button, 124, 321, 407, 22, account_switch_id);
    chat_heading = control(L"STATIC", L"", 0, 24, 91, 316, 24, 0);
    hide(chat_heading);
    SendMessageW(chat_heading, WM_SETFONT, (WPARAM)heading_font, 1);
    // This strip and the chat state line below run under "Desconectar remoto" and must not paint over it.
    elapsed_label = control(L"STATIC", L"", WS_CLIPSIBLINGS, 24, 116, 503, 17, elapsed_label_id);
    hide(elapsed_label);
    place(elapsed_label, 24, 116, 503, 17);
    SendMessageW(elapsed_label, WM_SETFONT, (WPARAM)strong_font, 1);
    // Its pill ends where the heading "Chamado #N" below begins.
    status_badge = control(L"STATIC", L"Em atendimento", SS_OWNERDRAW, 24, 64, 160, 27, status_badge_id);
    hide(status_badge);
    chat_title = control(L"STATIC", L"", WS_CLIPSIBLINGS, 24, 134, 503, 20, 0);
    hide(chat_title);
    // The rows keep their text for screen readers; painting reads the row the item data points at.
    chat_history = control(L"LISTBOX", L"",
                           WS_VSCROLL | LBS_OWNERDRAWVARIABLE | LBS_HASSTRINGS | LBS_NOINTEGRALHEIGHT | LBS_NOSEL,
                           24, 154, 503, 142, chat_history_id);
    hide(chat_history);
    chat_input = control(L"EDIT", L"", WS_TABSTOP | ES_AUTOHSCROLL, 33, 309, 381, 25, 0);
    hide(chat_input);
    SendMessageW(chat_input, EM_SETLIMITTEXT, 2000, 0);
    cue(chat_input, L"Digite sua mensagem…");
    chat_send = control(L"BUTTON", L"Enviar", owner_button, 433, 303, 94, 37, chat_send_id);
    hide(chat_send);
    ticket_action = control(L"BUTTON", L"Desconectar", owner_button, 341, 66, 186, 35, ticket_action_id);
    hide(ticket_action);
    banner = control(L"STATIC", L"", WS_CLIPSIBLINGS | SS_OWNERDRAW, 112, 34, 431, 103, banner_id);
    ShowWindow(banner, SW_SHOW);
    buy_button = control(L"BUTTON", L"Comprar créditos", owner_button, 24, 159, 174, 31, buy_button_id);
    hide(buy_button);
    disconnect_button = control(L"BUTTON", L"Desconectar remoto", owner_button, 341, 105, 186, 32, disconnect_button_id);
    hide(disconnect_button);
    place(chat_heading, 24, 91, 316, 24);
}

static void create_dashboard_controls() {
    banner_cta = control(L"BUTTON", L"Entre para comprar", WS_CLIPSIBLINGS | WS_TABSTOP | BS_OWNERDRAW, 126, 107,
                         139, 23, banner_cta_id);
    // It lies inside the banner's rectangle and must be drawn above it.
    SetWindowPos(banner_cta, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    for (int i = 0; i < 3; i++) {
        navigation[i] = control(L"BUTTON", tabs[i], WS_TABSTOP | BS_OWNERDRAW, 5, (5376 + 2544 * i) / 100, 88, 23,
                                first_tab_id + i);
        package_buttons[i] = control(L"BUTTON", buttons[i], WS_TABSTOP | BS_OWNERDRAW, (11648 + 14560 * i) / 100,
                                     192, 131, 27, first_package_id + i);
        hide(navigation[i]);
        hide(package_buttons[i]);
    }
    hide(login_header);
    for (int i = 0; i < 3; i++) {
        EnableWindow(navigation[i], i == 0);
        ShowWindow(navigation[i], SW_SHOW);
    }
    // The sign-in card.
    place(banner, 112, 34, 431, 103);
    place(user_label, 124, 197, 405, 18);
    place(loginName, 131, 218, 392, 19);
    place(pass_label, 124, 242, 405, 18);
    place(loginPass, 131, 263, 327, 19);
    place(eye, 470, 260, 61, 24);
    place(action, 124, 294, 407, 23);
    place(account_switch, 124, 321, 407, 22);
}

int start_up() {
    paper_brush = CreateSolidBrush(paper_colour);
    header_brush = CreateSolidBrush(header_colour);
    red_brush = CreateSolidBrush(red_colour);
    pressed_brush = CreateSolidBrush(pressed_colour);
    tint_brush = CreateSolidBrush(tint_colour);
    border_brush = CreateSolidBrush(border_colour);

    register_class(L"HalvorenSuporte", procedure);
    // Sized for its DPI below, before it shows.
    window = CreateWindowExW(0, L"HalvorenSuporte", L"Halvoren Rezovi v48 - Teste",
                             WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_CLIPCHILDREN, CW_USEDEFAULT,
                             CW_USEDEFAULT, 567, 514, nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
    if (!window) return 0;
    ui_dpi = dpi_of(window);
    make_fonts();

    create_controls();
    side_brush = CreateSolidBrush(side_colour);
    create_dashboard_controls();

    refresh_dashboard_size();
    ShowWindow(window, SW_SHOW);
    SetTimer(window, banner_timer, 7000, nullptr);
    SetFocus(loginName);
    open_transport(host);
    SetTimer(window, presence_timer, 5000, nullptr);
    refresh_support_presence(nullptr);
    present();
    if (!connection) pop("Não foi possível iniciar a conexão.");
    return 1;
}

// The window went to a monitor of another scale: fonts for the new DPI, the size Windows suggests, and
// every child placed again where the presenter last put it.
void change_dpi(int dpi, const RECT *suggested) {
    HFONT old[6] = {small_font, font, strong_font, heading_font, dashboard_font, price_font};
    ui_dpi = dpi;
    make_fonts();
    HFONT made[6] = {small_font, font, strong_font, heading_font, dashboard_font, price_font};
    for (HWND c = GetWindow(window, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT)) {
        HFONT f = (HFONT)SendMessageW(c, WM_GETFONT, 0, 0);
        for (int i = 0; i < 6; i++)
            if (f == old[i]) SendMessageW(c, WM_SETFONT, (WPARAM)made[i], 0);
    }
    // No control holds the old fonts any more.
    for (HFONT f : old) DeleteObject(f);
    SetWindowPos(window, nullptr, suggested->left, suggested->top, suggested->right - suggested->left,
                 suggested->bottom - suggested->top, SWP_NOZORDER | SWP_NOACTIVATE);
    place_again(window);
    // The conversation's rows were measured with the old font and width.
    int rows = (int)SendMessageW(chat_history, LB_GETCOUNT, 0, 0);
    for (int i = 0; i < rows; i++) {
        MEASUREITEMSTRUCT m = {};
        m.CtlType = ODT_LISTBOX;
        m.CtlID = chat_history_id;
        m.itemID = (UINT)i;
        m.itemData = (ULONG_PTR)SendMessageW(chat_history, LB_GETITEMDATA, (WPARAM)i, 0);
        chat_measure_row(&m);
        SendMessageW(chat_history, LB_SETITEMHEIGHT, (WPARAM)i, (LPARAM)m.itemHeight);
    }
    RedrawWindow(window, nullptr, nullptr, RDW_ERASE | RDW_INVALIDATE | RDW_ALLCHILDREN);
}

void shut_down() {
    close_transport();
    HGDIOBJ objects[] = {side_brush, dashboard_font, price_font,  tint_brush, border_brush,
                         small_font, heading_font,   strong_font, font,       pressed_brush,
                         red_brush,  header_brush,   paper_brush};
    for (HGDIOBJ o : objects) DeleteObject(o);
}
