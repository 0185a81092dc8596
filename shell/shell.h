// The application shell: the main window, its controls, fonts and brushes, the busy guard and the
// text and window helpers that every other folder uses.
#pragma once

#include <windows.h>

// The test build lays some fixed buffers out between guard bytes (tests/guards.cpp) so that a write
// past either end shows; in the program itself this is nothing.
#ifdef GUARD_BYTES
#define guard_zone(name) __attribute__((section(".data$guard_" #name "_b")))
#else
#define guard_zone(name)
#endif

// Fonts and brushes, created once at start-up and deleted at exit.
extern HFONT small_font, font, strong_font, heading_font, dashboard_font, price_font;
extern HBRUSH paper_brush, header_brush, red_brush, pressed_brush, tint_brush, border_brush, side_brush;

// The main window and its connection to the support server (null when WinHTTP could not be opened).
extern HWND window;
extern void *connection;

// Every child control; none is created or destroyed after start-up.
extern HWND login_header, info, user_label, pass_label, loginName, loginPass, eye, description_hint, problem,
    action, account_switch, chat_heading, elapsed_label, status_badge, chat_title, chat_history, chat_input,
    chat_send, ticket_action, banner, buy_button, disconnect_button, banner_cta;
extern HWND navigation[3], package_buttons[3];

// Set around every handler that talks to the server, so re-entrant ticks and commands drop out.
extern int busy;
// Credits bought by the three package buttons.
extern const int packages[3];

// Timer ids of the main window.
enum {
    queue_timer = 1,
    chat_timer = 2,
    remote_timer = 3,
    elapsed_timer = 4,
    banner_timer = 6,
    presence_timer = 7,
};

// Start-up, the message loop and the exit path, kept apart so tests can build the window without a loop.
int start_up();
int loop_message(MSG *message);
void message_loop();
// Drops the keys and mouse input queued meanwhile: they were aimed at a screen that a customer's
// exchange has since changed (the second click of a double click would hit the button's new caption).
void drop_queued_input();
void shut_down();
LRESULT CALLBACK procedure(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam);

// Routing of commands and timer ticks (the cases of the window procedure).
LRESULT route_command(HWND hwnd, WPARAM wparam, LPARAM lparam);
LRESULT route_timer(HWND hwnd, WPARAM wparam, LPARAM lparam);
LRESULT control_colours(HDC dc, HWND control);

// Text helpers: NUL-terminated UTF-8 in fixed buffers; sizes include the terminator.
int length(const char *s);
int equal(const char *a, const char *b);
const char *find(const char *s, const char *t);
void append(char *dst, int size, const char *src);
void copy_to(char *dst, int size, const char *src, char stop);
void integer_text(char *dst, int value);
// Zeroes a buffer that held a secret; the stores are never optimised away.
void erase_secret(void *buffer, int size);
int starts_with(const wchar_t *s, const wchar_t *p);
int convert(const char *src, wchar_t *dst, int size);

// Window helpers.
void show(HWND w, const char *text);
int read(HWND w, char *dst, int size);
HWND control(const wchar_t *class_name, const wchar_t *text, DWORD style, int x, int y, int w, int h, int id);
void hide(HWND w);
void place(HWND w, int x, int y, int width, int height);
// Gives the main window its size, minimized or not; with keep_on_screen, inside its monitor's work area.
void resize_window(int width, int height, int keep_on_screen);
void pop(const char *text);
