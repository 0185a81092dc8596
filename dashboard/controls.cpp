// The drawing primitives of the flat style and the owner-drawn controls.
#include "dashboard.h"
#include "../assets/assets.h"
#include "../base/ui.h"

void draw_field(HWND main, HDC dc, HWND edit) {
    if (!edit || !IsWindowVisible(edit)) return;
    RECT r;
    GetWindowRect(edit, &r);
    MapWindowPoints(nullptr, main, (POINT *)&r, 2);
    int x = scaled(9), y = scaled(6), line = scaled(1);
    RECT outer = {r.left - x, r.top - y, r.right + x, r.bottom + y};
    rounded(dc, &outer, border_brush, 14);
    RECT inner = {outer.left + line, outer.top + line, outer.right - line, outer.bottom - line};
    rounded(dc, &inner, edit == chat_input ? header_brush : paper_brush, 13);
}

static void focus_frame(const DRAWITEMSTRUCT *item, int inset) {
    if (!(item->itemState & ODS_FOCUS)) return;
    inset = scaled(inset);
    RECT r = {item->rcItem.left + inset, item->rcItem.top + inset, item->rcItem.right - inset,
              item->rcItem.bottom - inset};
    DrawFocusRect(item->hDC, &r);
}

// Tab buttons, package buttons and "Comprar créditos".
static void draw_pill(const DRAWITEMSTRUCT *item) {
    HDC dc = item->hDC;
    RECT r = item->rcItem;
    int id = (int)item->CtlID;
    int tab = id >= first_tab_id && id < first_tab_id + 3;
    // The 5-credit package is the best buy and always shows filled.
    int selected = tab ? id == first_tab_id + dashboard_tab : id == first_package_id + 2;
    int pressed = (item->itemState & ODS_SELECTED) != 0;
    wchar_t text[65];
    GetWindowTextW(item->hwndItem, text, 65);
    FillRect(dc, &r, tab ? side_brush : paper_brush);
    COLORREF colour = white_text;
    if (selected) {
        rounded(dc, &r, pressed ? pressed_brush : red_brush, 12);
    } else if (!tab) {
        // A red outline button.
        rounded(dc, &r, red_brush, 12);
        int line = scaled(1);
        RECT inside = {r.left + line, r.top + line, r.right - line, r.bottom - line};
        rounded(dc, &inside, pressed ? tint_brush : paper_brush, 10);
        colour = red_text;
    }
    if (item->itemState & ODS_DISABLED) colour = disabled_text;
    RECT box = r;
    if (tab) box.left += scaled(16);
    dashboard_text(dc, text, strong_font, colour, &box, tab ? 0 : 1);
    focus_frame(item, 3);
}

static void draw_banner_button(const DRAWITEMSTRUCT *item) {
    wchar_t text[65];
    GetWindowTextW(item->hwndItem, text, 65);
    FillRect(item->hDC, &item->rcItem, item->itemState & ODS_SELECTED ? pressed_brush : red_brush);
    dashboard_text(item->hDC, text, small_font, white_text, &item->rcItem, 1);
    focus_frame(item, 2);
}

static void draw_banner(const DRAWITEMSTRUCT *item) {
    HDC dc = item->hDC;
    int w = item->rcItem.right - item->rcItem.left, h = item->rcItem.bottom - item->rcItem.top;
    int current = banner_index % 3;
    const banner_slide *slide = &banner_slides[current];
    // Stretched to the banner's height at any scale; beyond 96 DPI halftone keeps the photograph smooth.
    int old_mode = ui_dpi == 96 ? 0 : SetStretchBltMode(dc, HALFTONE);
    StretchDIBits(dc, 0, 0, w, h, 0, 0, HERO_W, HERO_H, slide->pixels, (const BITMAPINFO *)&hero_bitmap,
                  DIB_RGB_COLORS, SRCCOPY);
    if (old_mode) SetStretchBltMode(dc, old_mode);
    // The dark panel keeps the white text legible over any picture.
    RECT panel = {0, 0, scaled(257), h};
    FillRect(dc, &panel, side_brush);
    RECT title = scaled_rect(14, 8, 249, 31), line1 = scaled_rect(14, 34, 249, 50),
         line2 = scaled_rect(14, 50, 249, 66);
    dashboard_text(dc, slide->title, heading_font, white_text, &title, 0);
    dashboard_text(dc, slide->line1, font, white_text, &line1, 0);
    dashboard_text(dc, slide->line2, font, white_text, &line2, 0);
    for (int i = 0; i < 3; i++) {
        RECT dot = {w - scaled(50 - 12 * i), h - scaled(11), w - scaled(44 - 12 * i), h - scaled(5)};
        FillRect(dc, &dot, i == current ? paper_brush : tint_brush);
    }
}

static void draw_session_header(const DRAWITEMSTRUCT *item) {
    HDC dc = item->hDC;
    // The one brush made while painting: no shared brush has the header's colour.
    HBRUSH fill = CreateSolidBrush(session_header_colour);
    FillRect(dc, &item->rcItem, fill);
    DeleteObject(fill);
    picture(dc, 24, 8, BRAND_W, BRAND_H, brand_pixels, &brand_bitmap);
    RECT label = scaled_rect(212, 0, 551, 60);
    dashboard_text(dc, L"Zivavoz Rezovi · teste", strong_font, white_text, &label, 2);
}

static void draw_status_badge(const DRAWITEMSTRUCT *item) {
    // The parent does not paint under its children, so the pill's corners need the page colour.
    FillRect(item->hDC, &item->rcItem, paper_brush);
    rounded(item->hDC, &item->rcItem, tint_brush, 26);
    dashboard_text(item->hDC, L"●  Em atendimento", strong_font, red_text, &item->rcItem, 1);
}

// The password eye: an outlined eye with a black pupil, struck through while the password shows.
static void draw_eye(HDC dc, const RECT *r) {
    int cx = (r->left + r->right) / 2, cy = (r->top + r->bottom) / 2;
    // Lines as thick as a 96-DPI pixel is at this scale; the stock pen serves at 96 DPI.
    HPEN pen = ui_dpi == 96 ? nullptr : CreatePen(PS_SOLID, scaled(1), RGB(0, 0, 0));
    HGDIOBJ old_pen = pen ? SelectObject(dc, pen) : nullptr;
    HGDIOBJ old_brush = SelectObject(dc, GetStockObject(NULL_BRUSH));
    Ellipse(dc, cx - scaled(11), cy - scaled(6), cx + scaled(12), cy + scaled(7));
    SelectObject(dc, GetStockObject(BLACK_BRUSH));
    Ellipse(dc, cx - scaled(3), cy - scaled(3), cx + scaled(4), cy + scaled(4));
    SelectObject(dc, old_brush);
    if (board.password_shown) {
        MoveToEx(dc, cx - scaled(12), cy + scaled(8), nullptr);
        LineTo(dc, cx + scaled(13), cy - scaled(8));
    }
    if (pen) {
        SelectObject(dc, old_pen);
        DeleteObject(pen);
    }
}

static void draw_button(const DRAWITEMSTRUCT *item) {
    HDC dc = item->hDC;
    int disabled = (item->itemState & ODS_DISABLED) != 0;
    int primary = item->CtlID != eye_id && !disabled;
    int pressed = (item->itemState & ODS_SELECTED) != 0;
    FillRect(dc, &item->rcItem, paper_brush);
    rounded(dc, &item->rcItem, primary ? (pressed ? pressed_brush : red_brush) : header_brush, 14);
    if (item->CtlID == eye_id) {
        draw_eye(dc, &item->rcItem);
    } else {
        wchar_t text[129];
        GetWindowTextW(item->hwndItem, text, 129);
        dashboard_text(dc, text, strong_font, primary ? white_text : disabled ? muted_text : dark_text,
                       &item->rcItem, 1);
    }
    focus_frame(item, 3);
}

void draw_control(const DRAWITEMSTRUCT *item) {
    int id = (int)item->CtlID;
    int is_static = item->CtlType == ODT_STATIC;
    if ((id >= first_tab_id && id < first_package_id + 3) || id == buy_button_id)
        draw_pill(item);
    else if (item->hwndItem == banner_cta)
        draw_banner_button(item);
    else if (is_static && item->hwndItem == banner)
        draw_banner(item);
    else if (is_static && id == login_header_id)
        draw_session_header(item);
    else if (is_static && id == status_badge_id)
        draw_status_badge(item);
    else
        draw_button(item);
}
