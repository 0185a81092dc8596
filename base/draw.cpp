// The drawing primitives of the flat style: shapes without outline and one-line text.
#include "ui.h"

void rounded(HDC dc, const RECT *r, HBRUSH brush, int radius) {
    // No outline: the shape is the brush alone.
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
    // 4, 5 and 6 are the DT_ values with DT_VCENTER folded in; both mean the same here.
    static const UINT horizontal[3] = {DT_LEFT, DT_CENTER, DT_RIGHT};
    HGDIOBJ old_font = SelectObject(dc, f);
    SetTextColor(dc, colour);
    SetBkMode(dc, TRANSPARENT);
    RECT box = *r;
    DrawTextW(dc, text, -1, &box, horizontal[(align & 3) % 3] | DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX);
    SelectObject(dc, old_font);
}
