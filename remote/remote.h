// Remote assistance: the channel, the consent dialog, screen frames and input, and teardown.
#pragma once

#include <windows.h>
#include "answer.h"

// What the rest of the program calls: the timer-3 tick, the customer's end of a remote session, and
// the local reset that runs whenever the session view opens, switches or closes. The tick and the
// disconnect are given the open ticket and the credentials the channel's requests carry; the consent
// dialog's answer uses the same.
void remote_tick(int ticket, const char *csrf, const char *token);
void remote_disconnect(int ticket, const char *csrf, const char *token);
void remote_reset();


// Shared by the files of this folder (and read by the tests).
extern char remote_state[20], remote_id[40], offered[40], approved[40];
// Whether frames stream (timer 3 every 350 ms instead of 700 ms), and how many times Windows refused
// injected commands (the window's title says so).
extern int fast_remote_timer, remote_refusals;
extern HWND consent_window;
// The technician the consent dialog last named, as the status line gave it: the bar names them too.
extern char technician[250];
extern HDC capture_dc;
extern HBITMAP capture_bitmap, capture_old;
extern void *capture_pixels;
extern int capture_width, capture_height;
// Screen rows per BitBlt once the session's first frames chose (the whole height or a band); 0 before.
extern int capture_rows;
extern unsigned short frame_pixels[640 * 360];

enum { frame_bytes = 640 * 360 * 2, fast_period = 350, slow_period = 700 };

// The customer's side of a streaming session: the bar over the shared screen (bar.cpp), and what the
// frame step (frames.cpp) takes from it and tells it. All of it goes back to its start at remote_reset.
extern HWND remote_bar;
// 1 while the customer has paused the session from the bar: the frames show no screen and the
// technician's commands are not applied.
extern int remote_paused;
// The monitor the frames show: 0 the primary, then the others in the order Windows lists them.
extern int remote_screen;
// What the frame step last found on the screen it shows.
enum screen_condition { screen_open, screen_protected, screen_elevated };
extern int remote_condition;
// Makes the bar at a session's first frame and, at every later one, brings it in line with the state
// above (its texts, its monitor); it never takes the focus. close_bar destroys it.
void show_bar();
void close_bar();
// The monitors the frames can show (screens.cpp): how many, and one's rectangle in virtual-screen
// pixels; index 0 is the primary, and an index past the last gives the primary.
int screen_count();
RECT screen_rect(int index);
// The calling thread in physical pixels (per-monitor aware) where Windows has the call, until
// end_physical_view is given what this returned.
HANDLE physical_view();
void end_physical_view(HANDLE old);
// 0 while the input goes to a desktop other than the customer's own (a UAC prompt's secure desktop,
// Ctrl+Alt+Del, the lock screen), which the program cannot read.
int customers_desktop();
// 1 when the window's process runs at a higher integrity level than the program: Windows then drops
// the program's input to it without saying so.
int above_program(HWND w);

// The session the channel's requests serve, the ticket of it, and the end of a remote session with a
// notice to the server when one was pending or accepted.
void remote_use(int ticket, const char *csrf, const char *token);
int remote_ticket();
void end_remote_session();
int remote_call(const char *action, const void *frame);
void remote_speed(int fast);
void show_consent(const char *name);
void close_consent();
int consent_key(const MSG *m);
LRESULT CALLBACK consent_proc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam);
// 1 when the frame holds the shown monitor, 0 when the screen could not be read, -1 when the capture
// objects could not be made and the session ended.
int capture_screen();
void drop_capture();
// What the frame step keeps for the session beyond the screen's copy (which a monitor of another size
// makes again): the notices' drawing objects, the last picture, what the technician last saw.
// remote_reset lets go of it.
void drop_frame_drawing();
// 32-bit screen pixels (rows top first, no padding) averaged down to a 640 x 360 frame in 5-5-5.
void reduce_frame(const unsigned *pixels, int width, int height, unsigned short *out);
int send_frame();
int remote_inputs(const char *verb, unsigned first, unsigned second, INPUT *out);
void apply_commands();
