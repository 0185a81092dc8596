// The picture of the main window, painted while its background is erased, with the balance and
// last-ticket texts of the dashboard.
#include "dashboard.h"
#include "../assets/assets.h"
#include "../base/ui.h"

struct credit_package {
    const wchar_t *name, *total, *per_use;
};

static const credit_package credit_packages[3] = {
    {L"1 crédito", L"R$ 49,99", L"R$ 49,99 por uso"},
    {L"3 créditos", L"R$ 119,97", L"R$ 39,99 por uso"},
    {L"5 créditos", L"R$ 149,95", L"R$ 29,99 por uso"},
};

static void text_at(HDC dc, const wchar_t *text, HFONT f, COLORREF colour, int left, int top, int right, int bottom,
                    int align) {
    RECT r = scaled_rect(left, top, right, bottom);
    dashboard_text(dc, text, f, colour, &r, align);
}

static void card_at(HDC dc, int left, int top, int right, int bottom, int highlighted) {
    RECT r = scaled_rect(left, top, right, bottom);
    dashboard_card(dc, &r, highlighted);
}

// Draws UTF-8 program text through the UTF-16 primitive.
static void utf8_text(HDC dc, const char *text, HFONT f, COLORREF colour, const RECT *r, int align) {
    wchar_t wide[128];
    convert(text, wide, 128);
    dashboard_text(dc, wide, f, colour, r, align);
}

void dashboard_balance(HDC dc, const RECT *area, HFONT f) {
    RECT r = scaled_rect(area->left, area->top, area->right, area->bottom);
    char text[64] = "";
    if (board.balance_known) {
        integer_text(text, board.balance);
        append(text, sizeof text, board.balance == 1 ? " crédito" : " créditos");
    } else {
        append(text, sizeof text, "Saldo indisponível");
    }
    utf8_text(dc, text, f, red_text, &r, 1);
}

void dashboard_history(HDC dc, int units, int offset) {
    int base = units * 48;
    card_at(dc, 112, offset + base / 100, 543, offset + (base + 4464) / 100, 0);
    text_at(dc, L"Último chamado encerrado", strong_font, dark_text, 122, offset + (base + 432) / 100, 532,
            offset + (base + 2112) / 100, 0);
    char text[100] = "";
    if (!board.recent_ticket) {
        append(text, sizeof text, "Nenhum chamado encerrado disponível.");
    } else {
        append(text, sizeof text, "Chamado #");
        integer_text(text + length(text), board.recent_ticket);
        append(text, sizeof text, board.recent_cancelled ? " · Cancelado" : " · Atendimento concluído");
    }
    RECT line = scaled_rect(122, offset + (base + 2208) / 100, 532, offset + (base + 3984) / 100);
    utf8_text(dc, text, font, muted_text, &line, 0);
}

static void paint_presence(HDC dc) {
    const wchar_t *text = L"●  Status indisponível";
    COLORREF colour = muted_text;
    if (board.presence > 0) {
        text = L"●  Zivavoz online";
        colour = online_text;
    } else if (board.presence == 0) {
        text = L"●  Zivavoz offline";
        colour = red_text;
    }
    text_at(dc, text, strong_font, colour, 380, 9, 543, 27, 2);
}

static void paint_home(HDC dc) {
    text_at(dc, L"Central do cliente", dashboard_font, dark_text, 112, 9, 378, 30, 0);
    if (!board.logged) {
        card_at(dc, 112, 146, 543, 347, 0);
        text_at(dc, L"Acesse sua conta", heading_font, dark_text, 124, 151, 530, 175, 0);
        text_at(dc, L"Entre para solicitar suporte e consultar seus créditos.", font, muted_text, 124, 175, 530, 194,
                0);
        // The e-mail field is hidden at the code-confirmation stage.
        if (IsWindowVisible(loginName)) card_at(dc, 124, 215, 531, 239, 0);
        card_at(dc, 124, 260, 465, 284, 0);
        return;
    }
    card_at(dc, 112, 146, 376, 269, 0);
    card_at(dc, 384, 146, 543, 269, 0);
    text_at(dc, L"Solicitar suporte", heading_font, dark_text, 122, 150, 366, 171, 0);
    text_at(dc, L"Créditos", heading_font, dark_text, 394, 150, 534, 171, 1);
    RECT balance = {394, 182, 534, 206};
    dashboard_balance(dc, &balance, price_font);
    // While a ticket waits the description field is hidden, so its frame goes too.
    if (!board.waiting) card_at(dc, 121, 207, 366, 234, 0);
    dashboard_history(dc, 533, 26);
}

static void paint_credits(HDC dc) {
    text_at(dc, L"Comprar créditos", dashboard_font, dark_text, 112, 9, 403, 30, 0);
    text_at(dc, L"Cada crédito vale 1 atendimento remoto.", font, muted_text, 112, 32, 403, 46, 0);
    RECT balance = {420, 31, 542, 46};
    dashboard_balance(dc, &balance, strong_font);
    for (int i = 0; i < 3; i++) {
        int left = (11200 + 14560 * i) / 100, right = (25200 + 14560 * i) / 100;
        card_at(dc, left, 69, right, 234, i == 2);
        if (i == 2) {
            RECT badge = scaled_rect(408, 74, 538, 92);
            rounded(dc, &badge, red_brush, 12);
            text_at(dc, L"Melhor custo", small_font, white_text, 408, 74, 537, 92, 1);
        }
        const credit_package *p = &credit_packages[i];
        text_at(dc, p->name, heading_font, dark_text, left, 103, right, 126, 1);
        text_at(dc, p->total, price_font, red_text, left, 131, right, 153, 1);
        text_at(dc, p->per_use, font, muted_text, left, 158, right, 175, 1);
    }
    text_at(dc, L"Pix ou cartão · Asaas Sandbox", strong_font, dark_text, 112, 249, 543, 266, 1);
    text_at(dc, L"Os créditos entram no saldo após a confirmação do pagamento.", font, muted_text, 112, 267, 543, 285,
            1);
}

static void paint_history(HDC dc) {
    text_at(dc, L"Histórico", dashboard_font, dark_text, 112, 9, 378, 30, 0);
    dashboard_history(dc, 93, 0);
}

void paint_window(HDC dc) {
    RECT client;
    GetClientRect(window, &client);
    FillRect(dc, &client, paper_brush);
    if (!dashboard_font || board.session) {
        // The session view: a plain page with frames round the fields that show.
        HWND fields[] = {loginName, loginPass, problem, chat_input};
        for (HWND f : fields) draw_field(window, dc, f);
        return;
    }
    RECT side = {0, 0, scaled(100), client.bottom};
    FillRect(dc, &side, side_brush);
    picture(dc, 5, 12, MENU_BRAND_W, MENU_BRAND_H, menu_brand_pixels, &logo_bitmap);
    paint_presence(dc);
    if (dashboard_tab == credits_tab)
        paint_credits(dc);
    else if (dashboard_tab == history_tab)
        paint_history(dc);
    else
        paint_home(dc);
}
