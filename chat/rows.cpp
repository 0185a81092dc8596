// Measuring and painting the speech-bubble rows of the conversation list.
#include "rows.h"
#include "../base/ui.h"

// The bubble is 362 px wide at 96 DPI; its text is inset by 12 px on either side.
enum { bubble_width = 362, text_inset = 12, caption_height = 16 };

// Measured and drawn with the same width, so a row breaks its lines alike in both.
static int text_width() {
    return scaled(bubble_width) - 2 * scaled(text_inset);
}

// DT_WORDBREAK alone breaks only between words, so a word wider than the bubble (a row cut hard at
// 110 units is one) ran out of it under Wine; DT_EDITCONTROL breaks such a word inside the bubble.
static const UINT text_format = DT_WORDBREAK | DT_NOPREFIX | DT_EDITCONTROL;

// The units drawn: a row cut after a line feed would otherwise end in an empty line.
static int drawn_units(const chat_row *row) {
    int n = row->length;
    return n > 1 && row->text[n - 1] == L'\n' ? n - 1 : n;
}

void chat_measure_row(MEASUREITEMSTRUCT *item) {
    // The list keeps strings for screen readers, so the item data is not yet set when a row is added
    // and measured: the row is found by its place, which is its index in chat_rows.
    const chat_row *row = item->itemID < (UINT)chat_row_count ? &chat_rows[item->itemID] : nullptr;
    if (!row) {
        item->itemHeight = (UINT)scaled(26);
        return;
    }
    HDC dc = GetDC(window);
    HGDIOBJ old_font = SelectObject(dc, font);
    RECT r = {0, 0, text_width(), 0};
    DrawTextW(dc, row->text, drawn_units(row), &r, text_format | DT_CALCRECT);
    SelectObject(dc, old_font);
    ReleaseDC(window, dc);
    // Caption strip, top inset and the bubble's margin below the text.
    item->itemHeight = (UINT)(r.bottom - r.top + scaled(40));
}

void chat_draw_row(const DRAWITEMSTRUCT *item) {
    HDC dc = item->hDC;
    const RECT &cell = item->rcItem;
    FillRect(dc, &cell, paper_brush);
    const chat_row *row = (const chat_row *)item->itemData;
    if (item->itemID == (UINT)-1 || !row) return;

    int technician = row->side == 0;
    RECT bubble;
    bubble.left = technician ? cell.left + scaled(2) : cell.right - scaled(370);
    bubble.right = bubble.left + scaled(bubble_width);
    bubble.top = cell.top + scaled(caption_height);
    bubble.bottom = cell.bottom - scaled(5);
    rounded(dc, &bubble, technician ? header_brush : tint_brush, 14);

    SetBkMode(dc, TRANSPARENT);
    HGDIOBJ old_font = SelectObject(dc, small_font);
    SetTextColor(dc, muted_text);
    RECT caption = {bubble.left + scaled(3), cell.top, bubble.right, bubble.top};
    DrawTextW(dc, technician ? L"TÉCNICO" : L"VOCÊ", -1, &caption, DT_SINGLELINE | DT_NOPREFIX);

    SelectObject(dc, font);
    SetTextColor(dc, dark_text);
    RECT text = {bubble.left + scaled(text_inset), bubble.top + scaled(7), 0, bubble.bottom};
    text.right = text.left + text_width();
    DrawTextW(dc, row->text, drawn_units(row), &text, text_format);
    SelectObject(dc, old_font);
}
