// The dashboard: tabs and layout, painting of the main window, owner-drawn controls and banner slides.
#pragma once

#include <windows.h>

extern int dashboard_tab;
extern int banner_index;

void paint_window(HDC dc);
void draw_control(const DRAWITEMSTRUCT *item);
void draw_field(HWND main, HDC dc, HWND edit);
void rounded(HDC dc, const RECT *r, HBRUSH brush, int radius);
void dashboard_card(HDC dc, const RECT *r, int highlighted);
void dashboard_text(HDC dc, const wchar_t *text, HFONT f, COLORREF colour, const RECT *r, int align);
void dashboard_show();
void dashboard_open(int tab);
void refresh_dashboard_size();
void account_dashboard_update(int balance_changed, int history_changed);
