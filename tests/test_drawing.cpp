// The look of the program, checked pixel by pixel: the drawing primitives, every kind of owner-drawn
// control, the banner, the brand marks and the dashboard picture of each tab and state.
#include "harness.h"
#include "gdi_count.h"
#include "../assets/assets.h"
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

namespace {

const unsigned white = 0xFFFFFF, paper = 0xFFFFFF, header = 0xF6EEEE, red = 0xBD1120, pressed = 0x930B18,
               tint = 0xFCE7E9, border = 0xE5D4D6, side = 0x161A20, dark = 0x21191A, muted = 0x695255,
               grey = 0xA7A9AA, online = 0x20703A, session_grey = 0x222326;

// An owner-draw record for a control, as the window would send it, drawing into the canvas.
DRAWITEMSTRUCT item_for(HWND c, HDC dc, UINT state = 0) {
    DRAWITEMSTRUCT d = {};
    wchar_t name[16];
    GetClassNameW(c, name, 16);
    d.CtlType = _wcsicmp(name, L"Static") == 0 ? ODT_STATIC : ODT_BUTTON;
    d.CtlID = GetDlgCtrlID(c);
    d.itemAction = ODA_DRAWENTIRE;
    d.itemState = state | (IsWindowEnabled(c) ? 0 : ODS_DISABLED);
    d.hwndItem = c;
    d.hDC = dc;
    GetClientRect(c, &d.rcItem);
    return d;
}

// A canvas of the control's size with the control drawn into it.
struct drawn : canvas {
    drawn(HWND c, UINT state = 0) : canvas(client_size(c).cx, client_size(c).cy) {
        DRAWITEMSTRUCT d = item_for(c, dc, state);
        draw_main_control(&d);
    }
};

int count_other(const canvas &c, RECT r, unsigned colour) {
    return (r.right - r.left) * (r.bottom - r.top) - count(c, r, colour);
}

int pure_rgb(const unsigned char *bgra, int w, int x, int y) {
    const unsigned char *p = bgra + (y * w + x) * 4;
    return (p[2] << 16) | (p[1] << 8) | p[0];
}

// True when r of c shows exactly the given text as the platform itself draws it on that background:
// the same pixels round the reference's glyphs, and no stray pixel of the text colour elsewhere in
// r (its outer 3 px excepted, where rounded corners may show other fills).
bool shows_text(const canvas &c, RECT r, const wchar_t *text, HFONT f, unsigned colour, unsigned background,
                UINT align) {
    canvas ref(c.w, c.h);
    HBRUSH b = CreateSolidBrush(RGB(background >> 16, (background >> 8) & 0xFF, background & 0xFF));
    FillRect(ref.dc, &r, b);
    DeleteObject(b);
    HGDIOBJ old = SelectObject(ref.dc, f);
    SetTextColor(ref.dc, RGB(colour >> 16, (colour >> 8) & 0xFF, colour & 0xFF));
    SetBkMode(ref.dc, TRANSPARENT);
    RECT box = r;
    DrawTextW(ref.dc, text, -1, &box, align | DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX);
    SelectObject(ref.dc, old);
    RECT glyphs = ink(ref, r, background);
    if (glyphs.left >= glyphs.right) return false;
    InflateRect(&glyphs, 1, 1);
    IntersectRect(&glyphs, &glyphs, &r);
    for (int y = glyphs.top; y < glyphs.bottom; y++)
        for (int x = glyphs.left; x < glyphs.right; x++)
            if (c.at(x, y) != ref.at(x, y)) {
                MESSAGE("pixel ", x, ",", y, " is ", c.at(x, y), " instead of ", ref.at(x, y));
                return false;
            }
    for (int y = r.top + 3; y < r.bottom - 3; y++)
        for (int x = r.left + 3; x < r.right - 3; x++) {
            POINT p = {x, y};
            if (!PtInRect(&glyphs, p) && c.at(x, y) == colour) {
                MESSAGE("stray pixel of the text colour at ", x, ",", y);
                return false;
            }
        }
    return true;
}

void signed_out() {
    logged = 0;
    chat_ticket = 0;
    dashboard_tab = 0;
    enter_stage(0);
}

// The colour of the screen at the middle of a control's left edge, 3 px in.
unsigned left_of(const canvas &c, HWND control) {
    RECT r = child_rect(control);
    return c.at(r.left + 3, (r.top + r.bottom) / 2);
}

} // namespace

TEST_CASE("rounded shapes and cards have no outline and leave the device context as they found it") {
    ensure_started();
    canvas c(80, 60);
    RECT whole = {0, 0, 80, 60};
    FillRect(c.dc, &whole, side_brush);
    HGDIOBJ pen = GetCurrentObject(c.dc, OBJ_PEN), brush = GetCurrentObject(c.dc, OBJ_BRUSH),
            f = GetCurrentObject(c.dc, OBJ_FONT);

    RECT r = {10, 10, 70, 50};
    rounded(c.dc, &r, red_brush, 12);
    CHECK(c.at(40, 10) == red);   // the top edge is the brush, not a pen line
    CHECK(c.at(10, 30) == red);
    CHECK(c.at(69, 49 - 6) == red);
    CHECK(c.at(10, 10) == side);  // corners are cut
    CHECK(c.at(69, 49) == side);
    CHECK(c.at(70, 30) == side);  // right and bottom are exclusive
    CHECK(c.at(40, 50) == side);

    dashboard_card(c.dc, &r, 0);
    CHECK(c.at(40, 10) == border);
    CHECK(c.at(10, 30) == border);
    CHECK(c.at(40, 11) == paper);
    CHECK(c.at(40, 30) == paper);
    CHECK(c.at(40, 49) == border);
    dashboard_card(c.dc, &r, 1);
    CHECK(c.at(40, 10) == red);
    CHECK(c.at(11, 30) == paper);

    RECT t = {0, 0, 80, 60};
    dashboard_text(c.dc, L"Ab", strong_font, RGB(0x21, 0x19, 0x1A), &t, 1);
    CHECK(GetCurrentObject(c.dc, OBJ_PEN) == pen);
    CHECK(GetCurrentObject(c.dc, OBJ_BRUSH) == brush);
    CHECK(GetCurrentObject(c.dc, OBJ_FONT) == f);
}

TEST_CASE("text is drawn on one line, vertically centred, with the alignment asked for") {
    ensure_started();
    canvas c(300, 40);
    RECT all = {0, 0, 300, 40};
    const int aligns[3][2] = {{0, 4}, {1, 5}, {2, 6}};
    const UINT platform[3] = {DT_LEFT, DT_CENTER, DT_RIGHT};
    RECT seen[3];
    for (int a = 0; a < 3; a++) {
        for (int variant = 0; variant < 2; variant++) {
            FillRect(c.dc, &all, paper_brush);
            dashboard_text(c.dc, L"&Entrar agora", font, RGB(0x21, 0x19, 0x1A), &all, aligns[a][variant]);
            RECT box = ink(c, all, paper);
            if (variant == 0) seen[a] = box;
            else CHECK(EqualRect(&box, &seen[a]));
        }
        // Vertically centred on one line, and the ampersand drawn rather than taken as a prefix.
        CHECK(shows_text(c, all, L"&Entrar agora", font, dark, paper, platform[a]));
    }
    CHECK(seen[0].left <= 1);
    CHECK(abs(seen[1].left - (300 - seen[1].right)) <= 2);
    CHECK(seen[2].right >= 298);
    // The background stays, even inside the text's own cell: the text is transparent on any device context.
    SetBkMode(c.dc, OPAQUE);
    FillRect(c.dc, &all, red_brush);
    dashboard_text(c.dc, L"x", font, RGB(255, 255, 255), &all, 1);
    HGDIOBJ old = SelectObject(c.dc, font);
    TEXTMETRICW tm;
    GetTextMetricsW(c.dc, &tm);
    SelectObject(c.dc, old);
    // The centred letter's cell, one pixel below its top: above a lower-case letter.
    CHECK(c.at(150, (40 - tm.tmHeight) / 2 + 1) == red);
}

TEST_CASE("edit fields get a rounded frame only while visible, the chat input a light one") {
    ensure_started();
    const int w = client_size().cx, h = client_size().cy;
    canvas c(w, h);
    RECT all = {0, 0, w, h};
    FillRect(c.dc, &all, side_brush);
    // loginName is at 131, 218, 392 x 19: its frame spans 122..532 x 212..242.
    draw_field(window, c.dc, loginName);
    CHECK(c.at(300, 212) == border);
    CHECK(c.at(122, 227) == border);
    CHECK(c.at(531, 227) == border);
    CHECK(c.at(300, 242) == border);
    CHECK(c.at(300, 213) == paper);
    CHECK(c.at(300, 241) == paper);
    CHECK(c.at(300, 243) == side);
    CHECK(c.at(532, 227) == side);
    CHECK(c.at(121, 227) == side);
    CHECK(c.at(122, 212) == side);  // rounded corner

    FillRect(c.dc, &all, side_brush);
    draw_field(window, c.dc, chat_input);  // hidden at start-up
    draw_field(window, c.dc, nullptr);
    CHECK(count_other(c, all, side) == 0);

    ShowWindow(chat_input, SW_SHOW);
    draw_field(window, c.dc, chat_input);
    ShowWindow(chat_input, SW_HIDE);
    // chat_input is at 33, 309, 381 x 25: frame 24..423 x 303..340, grey inside.
    CHECK(c.at(200, 303) == border);
    CHECK(c.at(200, 320) == header);
}

TEST_CASE("the selected tab is a red pill that darkens when pressed and disabled tabs are grey on the side bar") {
    ensure_started();
    signed_out();
    {
        drawn start(navigation[0]);  // selected, enabled
        CHECK(start.at(44, 11) != side);
        CHECK(count(start, {0, 0, 88, 23}, red) > 88 * 23 / 2);
        CHECK(start.at(0, 0) == side);  // rounded corner on the side bar
        RECT text = ink(start, {4, 4, 84, 19}, red);
        // Left-aligned 16 px in, white.
        CHECK(text.left >= 16);
        CHECK(text.left <= 19);
        CHECK(count(start, {16, 0, 88, 23}, white) > 5);
        CHECK(shows_text(start, {16, 0, 88, 23}, L"Início", strong_font, white, red, DT_LEFT));
    }
    {
        drawn held(navigation[0], ODS_SELECTED);
        CHECK(count(held, {0, 0, 88, 23}, pressed) > 88 * 23 / 2);
        CHECK(count(held, {0, 0, 88, 23}, red) == 0);
    }
    {
        drawn credits(navigation[1]);  // disabled before sign-in
        CHECK(count(credits, {0, 0, 88, 23}, red) == 0);
        CHECK(count(credits, {0, 0, 88, 23}, grey) > 5);
        CHECK(count(credits, {0, 0, 88, 23}, white) == 0);
        CHECK(shows_text(credits, {16, 0, 88, 23}, L"Créditos", strong_font, grey, side, DT_LEFT));
        // Pressing a tab that is not the current one draws no pill.
        drawn held(navigation[1], ODS_SELECTED);
        CHECK(count(held, {0, 0, 88, 23}, pressed) == 0);
    }
    signed_in(2);
    {
        drawn history(navigation[2]);
        CHECK(count(history, {0, 0, 88, 23}, red) > 88 * 23 / 2);
        drawn start(navigation[0]);
        CHECK(count(start, {0, 0, 88, 23}, red) == 0);
        CHECK(shows_text(start, {16, 0, 88, 23}, L"Início", strong_font, white, side, DT_LEFT));
        drawn focused(navigation[2], ODS_FOCUS);
        // The focus rectangle runs 3 px inside the edge.
        CHECK(count_other(focused, {3, 3, 85, 4}, red) > 20);
        CHECK(count_other(history, {3, 3, 85, 4}, red) == 0);
    }
}

TEST_CASE("the 5-credit package button is filled red while the others are red outlines") {
    signed_in(1);
    RECT all = {0, 0, 131, 27};
    drawn five(package_buttons[2]);
    CHECK(count(five, all, red) > 131 * 27 / 2);
    CHECK(shows_text(five, all, L"Comprar 5 créditos", strong_font, white, red, DT_CENTER));
    drawn five_held(package_buttons[2], ODS_SELECTED);
    CHECK(count(five_held, all, pressed) > 131 * 27 / 2);

    for (int i = 0; i < 2; i++) {
        drawn outline(package_buttons[i]);
        CHECK(outline.at(65, 0) == red);
        CHECK(outline.at(65, 26) == red);
        CHECK(outline.at(0, 13) == red);
        CHECK(outline.at(130, 13) == red);
        CHECK(outline.at(65, 1) == paper);
        CHECK(outline.at(3, 13) == paper);
        CHECK(outline.at(0, 0) == paper);  // the rounded corner shows the card's white
        CHECK(shows_text(outline, {1, 1, 130, 26}, i ? L"Comprar 3 créditos" : L"Comprar 1 crédito", strong_font,
                         red, paper, DT_CENTER));
        drawn held(package_buttons[i], ODS_SELECTED);
        CHECK(held.at(5, 13) == tint);
        CHECK(held.at(65, 0) == red);
    }
    // "Comprar créditos" on the home tab is an outline as well.
    signed_in(0);
    drawn buy(buy_button);
    RECT b = {0, 0, 136, 20};
    CHECK(shows_text(buy, b, L"Comprar créditos", strong_font, red, paper, DT_CENTER));
    CHECK(buy.at(68, 0) == red);
    CHECK(buy.at(68, 2) == paper);
    CHECK(count(buy, b, red) < 136 * 20 / 3);
}

TEST_CASE("primary buttons are red, disabled ones turn light with muted text") {
    ensure_started();
    signed_out();
    RECT a = {0, 0, 407, 23};
    {
        drawn enter(action);
        CHECK(count(enter, a, red) > 407 * 23 / 2);
        CHECK(enter.at(0, 0) == paper);
        CHECK(shows_text(enter, a, L"Entrar", strong_font, white, red, DT_CENTER));
        drawn held(action, ODS_SELECTED);
        CHECK(count(held, a, pressed) > 407 * 23 / 2);
        drawn focused(action, ODS_FOCUS);
        CHECK(count_other(focused, {3, 3, 404, 4}, red) > 100);
    }
    EnableWindow(action, 0);
    {
        drawn off(action);
        CHECK(count(off, a, red) == 0);
        CHECK(count(off, a, header) > 407 * 23 / 2);
        CHECK(shows_text(off, a, L"Entrar", strong_font, muted, header, DT_CENTER));
    }
    EnableWindow(action, 1);
    // Every other kind-6 button follows the same rule; "Criar conta" is primary too.
    drawn create(account_switch);
    CHECK(shows_text(create, {0, 0, 407, 22}, L"Criar conta", strong_font, white, red, DT_CENTER));
}

TEST_CASE("the eye is a light button whose icon is struck through only while the password shows") {
    ensure_started();
    signed_out();
    RECT all = {0, 0, 61, 24};
    // Centre (30, 12): the eye spans 19..42 x 6..19, the pupil 27..34 x 9..16.
    drawn hidden(eye);
    CHECK(count(hidden, all, red) == 0);
    CHECK(hidden.at(5, 12) == header);
    CHECK(hidden.at(30, 12) == 0x000000);        // pupil
    CHECK(hidden.at(30, 6) == 0x000000);         // outline top
    CHECK(hidden.at(19, 12) == 0x000000);        // outline left
    CHECK(hidden.at(23, 12) == header);          // the eye is not filled
    CHECK(hidden.at(19, 19) == header);          // no strike
    CHECK(hidden.at(42, 5) == header);
    // Inside the rounded corners, where the white behind the button shows.
    RECT inside = {6, 2, 55, 22};
    RECT drawn_box = ink(hidden, inside, header);
    CHECK(drawn_box.left == 19);
    CHECK(drawn_box.top == 6);
    CHECK(drawn_box.right == 42);
    CHECK(drawn_box.bottom == 19);
    // Text is never drawn on the eye.
    CHECK(count(hidden, all, dark) == 0);

    command(2);
    REQUIRE(visible == 1);
    drawn shown(eye);
    command(2);
    REQUIRE(visible == 0);
    RECT struck = ink(shown, inside, header);
    CHECK(struck.left == 18);
    CHECK(struck.top == 5);  // LineTo stops short of its end point
    CHECK(struck.right >= 43);
    CHECK(struck.bottom == 21);
    CHECK(shown.at(18, 20) == 0x000000);  // the line starts at (cx - 12, cy + 8)
    CHECK(count(shown, all, 0x000000) > count(hidden, all, 0x000000));
}

TEST_CASE("the banner shows the current slide and its dots follow banner_index") {
    ensure_started();
    signed_out();
    const int W = 431, H = 103;
    static const wchar_t *const titles[3] = {L"O PC travou?", L"Sua impressora parou?", L"Economize no pacote"};
    static const wchar_t *const lines[3][2] = {{L"Erros e lentidão no Windows.", L"Peça ajuda sem sair de casa."},
                                              {L"Ajuste impressora, e-mail", L"e programas com um técnico."},
                                              {L"R$ 29,99 por atendimento", L"no pacote de 5 créditos."}};
    const unsigned char *pictures[3] = {hero_pixels, hero_notebook, hero_manutencao};
    for (int slide = 0; slide < 3; slide++) {
        banner_index = slide;
        drawn b(banner);
        // The left panel is dark with white text on it.
        CHECK(b.at(2, 2) == side);
        CHECK(b.at(256, 90) == side);
        CHECK(shows_text(b, {14, 8, 249, 31}, titles[slide], heading_font, white, side, DT_LEFT));
        CHECK(shows_text(b, {14, 34, 249, 50}, lines[slide][0], font, white, side, DT_LEFT));
        CHECK(shows_text(b, {14, 50, 249, 66}, lines[slide][1], font, white, side, DT_LEFT));
        // The picture is stretched over the whole banner: its corners land on the banner's corners.
        CHECK(b.at(W - 1, 0) == (unsigned)pure_rgb(pictures[slide], HERO_W, HERO_W - 1, 0));
        CHECK(b.at(300, H - 1) == (unsigned)pure_rgb(pictures[slide], HERO_W, 300, HERO_H - 1));
        CHECK(b.at(257, 0) == (unsigned)pure_rgb(pictures[slide], HERO_W, 257, 0));
        for (int dot = 0; dot < 3; dot++) {
            RECT square = {W - 50 + 12 * dot, H - 11, W - 44 + 12 * dot, H - 5};
            CHECK(count(b, square, dot == slide ? paper : tint) == 36);
        }
        if (slide == 0) review(b, "banner0");
    }
    // One tick of the rotation makes the second dot white.
    banner_index = 0;
    SendMessageW(window, WM_TIMER, banner_timer, 0);
    drawn next(banner);
    CHECK(next.at(W - 50 + 12 + 2, H - 8) == paper);
    CHECK(next.at(W - 50 + 2, H - 8) == tint);
    banner_index = 0;
}

TEST_CASE("the banner button is red with white bold text and darkens when pressed") {
    ensure_started();
    signed_out();
    RECT all = {0, 0, 139, 23};
    drawn cta(banner_cta);
    CHECK(cta.at(0, 0) == red);  // square: it sits on the picture
    CHECK(shows_text(cta, all, L"Entre para comprar", small_font, white, red, DT_CENTER));
    drawn held(banner_cta, ODS_SELECTED);
    CHECK(held.at(0, 0) == pressed);
    drawn focused(banner_cta, ODS_FOCUS);
    CHECK(count_other(focused, {2, 2, 137, 3}, red) > 50);
    CHECK(count_other(cta, {2, 2, 137, 3}, red) == 0);
}

TEST_CASE("the session header carries the brand mark and the status badge is a tinted pill") {
    ensure_started();
    drawn h(login_header);
    CHECK(h.at(2, 2) == session_grey);
    CHECK(h.at(566, 59) == session_grey);
    int mismatches = 0;
    for (int y = 0; y < BRAND_H; y++)
        for (int x = 0; x < BRAND_W; x++)
            mismatches += h.at(24 + x, 8 + y) != (unsigned)pure_rgb(brand_pixels, BRAND_W, x, y);
    CHECK(mismatches == 0);
    CHECK(shows_text(h, {212, 0, 551, 60}, L"Zivavoz Rezovi · teste", strong_font, white, session_grey, DT_RIGHT));
    RECT label = ink(h, {212, 0, 567, 60}, session_grey);
    CHECK(label.right <= 551);
    CHECK(label.right >= 545);

    drawn badge(status_badge);
    RECT all = {0, 0, 160, 27};
    CHECK(badge.at(80, 1) == tint);
    // Rounded, with the page colour in the corners whatever was under the control before.
    CHECK(badge.at(0, 0) == 0xFFFFFF);
    CHECK(shows_text(badge, {4, 0, 156, 27}, L"●  Em atendimento", strong_font, red, tint, DT_CENTER));
    CHECK(count(badge, all, red) > 10);
}

TEST_CASE("the side bar shows the brand mark and the presence label in its colour") {
    ensure_started();
    signed_out();
    const int w = client_size().cx, h = client_size().cy;
    canvas c(w, h);
    struct {
        int presence;
        const wchar_t *text;
        unsigned colour;
    } cases[] = {{-1, L"●  Status indisponível", muted},
                 {0, L"●  Zivavoz offline", red},
                 {1, L"●  Zivavoz online", online}};
    for (auto &e : cases) {
        support_presence = e.presence;
        paint_main(c.dc);
        CHECK(shows_text(c, {380, 9, 543, 27}, e.text, strong_font, e.colour, paper, DT_RIGHT));
        CHECK(count(c, {380, 9, 543, 27}, e.colour) > 10);
        RECT label = ink(c, {380, 9, 543, 27}, paper);
        CHECK(label.right >= 538);
    }
    support_presence = -1;
    // Every character beyond ASCII that the program draws has a glyph in each font, none a box.
    const HFONT fonts[] = {small_font, font, strong_font, heading_font, dashboard_font, price_font};
    for (HFONT f : fonts) {
        const wchar_t drawn[] = L"●·…ÉÊÚáãçéêíóõú";
        WORD glyphs[32];
        HGDIOBJ old = SelectObject(c.dc, f);
        GetGlyphIndicesW(c.dc, drawn, (int)wcslen(drawn), glyphs, GGI_MARK_NONEXISTING_GLYPHS);
        SelectObject(c.dc, old);
        for (int i = 0; drawn[i]; i++) {
            CAPTURE(i);
            CHECK(glyphs[i] != 0xFFFF);
        }
    }
    CHECK(c.at(0, 200) == side);
    CHECK(c.at(99, h - 1) == side);
    CHECK(c.at(100, 200) == paper);
    int mismatches = 0;
    for (int y = 0; y < MENU_BRAND_H; y++)
        for (int x = 0; x < MENU_BRAND_W; x++)
            mismatches += c.at(5 + x, 12 + y) != (unsigned)pure_rgb(menu_brand_pixels, MENU_BRAND_W, x, y);
    CHECK(mismatches == 0);
    // The mark's own background is the side bar's colour, so its edge does not show.
    CHECK(c.at(5, 12) == side);
    CHECK(c.at(94, 37) == side);
}

TEST_CASE("the sign-in card frames the e-mail field only while that field is shown") {
    ensure_started();
    signed_out();
    canvas c(client_size().cx, client_size().cy);
    paint_main(c.dc);
    CHECK(shows_text(c, {112, 9, 378, 30}, L"Central do cliente", dashboard_font, dark, paper, DT_LEFT));
    CHECK(shows_text(c, {124, 151, 530, 175}, L"Acesse sua conta", heading_font, dark, paper, DT_LEFT));
    CHECK(shows_text(c, {124, 175, 530, 194}, L"Entre para solicitar suporte e consultar seus créditos.", font,
                     muted, paper, DT_LEFT));
    CHECK(c.at(300, 146) == border);  // the card
    CHECK(c.at(112, 250) == border);
    CHECK(c.at(300, 346) == border);
    CHECK(c.at(300, 215) == border);  // e-mail frame
    CHECK(c.at(124, 227) == border);
    CHECK(c.at(300, 260) == border);  // password frame
    CHECK(c.at(464, 272) == border);
    CHECK(c.at(466, 272) == paper);
    render_window(c);
    review(c, "signin");

    // At the code-confirmation stage the e-mail field is hidden and its frame goes with it.
    enter_stage(2);
    REQUIRE(!IsWindowVisible(loginName));
    paint_main(c.dc);
    CHECK(count(c, {124, 215, 531, 239}, border) == 0);
    CHECK(c.at(300, 260) == border);
    render_window(c);
    review(c, "signin_code");
    enter_stage(0);
}

TEST_CASE("the signed-in home tab shows the cards, the balance and the last ticket") {
    signed_in(0);
    canvas c(client_size().cx, client_size().cy);
    struct {
        int known, balance;
        const wchar_t *text;
    } balances[] = {{1, 1, L"1 crédito"}, {1, 0, L"0 créditos"}, {1, 12, L"12 créditos"},
                    {0, 5, L"Saldo indisponível"}};
    for (auto &e : balances) {
        balance_known = e.known;
        account_balance = e.balance;
        paint_main(c.dc);
        CHECK(shows_text(c, {394, 182, 534, 206}, e.text, price_font, red, paper, DT_CENTER));
    }
    CHECK(shows_text(c, {122, 150, 366, 171}, L"Solicitar suporte", heading_font, dark, paper, DT_LEFT));
    CHECK(shows_text(c, {394, 150, 534, 171}, L"Créditos", heading_font, dark, paper, DT_CENTER));
    CHECK(c.at(240, 146) == border);  // support card
    CHECK(c.at(375, 200) == border);
    CHECK(c.at(380, 200) == paper);   // the gap between the cards
    CHECK(c.at(384, 200) == border);  // credits card
    CHECK(c.at(240, 207) == border);  // description frame
    CHECK(c.at(300, 281) == border);  // history card
    CHECK(c.at(300, 325) == border);
    CHECK(shows_text(c, {122, 286, 532, 302}, L"Último chamado encerrado", strong_font, dark, paper, DT_LEFT));
    CHECK(shows_text(c, {122, 303, 532, 321}, L"Nenhum chamado encerrado disponível.", font, muted, paper,
                     DT_LEFT));
    balance_known = 1;
    account_balance = 3;
    recent_ticket = 41;
    recent_cancelled = 0;
    render_window(c);
    review(c, "home");
    // On the screen too: the cards round the request button, which is red.
    CHECK(c.at(240, 146) == border);
    CHECK(c.at(300, 281) == border);
    CHECK(left_of(c, action) == red);
    recent_ticket = 0;

    // A waiting ticket hides the description field, and its frame goes too.
    account_waiting = 1;
    dashboard_show();
    paint_main(c.dc);
    CHECK(count(c, {121, 207, 366, 234}, border) == 0);
    CHECK(c.at(240, 146) == border);
    // As the queue poll leaves the card while the ticket waits.
    show(info, "Posição na fila: 2");
    show(action, "Cancelar chamado");
    place(elapsed_label, 122, 194, 245, 19);
    show(elapsed_label, "Tempo de espera: 00:12");
    render_window(c);
    review(c, "home_waiting");
    CHECK(count(c, {121, 207, 366, 234}, border) == 0);
    CHECK(left_of(c, action) == red);
    place(elapsed_label, 24, 116, 503, 17);
    account_waiting = 0;
}

TEST_CASE("the history texts name the last ticket as cancelled or concluded on both tabs") {
    ensure_started();
    canvas c(client_size().cx, client_size().cy);
    struct {
        int ticket, cancelled;
        const wchar_t *text;
    } cases[] = {{0, 1, L"Nenhum chamado encerrado disponível."},
                 {7, 1, L"Chamado #7 · Cancelado"},
                 {1234567, 0, L"Chamado #1234567 · Atendimento concluído"}};
    for (int tab = 0; tab <= 2; tab += 2) {
        signed_in(tab);
        // The card, title and text line in the unit arithmetic of each tab.
        int top = tab ? 44 : 281, title = tab ? 48 : 286, title_end = tab ? 65 : 302;
        for (auto &e : cases) {
            recent_ticket = e.ticket;
            recent_cancelled = e.cancelled;
            paint_main(c.dc);
            CHECK(shows_text(c, {122, top + 22, 532, top + 40}, e.text, font, muted, paper, DT_LEFT));
            CHECK(shows_text(c, {122, title, 532, title_end}, L"Último chamado encerrado", strong_font, dark,
                             paper, DT_LEFT));
        }
        // The card is 112..543 wide and 45 high.
        CHECK(c.at(300, top) == border);
        CHECK(c.at(300, top + 44) == border);
        CHECK(c.at(300, top + 45) == paper);
        CHECK(c.at(112, top + 22) == border);
        CHECK(c.at(542, top + 22) == border);
        if (tab == 2) {
            CHECK(shows_text(c, {112, 9, 378, 30}, L"Histórico", dashboard_font, dark, paper, DT_LEFT));
            render_window(c);
            review(c, "history");
        }
    }
    recent_ticket = 0;
    // The areas repainted when the history changes hold the whole text line.
    signed_in(0);
    recent_ticket = 1234567;
    paint_main(c.dc);
    RECT line = ink(c, {121, 302, 535, 325}, paper);
    CHECK(line.left >= 122);
    CHECK(line.top >= 303);
    CHECK(line.bottom <= 321);
    recent_ticket = 0;
}

TEST_CASE("the credits tab shows three package cards with the best-cost badge on the last") {
    signed_in(1);
    balance_known = 1;
    account_balance = 1;
    canvas c(client_size().cx, client_size().cy);
    paint_main(c.dc);
    CHECK(shows_text(c, {112, 9, 403, 30}, L"Comprar créditos", dashboard_font, dark, paper, DT_LEFT));
    CHECK(shows_text(c, {112, 32, 403, 46}, L"Cada crédito vale 1 atendimento remoto.", font, muted, paper,
                     DT_LEFT));
    CHECK(shows_text(c, {420, 31, 542, 46}, L"1 crédito", strong_font, red, paper, DT_CENTER));
    const int lefts[3] = {112, 257, 403}, rights[3] = {252, 397, 543};
    static const wchar_t *const names[3] = {L"1 crédito", L"3 créditos", L"5 créditos"};
    static const wchar_t *const totals[3] = {L"R$ 49,99", L"R$ 119,97", L"R$ 149,95"};
    static const wchar_t *const per_use[3] = {L"R$ 49,99 por uso", L"R$ 39,99 por uso", L"R$ 29,99 por uso"};
    for (int i = 0; i < 3; i++) {
        int l = lefts[i], r = rights[i];
        unsigned edge = i == 2 ? red : border;
        CHECK(c.at(l, 150) == edge);
        CHECK(c.at(r - 1, 150) == edge);
        CHECK(c.at((l + r) / 2, 69) == edge);
        CHECK(c.at((l + r) / 2, 233) == edge);
        CHECK(c.at((l + r) / 2, 234) == paper);
        CHECK(c.at(l + 1, 150) == paper);
        CHECK(shows_text(c, {l, 103, r, 126}, names[i], heading_font, dark, paper, DT_CENTER));
        CHECK(shows_text(c, {l, 131, r, 153}, totals[i], price_font, red, paper, DT_CENTER));
        CHECK(shows_text(c, {l, 158, r, 175}, per_use[i], font, muted, paper, DT_CENTER));
    }
    CHECK(c.at(254, 150) == paper);  // gaps between the cards
    CHECK(c.at(400, 150) == paper);
    // The badge: a red pill with white text, on the highlighted card only.
    CHECK(c.at(420, 83) == red);
    CHECK(c.at(408, 74) == paper);
    CHECK(shows_text(c, {408, 74, 537, 92}, L"Melhor custo", small_font, white, red, DT_CENTER));
    CHECK(count(c, {117, 74, 247, 92}, red) == 0);
    CHECK(count(c, {262, 74, 392, 92}, red) == 0);
    CHECK(shows_text(c, {112, 249, 543, 266}, L"Pix ou cartão · Asaas Sandbox", strong_font, dark, paper,
                     DT_CENTER));
    CHECK(shows_text(c, {112, 267, 543, 285}, L"Os créditos entram no saldo após a confirmação do pagamento.",
                     font, muted, paper, DT_CENTER));
    // The package buttons sit inside their cards.
    for (int i = 0; i < 3; i++) {
        RECT b = child_rect(package_buttons[i]);
        CHECK(b.left > lefts[i]);
        CHECK(b.right < rights[i]);
        CHECK(b.bottom < 234);
        CHECK(b.top > 175);
    }
    render_window(c);
    review(c, "credits");
}

TEST_CASE("a ticket session view is plain white with frames only round the visible fields") {
    signed_in(0);
    chat_ticket = 77;
    dashboard_show();
    ShowWindow(chat_input, SW_SHOW);
    const int w = client_size().cx, h = client_size().cy;
    canvas c(w, h);
    paint_main(c.dc);
    // The only non-white pixels are the chat input's frame, 24..423 x 303..340.
    RECT frame = ink(c, {0, 0, w, h}, paper);
    CHECK(frame.left == 24);
    CHECK(frame.top == 303);
    CHECK(frame.right == 423);
    CHECK(frame.bottom == 340);
    CHECK(c.at(200, 320) == header);
    CHECK(c.at(50, 10) == paper);  // no side bar

    // Any other visible field gets a white frame of its own.
    ShowWindow(problem, SW_SHOW);
    paint_main(c.dc);
    RECT p = child_rect(problem);
    CHECK(c.at((p.left + p.right) / 2, p.top - 6) == border);
    CHECK(c.at((p.left + p.right) / 2, p.top - 3) == paper);
    ShowWindow(problem, SW_HIDE);
    ShowWindow(status_badge, SW_SHOW);
    ShowWindow(ticket_action, SW_SHOW);
    ShowWindow(disconnect_button, SW_SHOW);
    ShowWindow(chat_send, SW_SHOW);
    show(chat_heading, "Chamado #77");
    ShowWindow(chat_heading, SW_SHOW);
    show(elapsed_label, "Tempo: 00:03:12");
    render_window(c);
    review(c, "session");
    // On the screen: the tinted badge and the red buttons of the session view.
    RECT badge = child_rect(status_badge);
    CHECK(c.at(badge.left + 80, badge.top + 1) == tint);
    CHECK(left_of(c, ticket_action) == red);
    CHECK(left_of(c, disconnect_button) == red);
    chat_ticket = 0;
}

TEST_CASE("painting the window and every control creates no GDI objects") {
    ensure_started();
    canvas c(client_size().cx, client_size().cy);
    HWND controls[] = {login_header, eye, action, account_switch, status_badge, chat_send, ticket_action, banner,
                       buy_button, disconnect_button, banner_cta, navigation[0], navigation[1], navigation[2],
                       package_buttons[0], package_buttons[1], package_buttons[2]};
    const int rounds = 20;
    auto paint_everything = [&] {
        for (int tab = 0; tab < 3; tab++) {
            logged = tab != 0;
            dashboard_tab = tab;
            paint_main(c.dc);
        }
        logged = 0;
        dashboard_tab = 0;
        enter_stage(0);
        paint_main(c.dc);
        chat_ticket = 5;
        ShowWindow(chat_input, SW_SHOW);
        paint_main(c.dc);
        ShowWindow(chat_input, SW_HIDE);
        chat_ticket = 0;
        for (HWND x : controls) {
            DRAWITEMSTRUCT d = item_for(x, c.dc, ODS_FOCUS);
            draw_main_control(&d);
            d.itemState = ODS_SELECTED | ODS_DISABLED;
            draw_main_control(&d);
        }
    };
    paint_everything();  // anything the platform caches on first use is made here
    // Counted through the imports: GetGuiResources answers 0 under Wine.
    gdi_calls.made = gdi_calls.deleted = 0;
    count_gdi_calls(1);
    for (int round = 0; round < rounds; round++) paint_everything();
    count_gdi_calls(0);
    // Only the session header's brush is made, once per drawing of the header, and deleted again.
    if (gdi_calls.made != rounds * 2)
        for (int k = 0; k < 24; k++)
            if (gdi_calls.by_kind[k]) MESSAGE("import slot ", k, " was called ", gdi_calls.by_kind[k], " times");
    CHECK(gdi_calls.made == rounds * 2);
    CHECK(gdi_calls.deleted == gdi_calls.made);
}

TEST_CASE("after a stage change the eye on the screen is uncrossed again with its first caption") {
    ensure_started();
    signed_out();
    RECT r = child_rect(eye);
    int w = r.right - r.left, h = r.bottom - r.top;
    canvas before(567, 375), after(567, 375);
    render_window(before);
    command(2);
    REQUIRE(visible == 1);
    canvas crossed(567, 375);
    render_window(crossed);
    // The stage switch repaints the eye itself: only an update of the window follows, as in the loop.
    command(20);
    REQUIRE(account_stage == 1);
    UpdateWindow(window);
    settled_screen(after);
    int differs_crossed = 0, differs_before = 0;
    for (int y = r.top; y < r.top + h; y++)
        for (int x = r.left; x < r.left + w; x++) {
            differs_crossed += crossed.at(x, y) != before.at(x, y);
            differs_before += after.at(x, y) != before.at(x, y);
        }
    CHECK(differs_crossed > 10);
    CHECK(differs_before == 0);
    wchar_t caption[32];
    GetWindowTextW(eye, caption, 32);
    CHECK(wcscmp(caption, L"Mostrar senha") == 0);
    review(after, "eye_after_stage_change");
    command(20);
}

TEST_CASE("the sign-in dashboard on each banner slide and every owner-drawn kind are saved for review") {
    ensure_started();
    signed_out();
    canvas c(567, 375);
    const char *names[] = {"signin_slide1", "signin_slide2", "signin_slide3"};
    unsigned first_dot[3];
    for (int slide = 0; slide < 3; slide++) {
        banner_index = slide;
        render_window(c);
        review(c, names[slide]);
        // The current slide's dot is the white one.
        first_dot[slide] = c.at(112 + 431 - 50 + 12 * slide + 3, 34 + 103 - 8);
    }
    for (int slide = 0; slide < 3; slide++) CHECK(first_dot[slide] == 0xFFFFFF);
    banner_index = 0;

    // One sheet: every kind in its states, stacked.
    struct {
        HWND control;
        UINT state;
    } kinds[] = {{navigation[0], 0}, {navigation[1], 0}, {navigation[0], ODS_SELECTED}, {banner_cta, 0},
                 {banner_cta, ODS_SELECTED}, {action, 0}, {action, ODS_SELECTED}, {action, ODS_FOCUS},
                 {eye, 0}, {account_switch, 0}, {status_badge, 0}, {package_buttons[0], 0},
                 {package_buttons[2], 0}, {buy_button, 0}, {ticket_action, 0}, {chat_send, 0}};
    canvas sheet(440, 600);
    RECT all = {0, 0, 440, 600};
    FillRect(sheet.dc, &all, (HBRUSH)GetStockObject(WHITE_BRUSH));
    int y = 4;
    for (auto &k : kinds) {
        drawn d(k.control, k.state);
        BitBlt(sheet.dc, 4, y, d.w, d.h, d.dc, 0, 0, SRCCOPY);
        y += d.h + 6;
    }
    drawn h(login_header);
    review(sheet, "controls");
    review(h, "session_header");
}
