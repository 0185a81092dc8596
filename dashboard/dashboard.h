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

// One slide of the home tab's banner: a 431 x 77 picture under a title and two lines of text.
struct banner_slide {
    const unsigned char *pixels;
    const wchar_t *title, *line1, *line2;
};
extern const banner_slide banner_slides[3];
// Headers of the embedded pictures: the three banner photographs, the session header's brand mark and
// the side bar's brand mark.
extern const BITMAPINFOHEADER hero_bitmap, brand_bitmap, logo_bitmap;

void dashboard_balance(HDC dc, const RECT *r, HFONT f);
void dashboard_history(HDC dc, int units, int offset);
