// The bar the customer sees while frames stream: who is watching, and pause, another monitor or the end
// of the access from wherever the customer is. A top-most window of its own at the top centre of the
// monitor the frames show, part of every frame (the technician sees it too). It has no owner, since an
// owned window hides with its minimized owner, and it is never active: the keys the technician types go
// on reaching the customer's program.
#include "remote.h"
#include "../base/ui.h"

HWND remote_bar;
int remote_paused, remote_screen, remote_condition;

enum { switch_id = 1, pause_id = 2, end_id = 3 };

static const wchar_t *const captions[3] = {L"Trocar de tela", L"Pausar", L"Encerrar acesso"};
static const wchar_t resume_caption[] = L"Continuar", paused_text[] = L"Acesso remoto pausado: o técnico não vê sua tela",
                     elevated_text[] = L"Esta janela é de administrador: o Windows não deixa o técnico usá-la.";
static wchar_t watching_text[250];

// The bar's children, its fonts made for its own DPI (its monitor's, not the main window's), and what
// it shows now, so that a frame whose state did not change changes nothing on it.
static HWND message, warning, buttons[3];
static HFONT text_font, button_font;
static int bar_dpi;
static struct {
    int paused, condition, screen, screens;
} shown;
static WNDPROC button_procedure;

// 96-DPI geometry: a 44-high row with the dot, the message and 30-high buttons 7 from the edges; under
// it, while an administrator's window is in front, a 28-high warning strip.
enum { row_height = 44, button_height = 30, edge = 7, dot = 10, text_left = 36, warning_height = 28 };

static int px(int length) { return scaled_for(length, bar_dpi); }

static int text_width(HFONT f, const wchar_t *text) {
    HDC dc = GetDC(remote_bar);
    HGDIOBJ old = SelectObject(dc, f);
    SIZE s = {0, 0};
    GetTextExtentPoint32W(dc, text, lstrlenW(text), &s);
    SelectObject(dc, old);
    ReleaseDC(remote_bar, dc);
    return s.cx;
}

static int larger(int a, int b) { return a > b ? a : b; }

static void move(HWND w, int x, int y, int width, int height) {
    SetWindowPos(w, nullptr, x, y, width, height, SWP_NOZORDER | SWP_NOACTIVATE);
}

// Places the children for the bar's DPI and returns the bar's size, at most `room` wide. The width holds
// the longer of each pair of texts, so nothing moves under the mouse when "Pausar" becomes "Continuar"
// or the warning comes and goes; on a narrow monitor the message gives way (it ends in an ellipsis).
static SIZE lay_out(int room) {
    int widths[3];
    for (int i = 0; i < 3; i++) widths[i] = text_width(button_font, captions[i]) + px(32);
    widths[1] = larger(widths[1], text_width(button_font, resume_caption) + px(32));
    int switching = shown.screens > 1;
    int right = widths[1] + px(8) + widths[2] + (switching ? widths[0] + px(8) : 0) + px(edge);
    int text = larger(text_width(text_font, watching_text), text_width(text_font, paused_text));
    int width = larger(px(text_left) + text + px(20) + right, px(text_left) + text_width(button_font, elevated_text) + px(16));
    if (width > room) width = room;
    int y = (px(row_height) - px(button_height)) / 2, x = width - px(edge);
    for (int i = 2; i >= 0; i--) {
        if (i == 0 && !switching) break;
        x -= widths[i];
        move(buttons[i], x, y, widths[i], px(button_height));
        x -= px(8);
    }
    // Inside the border, which it would otherwise paint over.
    move(message, px(text_left), px(1), larger(width - right - px(20) - px(text_left), 0), px(row_height) - 2 * px(1));
    int height = px(row_height) + (shown.condition == screen_elevated ? px(warning_height) : 0);
    // The strip runs from the row's end to the border.
    move(warning, px(text_left), px(row_height), width - px(text_left) - px(16), height - px(1) - px(row_height));
    return {width, height};
}

// The top centre of the work area of the monitor the frames show.
static void place_bar() {
    RECT screen = screen_rect(remote_screen);
    MONITORINFO monitor = {sizeof monitor, {}, {}, 0};
    if (!GetMonitorInfoW(MonitorFromRect(&screen, MONITOR_DEFAULTTOPRIMARY), &monitor))
        monitor.rcMonitor = monitor.rcWork = screen;
    const RECT &work = monitor.rcWork;
    RECT now;
    GetWindowRect(remote_bar, &now);
    // Onto that monitor first: one of another scale sends WM_DPICHANGED, which lays the bar out for it.
    POINT corner = {now.left, now.top};
    if (!PtInRect(&monitor.rcMonitor, corner))
        SetWindowPos(remote_bar, nullptr, work.left, work.top, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    SIZE s = lay_out(work.right - work.left);
    move(remote_bar, work.left + (work.right - work.left - s.cx) / 2, work.top, s.cx, s.cy);
}

// Fonts for the bar's DPI; those they replace go once no child holds them.
static void make_fonts() {
    HFONT old[2] = {text_font, button_font};
    text_font = ui_font(-12, 400, bar_dpi);
    button_font = ui_font(-12, 600, bar_dpi);
    SendMessageW(message, WM_SETFONT, (WPARAM)text_font, 1);
    SendMessageW(warning, WM_SETFONT, (WPARAM)button_font, 1);
    for (HWND b : buttons) SendMessageW(b, WM_SETFONT, (WPARAM)button_font, 1);
    for (HFONT f : old)
        if (f) DeleteObject(f);
}

static HWND bar_child(const wchar_t *class_name, const wchar_t *text, DWORD style, int id) {
    return CreateWindowExW(0, class_name, text, style | WS_CHILD, 0, 0, 0, 0, remote_bar, (HMENU)(INT_PTR)id,
                           GetModuleHandleW(nullptr), nullptr);
}

static LRESULT CALLBACK bar_button(HWND b, UINT m, WPARAM w, LPARAM l);
LRESULT CALLBACK bar_proc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam);

static void make_bar() {
    register_class(L"HalvorenRemoteBar", bar_proc);
    RECT screen = screen_rect(remote_screen);
    // Born on its monitor, so that its DPI is that monitor's from the start.
    remote_bar = CreateWindowExW(WS_EX_TOPMOST | WS_EX_TOOLWINDOW | WS_EX_NOACTIVATE, L"HalvorenRemoteBar",
                                 L"Acesso remoto", WS_POPUP | WS_CLIPCHILDREN, screen.left, screen.top, 1, 1,
                                 nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
    if (!remote_bar) return;
    bar_dpi = dpi_of(remote_bar);
    char text[250] = {};
    append(text, sizeof text, "O técnico ");
    append(text, sizeof text, technician);
    append(text, sizeof text, " está vendo e controlando seu computador");
    convert(text, watching_text, 250);
    // The technician's name is the server's text: an "&" in it is a character, not a mnemonic.
    message = bar_child(L"STATIC", watching_text, WS_VISIBLE | SS_NOPREFIX | SS_CENTERIMAGE | SS_ENDELLIPSIS, 0);
    warning = bar_child(L"STATIC", elevated_text, SS_NOPREFIX | SS_CENTERIMAGE | SS_ENDELLIPSIS, 0);
    for (int i = 0; i < 3; i++) {
        buttons[i] = bar_child(L"BUTTON", captions[i], BS_OWNERDRAW | (i ? WS_VISIBLE : 0), switch_id + i);
        button_procedure = (WNDPROC)SetWindowLongPtrW(buttons[i], GWLP_WNDPROC, (LONG_PTR)bar_button);
    }
    make_fonts();
    shown = {-1, -1, -1, -1};
}

void show_bar() {
    int first = !remote_bar;
    if (first) make_bar();
    if (!remote_bar) return;
    int screens = screen_count();
    if (remote_paused == shown.paused && remote_condition == shown.condition && remote_screen == shown.screen &&
        screens == shown.screens)
        return;
    if (remote_paused != shown.paused) {
        SetWindowTextW(message, remote_paused ? paused_text : watching_text);
        SetWindowTextW(buttons[1], remote_paused ? resume_caption : captions[1]);
    }
    ShowWindow(warning, remote_condition == screen_elevated ? SW_SHOWNA : SW_HIDE);
    ShowWindow(buttons[0], screens > 1 ? SW_SHOWNA : SW_HIDE);
    shown = {remote_paused, remote_condition, remote_screen, screens};
    place_bar();
    if (!first) return;
    ShowWindow(remote_bar, SW_SHOWNOACTIVATE);
    // Painted now: the frame taken next shows it. Wine paints windows into memory of its own and hands
    // that to the X server when the thread next looks at its queue, so this looks (and takes nothing).
    RedrawWindow(remote_bar, nullptr, nullptr, RDW_UPDATENOW | RDW_ALLCHILDREN);
    MSG m;
    PeekMessageW(&m, nullptr, 0, 0, PM_NOREMOVE);
}

void close_bar() {
    HWND w = remote_bar;
    remote_bar = nullptr;
    if (w) DestroyWindow(w);
}

// The flat style's buttons at the bar's DPI: "Encerrar acesso" red, the others light.
static void draw_button(const DRAWITEMSTRUCT *item) {
    int primary = item->CtlID == end_id, pressed = (item->itemState & ODS_SELECTED) != 0;
    FillRect(item->hDC, &item->rcItem, paper_brush);
    HBRUSH fill = primary ? (pressed ? pressed_brush : red_brush) : (pressed ? border_brush : header_brush);
    rounded_for(item->hDC, &item->rcItem, fill, 14, bar_dpi);
    wchar_t text[32];
    GetWindowTextW(item->hwndItem, text, 32);
    dashboard_text(item->hDC, text, button_font, primary ? white_text : dark_text, &item->rcItem, 1);
}

// A thin border on the white paper, the red dot of a live session (two bars while paused), and the
// warning's tinted strip.
static void paint_bar(HWND hwnd, HDC dc) {
    RECT r;
    GetClientRect(hwnd, &r);
    FillRect(dc, &r, border_brush);
    InflateRect(&r, -px(1), -px(1));
    FillRect(dc, &r, paper_brush);
    if (shown.condition == screen_elevated) {
        RECT strip = {r.left, px(row_height), r.right, r.bottom};
        FillRect(dc, &strip, tint_brush);
    }
    int top = (px(row_height) - px(dot)) / 2, left = px(16);
    if (!shown.paused) {
        RECT spot = {left, top, left + px(dot), top + px(dot)};
        rounded_for(dc, &spot, red_brush, dot, bar_dpi);
        return;
    }
    for (int i = 0; i < 2; i++) {
        RECT stroke = {left + px(1 + 5 * i), top, left + px(4 + 5 * i), top + px(dot)};
        FillRect(dc, &stroke, side_brush);
    }
}

// A standard button takes the focus when it is pressed, and taking the focus activates its top-level
// window (SetFocus does, on Windows and in Wine): the customer's program would lose the keyboard to the
// bar. These buttons press, follow the mouse and click without it. BM_CLICK, which screen readers
// send, comes as a press and a release at the button's corner and clicks the same way.
static int pushed(HWND b) { return (SendMessageW(b, BM_GETSTATE, 0, 0) & BST_PUSHED) != 0; }

static int inside(HWND b, LPARAM l) {
    RECT r;
    GetClientRect(b, &r);
    POINT at = {(short)LOWORD(l), (short)HIWORD(l)};
    return PtInRect(&r, at);
}

static LRESULT CALLBACK bar_button(HWND b, UINT m, WPARAM w, LPARAM l) {
    switch (m) {
        case WM_LBUTTONDOWN:
        case WM_LBUTTONDBLCLK:
            SetCapture(b);
            SendMessageW(b, BM_SETSTATE, TRUE, 0);
            return 0;
        case WM_MOUSEMOVE:
            if (GetCapture() == b && pushed(b) != inside(b, l)) SendMessageW(b, BM_SETSTATE, inside(b, l), 0);
            return 0;
        case WM_LBUTTONUP:
            if (GetCapture() != b) return 0;
            ReleaseCapture();
            // The command may end the session and destroy the bar with this button: nothing after it.
            if (inside(b, l)) SendMessageW(GetParent(b), WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(b), BN_CLICKED), (LPARAM)b);
            return 0;
        case WM_CAPTURECHANGED:
            if (pushed(b)) SendMessageW(b, BM_SETSTATE, FALSE, 0);
            return 0;
    }
    return CallWindowProcW(button_procedure, b, m, w, l);
}

static void clicked(int id) {
    if (id == end_id) {
        // As the main window's "Desconectar remoto": routing runs it under its busy guard.
        SendMessageW(window, WM_COMMAND, MAKEWPARAM(disconnect_button_id, BN_CLICKED), 0);
        return;
    }
    if (id == pause_id) remote_paused = !remote_paused;
    if (id == switch_id) remote_screen = (remote_screen + 1) % larger(screen_count(), 1);
    show_bar();
    InvalidateRect(remote_bar, nullptr, 1);
}

LRESULT CALLBACK bar_proc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
    switch (message) {
        // A click never activates it. WS_EX_NOACTIVATE says so to Windows, which still asks here when
        // windows activate on hover; Wine 8 asks here on every click and activates on anything else.
        case WM_MOUSEACTIVATE: return MA_NOACTIVATE;
        case WM_PAINT: {
            PAINTSTRUCT ps;
            HDC dc = BeginPaint(hwnd, &ps);
            paint_bar(hwnd, dc);
            EndPaint(hwnd, &ps);
            return 0;
        }
        case WM_CTLCOLORSTATIC: {
            int strip = (HWND)lparam == warning;
            SetTextColor((HDC)wparam, strip ? red_text : dark_text);
            SetBkColor((HDC)wparam, strip ? tint_colour : paper_colour);
            return (LRESULT)(strip ? tint_brush : paper_brush);
        }
        case WM_DRAWITEM: draw_button((const DRAWITEMSTRUCT *)lparam); return 1;
        case WM_COMMAND: clicked(LOWORD(wparam)); return 0;
        // Its monitor changed scale, or it went to a monitor of another: fonts and geometry for the new
        // DPI, at the top centre of that monitor.
        case WM_DPICHANGED:
            bar_dpi = HIWORD(wparam);
            make_fonts();
            place_bar();
            return 0;
        // The children are gone by now: nothing holds the fonts.
        case WM_NCDESTROY:
            DeleteObject(text_font);
            DeleteObject(button_font);
            text_font = button_font = nullptr;
            if (remote_bar == hwnd) remote_bar = nullptr;
            break;
    }
    return DefWindowProcW(hwnd, message, wparam, lparam);
}
