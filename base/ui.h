// The lowest layer's window side: the ids of the main window's controls, commands and timers, the
// palette, the fonts, brushes and control handles that start-up makes, and the window, drawing and
// clock helpers that every folder uses. It includes nothing of the program above it.
#pragma once

#include <windows.h>
#include "text.h"

// Control ids; a button's id is also the command it sends.
enum control_id {
    action_id = 1,             // "Entrar" / "Solicitar suporte" / "Cancelar chamado"
    eye_id = 2,                // show or hide the password
    chat_send_id = 3,
    login_header_id = 4,       // the session view's dark header
    status_badge_id = 5,
    chat_history_id = 6,
    ticket_action_id = 7,      // "Desconectar": close the ticket
    disconnect_button_id = 8,  // "Desconectar remoto"
    elapsed_label_id = 16,
    banner_id = 18,
    buy_button_id = 19,
    account_switch_id = 20,
    first_tab_id = 30,         // 30, 31, 32: the tabs
    first_package_id = 33,     // 33, 34, 35: the package buttons
    banner_cta_id = 36,
    // Not a control: the consent dialog tells the main window with it that the customer answered.
    consent_answered_id = 40,
};

// Timer ids of the main window.
enum timer_id {
    queue_timer = 1,
    chat_timer = 2,
    remote_timer = 3,
    elapsed_timer = 4,
    banner_timer = 6,
    presence_timer = 7,
};

// The palette: every colour the program paints or writes with.
enum : COLORREF {
    paper_colour = RGB(0xFF, 0xFF, 0xFF),
    header_colour = RGB(0xF6, 0xEE, 0xEE),
    red_colour = RGB(0xBD, 0x11, 0x20),
    pressed_colour = RGB(0x93, 0x0B, 0x18),
    tint_colour = RGB(0xFC, 0xE7, 0xE9),
    border_colour = RGB(0xE5, 0xD4, 0xD6),
    side_colour = RGB(0x16, 0x1A, 0x20),
    session_header_colour = RGB(0x22, 0x23, 0x26),
    dark_text = RGB(0x21, 0x19, 0x1A),
    muted_text = RGB(0x69, 0x52, 0x55),
    red_text = red_colour,
    white_text = RGB(0xFF, 0xFF, 0xFF),
    disabled_text = RGB(0xA7, 0xA9, 0xAA),
    online_text = RGB(0x20, 0x70, 0x3A),
};

// Fonts and brushes, created once at start-up and deleted at exit.
extern HFONT small_font, font, strong_font, heading_font, dashboard_font, price_font;
extern HBRUSH paper_brush, header_brush, red_brush, pressed_brush, tint_brush, border_brush, side_brush;

// The main window and every child control; none is created or destroyed after start-up.
extern HWND window;
extern HWND login_header, info, user_label, pass_label, loginName, loginPass, eye, description_hint, problem,
    action, account_switch, chat_heading, elapsed_label, status_badge, chat_title, chat_history, chat_input,
    chat_send, ticket_action, banner, buy_button, disconnect_button, banner_cta;
extern HWND navigation[3], package_buttons[3];

// The control to give the keyboard to when the presenter runs next (null: leave the focus alone).
extern HWND wanted_focus;

// UTF-8 to UTF-16; text that does not fit becomes empty (0), else the units written with the terminator.
int convert(const char *src, wchar_t *dst, int size);

// The main window's DPI: 96 until start-up reads it, then what its monitor runs at. The program's
// geometry is written for 96 DPI; the placing, sizing and drawing helpers turn it into pixels here.
extern int ui_dpi;
// A window's DPI: GetDpiForWindow where the system has it, else the screen's LOGPIXELSX.
int dpi_of(HWND w);
// A 96-DPI length in the main window's pixels, and in the pixels of a given DPI (a window of a feature
// on another monitor).
int scaled(int length);
int scaled_for(int length, int dpi);
// "Segoe UI" of a 96-DPI character height and a weight, made for a given DPI; the caller deletes it.
HFONT ui_font(int height, int weight, int dpi);
RECT scaled_rect(int left, int top, int right, int bottom);

// Window helpers.
void show(HWND w, const char *text);
int read(HWND w, char *dst, int size);
HWND child(HWND parent, const wchar_t *class_name, const wchar_t *text, DWORD style, int x, int y, int w, int h,
           int id);
HWND control(const wchar_t *class_name, const wchar_t *text, DWORD style, int x, int y, int w, int h, int id);
void register_class(const wchar_t *name, WNDPROC procedure);
void hide(HWND w);
void place(HWND w, int x, int y, int width, int height);
// The same at a given DPI, for the children of a feature's own window; not remembered for place_again.
void place_for(HWND w, int x, int y, int width, int height, int dpi);
// Places every child of parent again where child() or place() last put it, for a new ui_dpi.
void place_again(HWND parent);
// Gives w the outer size whose client area is the 96-DPI one (width x height outside) scaled.
void size_window(HWND w, int width, int height);
void size_window_for(HWND w, int width, int height, int dpi);
// Repaints a 96-DPI area of the main window.
void repaint_area(const RECT *area);
// Gives the main window its size, minimized or not; with keep_on_screen, inside its monitor's work area.
void resize_window(int width, int height, int keep_on_screen);
void pop(const char *text);
// Places a window of the program centred over the main window, on its monitor's work area.
void centre_over_window(HWND w);
// Flashes the main window's taskbar button when the customer is in another program.
void call_attention();
// Drops the keys and mouse input queued meanwhile: they were aimed at a screen that a customer's
// exchange has since changed (the second click of a double click would hit the button's new caption).
void drop_queued_input();

// The colours of the edits and labels: dark text on white, the chat input on its tint.
LRESULT control_colours(HDC dc, HWND control);

// The system time as a FILETIME count (100 ns units since 1601).
unsigned long long clock_now();

// The flat style's drawing primitives; each selects, draws and restores.
// Rectangles are in device pixels; radii, like every other length, in 96-DPI units.
void rounded(HDC dc, const RECT *r, HBRUSH brush, int radius);
// The same with the radius scaled for a given DPI (a feature's window on another monitor).
void rounded_for(HDC dc, const RECT *r, HBRUSH brush, int radius, int dpi);
void dashboard_card(HDC dc, const RECT *r, int highlighted);
void dashboard_text(HDC dc, const wchar_t *text, HFONT f, COLORREF colour, const RECT *r, int align);
// An embedded top-down 32-bit picture of w x h at (x, y), both in 96-DPI units.
void picture(HDC dc, int x, int y, int w, int h, const void *pixels, const BITMAPINFOHEADER *header);

// A DLL outside the six the program imports, loaded from System32 alone (null when it is not there).
HMODULE system_library(const wchar_t *name);
