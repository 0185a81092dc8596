// The bar over the shared screen while frames stream: where it stands and what it says, that it is in
// the frames, that its buttons act on a real click without taking the keyboard from the customer's
// program, and that every end of the session takes it away with all it made.
#include "harness.h"
#include "gdi_count.h"
#include "../remote/remote.h"

namespace {

const char poll_path[] = "/suporte/api/remoto/cliente?formato=texto&chamado=42";
const char frame_path[] = "/suporte/api/remoto/cliente?formato=texto&chamado=42&fluxo=1&pedido=p-1";
const wchar_t watching[] = L"O técnico Rafael Souza está vendo e controlando seu computador";
enum { switch_id = 1, pause_id = 2, end_id = 3 };

// Timer 3 is only recorded, never armed: the tests tick it by hand.
decltype(&SetTimer) real_set_timer;
UINT_PTR WINAPI held_timer(HWND h, UINT_PTR id, UINT ms, TIMERPROC f) {
    return h == window && id == remote_timer ? id : real_set_timer(h, id, ms, f);
}

// Request p-1 accepted (again, after a reset): the next tick streams.
void accepted() {
    strcpy(remote_id, "p-1"), strcpy(offered, "p-1"), strcpy(approved, "p-1"), strcpy(remote_state, "ACEITO");
    script("POST", frame_path, 200, "", -1, nullptr);
}

// Rafael Souza's request p-1 accepted in the consent dialog and confirmed: the next tick sends the
// first frame.
void begin() {
    signed_in();
    if (!real_set_timer) real_set_timer = (decltype(&SetTimer))swap_import("user32.dll", "SetTimer", (void *)held_timer);
    fake_reset();
    chat_ticket = 42;
    strcpy(account_token, "tok");
    strcpy(csrf, "c$1");
    present();
    remote_reset();
    script("GET", poll_path, 200, "HALVOREN-REMOTE/1 PENDENTE p-1\nRafael Souza", -1, nullptr);
    tick(remote_timer);
    script("POST", poll_path, 200, "", -1, nullptr);
    REQUIRE(consent_window);
    SendMessageW(consent_window, WM_COMMAND, 1, 0);
    script("GET", poll_path, 200, "HALVOREN-REMOTE/1 ACEITO p-1", -1, nullptr);
    script("POST", frame_path, 200, "", -1, nullptr);
    tick(remote_timer);
    REQUIRE((fast_remote_timer && !remote_bar));
}

// The customer's program in front with the keyboard, away from the bar: a field of its own.
HWND program;
void customer_program() {
    if (!program)
        program = CreateWindowExW(0, L"EDIT", L"", WS_POPUP | WS_VISIBLE | WS_BORDER, 40, 560, 300, 30, nullptr,
                                  nullptr, nullptr, nullptr);
    SetForegroundWindow(program);
    SetFocus(program);
    REQUIRE(wait_until([] { return GetForegroundWindow() == program && GetFocus() == program; }));
}
bool program_keeps_the_keyboard() {
    flush_events(300);
    return GetForegroundWindow() == program && GetFocus() == program;
}

HWND bar_child(int id) { return GetDlgItem(remote_bar, id); }
HWND bar_message() { return GetWindow(remote_bar, GW_CHILD); }
RECT rect_of(HWND w) {
    RECT r;
    GetWindowRect(w, &r);
    return r;
}

// A click of the X server's own pointer in the middle of w.
void x_click(HWND w) {
    RECT r = rect_of(w);
    char command[100];
    snprintf(command, sizeof command, "xdotool mousemove %ld %ld click 1", (r.left + r.right) / 2, (r.top + r.bottom) / 2);
    REQUIRE(on_host(command));
}

// The share of the last uploaded frame's pixels over w's inside (a frame pixel in from each edge) that
// have the colour.
double in_frame(HWND w, COLORREF colour) {
    int n, found = 0, all = 0;
    const unsigned short *frame = (const unsigned short *)sent_body(&n);
    REQUIRE(n == 460800);
    RECT r = rect_of(w);
    int cx = GetSystemMetrics(SM_CXSCREEN), cy = GetSystemMetrics(SM_CYSCREEN);
    unsigned short want = (GetRValue(colour) >> 3) << 10 | (GetGValue(colour) >> 3) << 5 | GetBValue(colour) >> 3;
    for (int y = r.top * 360 / cy + 1; y < r.bottom * 360 / cy - 1; y++)
        for (int x = r.left * 640 / cx + 1; x < r.right * 640 / cx - 1; x++, all++) found += frame[y * 640 + x] == want;
    return all ? (double)found / all : 0;
}

// Nothing on the bar or the main window changes over three ticks of a steady state.
void steady_ticks() {
    tick(remote_timer);
    flush_events();
    record_window_changes();
    recording_changes = 1;
    for (int i = 0; i < 3; i++) tick(remote_timer);
    recording_changes = 0;
    if (changes_seen) MESSAGE("the first change: ", doctest::String(first_change), " (message ", first_message, ")");
    CHECK(changes_seen == 0);
}

// Two monitors side by side for the bar, whatever screens.cpp asks Windows: the program's own
// screen_count and screen_rect jump here, and the bar's monitor calls answer for the second one.
const HMONITOR second = (HMONITOR)0x5EC0;
int two_screens() { return 2; }
RECT two_screen_rect(int index) {
    int cx = GetSystemMetrics(SM_CXSCREEN), cy = GetSystemMetrics(SM_CYSCREEN);
    return index == 1 ? RECT{cx, 0, cx + 1024, 768} : RECT{0, 0, cx, cy};
}
decltype(&MonitorFromRect) real_monitor_from_rect;
HMONITOR WINAPI monitor_from_rect(const RECT *r, DWORD flags) {
    return r->left >= GetSystemMetrics(SM_CXSCREEN) ? second : real_monitor_from_rect(r, flags);
}
decltype(&GetMonitorInfoW) real_monitor_info;
BOOL WINAPI monitor_info(HMONITOR m, MONITORINFO *info) {
    if (m != second) return real_monitor_info(m, info);
    info->rcMonitor = two_screen_rect(1);
    // Its taskbar at the top.
    info->rcWork = info->rcMonitor;
    info->rcWork.top += 40;
    info->dwFlags = 0;
    return TRUE;
}
void jump(void *from, void *to) {
    unsigned char code[5] = {0xE9};
    int offset = (int)((char *)to - (char *)from - 5);
    memcpy(code + 1, &offset, 4);
    DWORD old;
    VirtualProtect(from, 5, PAGE_EXECUTE_READWRITE, &old);
    memcpy(from, code, 5);
    VirtualProtect(from, 5, old, &old);
    FlushInstructionCache(GetCurrentProcess(), from, 5);
}
void second_monitor() {
    jump((void *)&screen_count, (void *)&two_screens);
    jump((void *)&screen_rect, (void *)&two_screen_rect);
    real_monitor_from_rect =
        (decltype(&MonitorFromRect))swap_import("user32.dll", "MonitorFromRect", (void *)monitor_from_rect);
    real_monitor_info = (decltype(&GetMonitorInfoW))swap_import("user32.dll", "GetMonitorInfoW", (void *)monitor_info);
    REQUIRE((real_monitor_from_rect && real_monitor_info));
}

// Whether the bar stands at the top centre of the work area.
bool top_centre(RECT work) {
    RECT r = rect_of(remote_bar);
    bool there = r.top == work.top && abs(r.left + r.right - work.left - work.right) <= 1;
    if (!there) MESSAGE("the bar stands at ", r.left, ", ", r.top, " to ", r.right);
    return there;
}

RECT primary_work() {
    RECT work;
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
    return work;
}

} // namespace

TEST_CASE("the bar stands over the screen from the first frame, in the frames, and says who watches") {
    begin();
    customer_program();
    tick(remote_timer);
    REQUIRE(remote_bar);
    CHECK(IsWindowVisible(remote_bar));
    CHECK(program_keeps_the_keyboard());
    // A window of its own, above the others, out of the taskbar, never activated, owned by nobody.
    const LONG styles = WS_EX_TOPMOST | WS_EX_TOOLWINDOW | WS_EX_NOACTIVATE;
    CHECK(((GetWindowLongW(remote_bar, GWL_EXSTYLE) & styles) == styles && !GetWindow(remote_bar, GW_OWNER)));
    CHECK(top_centre(primary_work()));
    // What it says; each button is a button whose text is its caption, for a screen reader.
    CHECK(says(bar_message(), watching));
    const wchar_t *captions[3] = {L"Trocar de tela", L"Pausar", L"Encerrar acesso"};
    for (int id = switch_id; id <= end_id; id++) {
        wchar_t name[16];
        GetClassNameW(bar_child(id), name, 16);
        CHECK((_wcsicmp(name, L"Button") == 0 && says(bar_child(id), captions[id - 1])));
    }
    // Another screen to show only where there is one (tools/two-screens.sh runs this with two).
    CHECK((!IsWindowVisible(bar_child(switch_id)) == (screen_count() == 1) && IsWindowVisible(bar_child(pause_id))));
    // The technician sees it: the red of "Encerrar acesso" is in its place in the first frame already.
    CHECK(in_frame(bar_child(end_id), red_colour) > 0.6);
    review_from_x(rect_of(remote_bar), "bar");
    // An administrator's window in front: a warning strip under the row, in red on the tint.
    remote_condition = screen_elevated;
    show_bar();
    HWND warning = GetWindow(bar_message(), GW_HWNDNEXT);
    CHECK((IsWindowVisible(warning) && says(warning, L"Esta janela é de administrador: o Windows não deixa o técnico usá-la.")));
    review_from_x(rect_of(remote_bar), "bar-elevated");
    remote_condition = screen_open;
    show_bar();
    CHECK(!IsWindowVisible(warning));
    // The main window minimized takes nothing of it away.
    ShowWindow(window, SW_MINIMIZE);
    REQUIRE(wait_until([] { return IsIconic(window) != 0; }));
    tick(remote_timer);
    CHECK((IsWindowVisible(remote_bar) && in_frame(bar_child(end_id), red_colour) > 0.6));
    ShowWindow(window, SW_RESTORE);
}

TEST_CASE("a real click on the bar's buttons acts and leaves the foreground and the keyboard where they were") {
    begin();
    tick(remote_timer);
    REQUIRE(remote_bar);
    customer_program();
    x_click(bar_child(pause_id));
    CHECK(wait_until([] { return remote_paused == 1; }));
    CHECK((says(bar_message(), L"Acesso remoto pausado: o técnico não vê sua tela") && says(bar_child(pause_id), L"Continuar")));
    CHECK(program_keeps_the_keyboard());
    // The keys typed after the click still reach the customer's program.
    REQUIRE(on_host("xdotool type x"));
    CHECK(wait_until([] { return reads(program, L"x"); }));
    steady_ticks();
    x_click(bar_child(pause_id));
    CHECK(wait_until([] { return remote_paused == 0; }));
    CHECK((says(bar_message(), watching) && says(bar_child(pause_id), L"Pausar")));
    CHECK(program_keeps_the_keyboard());
    steady_ticks();
    // "Encerrar acesso" is "Desconectar remoto".
    script("POST", poll_path, 200, "", -1, nullptr);
    x_click(bar_child(end_id));
    CHECK(wait_until([] { return !remote_bar; }));
    CHECK(strcmp(sent_body(), "csrf=c%241&chamado=42&acao=desconectar&pedido=p-1") == 0);
    CHECK((!approved[0] && !IsWindowVisible(disconnect_button) && !fast_remote_timer));
    CHECK(program_keeps_the_keyboard());
}

TEST_CASE("with two monitors the bar changes screen, standing at the top centre of each, the primary first") {
    second_monitor();
    begin();
    tick(remote_timer);
    REQUIRE(remote_bar);
    CHECK(top_centre(primary_work()));
    // "Trocar de tela" comes first in the row, clear of the message and of "Pausar".
    HWND change = bar_child(switch_id);
    CHECK((IsWindowVisible(change) && rect_of(bar_message()).right <= rect_of(change).left &&
           rect_of(change).right <= rect_of(bar_child(pause_id)).left));
    customer_program();
    x_click(change);
    CHECK(wait_until([] { return remote_screen == 1; }));
    CHECK(program_keeps_the_keyboard());
    RECT work = two_screen_rect(1);
    work.top += 40;
    CHECK(top_centre(work));
    remote_paused = 1;
    steady_ticks();
    // The next is the first again.
    SendMessageW(change, BM_CLICK, 0, 0);
    CHECK((remote_screen == 0 && top_centre(primary_work())));
}

TEST_CASE("every end of the remote session takes the bar away, and ten sessions leave no GDI object") {
    begin();
    const char *ways[] = {"Desconectar remoto", "the status line", "the session view", "the window closing"};
    for (const char *way : ways) {
        CAPTURE(way);
        accepted();
        tick(remote_timer);
        HWND bar = remote_bar;
        REQUIRE(bar);
        if (way == ways[0]) command(disconnect_button_id);
        if (way == ways[1]) {
            script("POST", frame_path, 404, "", -1, nullptr);
            script("GET", poll_path, 200, "HALVOREN-REMOTE/1 ENCERRADO p-1", -1, nullptr);
            tick(remote_timer);
        }
        if (way == ways[2]) switch_session(43), switch_session(42);
        if (way == ways[3]) {
            // Ten sessions first: each bar's fonts and screen DCs go with it.
            remote_reset();
            gdi_calls = handle_calls = {};
            count_gdi_calls(1);
            count_handle_calls(1);
            for (int i = 0; i < 10; i++) {
                accepted();
                tick(remote_timer);
                REQUIRE(remote_bar);
                remote_reset();
            }
            count_gdi_calls(0);
            count_handle_calls(0);
            CHECK((gdi_calls.by_kind[7] == 20 && gdi_calls.made == gdi_calls.deleted));
            CHECK(handle_calls.by_kind[26] == handle_calls.by_kind[27]);
            accepted();
            tick(remote_timer);
            bar = remote_bar;
            SendMessageW(window, WM_CLOSE, 0, 0);
        }
        CHECK((!remote_bar && !IsWindow(bar)));
    }
}
