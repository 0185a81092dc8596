// The dashboard: which tab shows, the painting of the main window, the owner-drawn controls and the
// banner slides. It paints what the board says; the app fills the board in from the other folders'
// state before each paint.
#pragma once

#include <windows.h>

enum dashboard_tab_id { home_tab = 0, credits_tab = 1, history_tab = 2 };
extern int dashboard_tab;
extern int banner_index;

// What the painting shows of the rest of the program.
struct dashboard_board {
    int session;  // a ticket's session view is open
    int logged, balance_known, balance, waiting, recent_ticket, recent_cancelled;
    int presence;  // 1 online, 0 offline, -1 unknown
    int password_shown;
};
extern dashboard_board board;

// Where the balance and the last ticket are painted on each tab (empty where a tab has none).
extern const RECT balance_areas[3], history_areas[3];
extern const RECT presence_area;

void paint_window(HDC dc);
void draw_control(const DRAWITEMSTRUCT *item);
void draw_field(HWND main, HDC dc, HWND edit);
void dashboard_open(int tab);

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
