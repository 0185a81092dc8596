// The drawing primitives of the flat style: shapes without outline and one-line text.
#include "ui.h"

void rounded(HDC dc, const RECT *r, HBRUSH brush, int radius) { rounded_for(dc, r, brush, radius, ui_dpi); }

void rounded_for(HDC dc, const RECT *r, HBRUSH brush, int radius, int dpi) {
    // No outline: the shape is the brush alone.
    HGDIOBJ old_pen = SelectObject(dc, GetStockObject(NULL_PEN));
    HGDIOBJ old_brush = SelectObject(dc, brush);
    RoundRect(dc, r->left, r->top, r->right, r->bottom, scaled_for(radius, dpi), scaled_for(radius, dpi));
    SelectObject(dc, old_brush);
    SelectObject(dc, old_pen);
}

void dashboard_card(HDC dc, const RECT *r, int highlighted) {
    rounded(dc, r, highlighted ? red_brush : border_brush, 18);
    // The outline grows with the scale, as a line drawn at 96 DPI would.
    int line = scaled(1);
    RECT inner = {r->left + line, r->top + line, r->right - line, r->bottom - line};
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

void picture(HDC dc, int x, int y, int w, int h, const void *pixels, const BITMAPINFOHEADER *header) {
    const BITMAPINFO *info = (const BITMAPINFO *)header;
    if (ui_dpi == 96) {
        SetDIBitsToDevice(dc, x, y, w, h, 0, 0, 0, h, pixels, info, DIB_RGB_COLORS);
        return;
    }
    // Halftone averages the source pixels under each device pixel: smooth edges, no blocks.
    int old_mode = SetStretchBltMode(dc, HALFTONE);
    POINT old_origin;
    SetBrushOrgEx(dc, 0, 0, &old_origin);
    StretchDIBits(dc, scaled(x), scaled(y), scaled(x + w) - scaled(x), scaled(y + h) - scaled(y), 0, 0, w, h,
                  pixels, info, DIB_RGB_COLORS, SRCCOPY);
    SetBrushOrgEx(dc, old_origin.x, old_origin.y, nullptr);
    SetStretchBltMode(dc, old_mode);
}
