// Remote assistance: the channel, the consent dialog, screen frames and input, and teardown.
#pragma once

#include <windows.h>

// What the rest of the program calls: the timer-3 tick, the customer's end of a remote session, and
// the local reset that the session view runs whenever it opens, switches or closes.
void remote_tick();
void remote_disconnect();
void remote_reset();

// Shared by the files of this folder (and read by the tests).
extern char remote_state[20], remote_id[40], offered[40], approved[40];
extern int fast_remote_timer;
extern HWND consent_window;
extern HDC capture_dc;
extern HBITMAP capture_bitmap, capture_old;
extern void *capture_pixels;
extern unsigned short frame_pixels[640 * 360];

enum { frame_bytes = 640 * 360 * 2, fast_period = 350, slow_period = 700 };

int remote_call(const char *action, const void *frame);
void remote_speed(int fast);
void show_consent(const char *name);
void close_consent();
LRESULT CALLBACK consent_proc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam);
int capture_screen();
int send_frame();
int remote_inputs(const char *verb, unsigned first, unsigned second, INPUT *out);
void apply_commands();
