// The drawing primitives of the flat style and the owner-drawn controls.
#include "dashboard.h"
#include "../shell/shell.h"

void rounded(HDC dc, const RECT *r, HBRUSH brush, int radius) {
    HGDIOBJ old_pen = SelectObject(dc, GetStockObject(NULL_PEN));
    HGDIOBJ old_brush = SelectObject(dc, brush);
    RoundRect(dc, r->left, r->top, r->right, r->bottom, radius, radius);
    SelectObject(dc, old_brush);
    SelectObject(dc, old_pen);
}

void dashboard_card(HDC dc, const RECT *r, int highlighted) {
    rounded(dc, r, highlighted ? red_brush : border_brush, 18);
    RECT inner = {r->left + 1, r->top + 1, r->right - 1, r->bottom - 1};
    rounded(dc, &inner, paper_brush, 16);
}

void dashboard_text(HDC dc, const wchar_t *text, HFONT f, COLORREF colour, const RECT *r, int align) {
    static const UINT horizontal[3] = {DT_LEFT, DT_CENTER, DT_RIGHT};
    HGDIOBJ old_font = SelectObject(dc, f);
    SetTextColor(dc, colour);
    SetBkMode(dc, TRANSPARENT);
    RECT box = *r;
    DrawTextW(dc, text, -1, &box, horizontal[(align & 3) % 3] | DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX);
    SelectObject(dc, old_font);
}

void draw_field(HWND main, HDC dc, HWND edit) {
    if (!edit || !IsWindowVisible(edit)) return;
    RECT r;
    GetWindowRect(edit, &r);
    MapWindowPoints(nullptr, main, (POINT *)&r, 2);
    RECT outer = {r.left - 9, r.top - 6, r.right + 9, r.bottom + 6};
    rounded(dc, &outer, border_brush, 14);
    RECT inner = {outer.left + 1, outer.top + 1, outer.right - 1, outer.bottom - 1};
    rounded(dc, &inner, edit == chat_input ? header_brush : paper_brush, 13);
}

void draw_control(const DRAWITEMSTRUCT *item) {
    wchar_t text[129];
    GetWindowTextW(item->hwndItem, text, 129);
    FillRect(item->hDC, &item->rcItem, red_brush);
    dashboard_text(item->hDC, text, strong_font, RGB(255, 255, 255), &item->rcItem, 1);
}
