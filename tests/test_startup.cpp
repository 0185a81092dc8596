// Start-up: the fonts, the main window and the exact table of child controls.
#include "harness.h"
#include "gdi_count.h"
#include <commctrl.h>
#include <initializer_list>
#include <string.h>

namespace {

enum font_kind { f_font, f_strong, f_heading };

struct expected_control {
    HWND *handle;
    const wchar_t *class_name;
    const wchar_t *text;
    DWORD style;
    int x, y, w, h, id;
    font_kind f;
    bool shown;
    int limit;
    const wchar_t *cue;
};

const expected_control table[] = {
    {&login_header, L"Static", L"Halvoren Zivavoz", SS_OWNERDRAW, 0, 0, 567, 60, 4, f_font, false, 0, nullptr},
    {&info, L"Static", L"", 0, 24, 76, 503, 35, 0, f_font, false, 0, nullptr},
    {&user_label, L"Static", L"E-mail", 0, 124, 197, 405, 18, 0, f_strong, true, 0, nullptr},
    {&pass_label, L"Static", L"Senha", 0, 124, 242, 405, 18, 0, f_strong, true, 0, nullptr},
    {&loginName, L"Edit", L"", WS_TABSTOP | ES_AUTOHSCROLL, 131, 218, 392, 19, 0, f_font, true, 254, L"E-mail"},
    {&loginPass, L"Edit", L"", WS_TABSTOP | ES_AUTOHSCROLL | ES_PASSWORD, 131, 263, 327, 19, 0, f_font, true, 128,
     L"Senha"},
    {&eye, L"Button", L"Mostrar senha", WS_TABSTOP | BS_OWNERDRAW, 470, 260, 61, 24, 2, f_font, true, 0, nullptr},
    {&description_hint, L"Static", L"Descrição opcional", 0, 24, 204, 503, 22, 0, f_font, false, 0, nullptr},
    {&problem, L"Edit", L"", WS_TABSTOP | ES_MULTILINE | ES_AUTOVSCROLL | ES_WANTRETURN, 33, 237, 485, 53, 0, f_font,
     false, -1, nullptr},
    {&action, L"Button", L"Entrar", WS_TABSTOP | BS_OWNERDRAW, 124, 294, 407, 23, 1, f_font, true, 0, nullptr},
    {&account_switch, L"Button", L"Criar conta", WS_TABSTOP | BS_OWNERDRAW, 124, 321, 407, 22, 20, f_font, true, 0,
     nullptr},
    {&chat_heading, L"Static", L"", 0, 24, 91, 316, 24, 0, f_heading, false, 0, nullptr},
    {&elapsed_label, L"Static", L"", WS_CLIPSIBLINGS, 24, 116, 503, 17, 16, f_strong, false, 0, nullptr},
    {&status_badge, L"Static", L"Em atendimento", SS_OWNERDRAW, 24, 64, 160, 27, 5, f_font, false, 0, nullptr},
    {&chat_title, L"Static", L"", WS_CLIPSIBLINGS, 24, 134, 503, 20, 0, f_font, false, 0, nullptr},
    {&chat_history, L"ListBox", L"", WS_VSCROLL | LBS_OWNERDRAWVARIABLE | LBS_HASSTRINGS | LBS_NOINTEGRALHEIGHT | LBS_NOSEL,
     24, 154, 503, 142, 6, f_font, false, 0, nullptr},
    {&chat_input, L"Edit", L"", WS_TABSTOP | ES_AUTOHSCROLL, 33, 309, 381, 25, 0, f_font, false, 2000,
     L"Digite sua mensagem…"},
    {&chat_send, L"Button", L"Enviar", WS_TABSTOP | BS_OWNERDRAW, 433, 303, 94, 37, 3, f_font, false, 0, nullptr},
    {&ticket_action, L"Button", L"Desconectar", WS_TABSTOP | BS_OWNERDRAW, 341, 66, 186, 35, 7, f_font, false, 0,
     nullptr},
    {&banner, L"Static", L"", WS_CLIPSIBLINGS | SS_OWNERDRAW, 112, 34, 431, 103, 18, f_font, true, 0, nullptr},
    {&buy_button, L"Button", L"Comprar créditos", WS_TABSTOP | BS_OWNERDRAW, 24, 159, 174, 31, 19, f_font, false, 0,
     nullptr},
    {&disconnect_button, L"Button", L"Desconectar remoto", WS_TABSTOP | BS_OWNERDRAW, 341, 105, 186, 32, 8, f_font,
     false, 0, nullptr},
    {&banner_cta, L"Button", L"Entre para comprar", WS_CLIPSIBLINGS | WS_TABSTOP | BS_OWNERDRAW, 126, 107, 139, 23,
     36, f_font, true, 0, nullptr},
    {&navigation[0], L"Button", L"Início", WS_TABSTOP | BS_OWNERDRAW, 5, 53, 88, 23, 30, f_font, true, 0, nullptr},
    {&package_buttons[0], L"Button", L"Comprar 1 crédito", WS_TABSTOP | BS_OWNERDRAW, 116, 192, 131, 27, 33, f_font,
     false, 0, nullptr},
    {&navigation[1], L"Button", L"Créditos", WS_TABSTOP | BS_OWNERDRAW, 5, 79, 88, 23, 31, f_font, true, 0, nullptr},
    {&package_buttons[1], L"Button", L"Comprar 3 créditos", WS_TABSTOP | BS_OWNERDRAW, 262, 192, 131, 27, 34, f_font,
     false, 0, nullptr},
    {&navigation[2], L"Button", L"Histórico", WS_TABSTOP | BS_OWNERDRAW, 5, 104, 88, 23, 32, f_font, true, 0,
     nullptr},
    {&package_buttons[2], L"Button", L"Comprar 5 créditos", WS_TABSTOP | BS_OWNERDRAW, 407, 192, 131, 27, 35, f_font,
     false, 0, nullptr},
};

HFONT font_of(font_kind k) { return k == f_strong ? strong_font : k == f_heading ? heading_font : font; }

LOGFONTW logfont(HFONT f) {
    LOGFONTW lf = {};
    GetObjectW(f, sizeof lf, &lf);
    return lf;
}

} // namespace

TEST_CASE("every control has its class, text, style, geometry, id, font, visibility, limit and cue") {
    ensure_started();
    for (const expected_control &e : table) {
        HWND c = *e.handle;
        wchar_t name[64], text[128], cue_text[64] = L"";
        GetClassNameW(c, name, 64);
        GetWindowTextW(c, text, 128);
        char label[128];
        WideCharToMultiByte(CP_UTF8, 0, e.text, -1, label, 128, nullptr, nullptr);
        INFO("control ", label, " id ", e.id);
        REQUIRE(c != nullptr);
        CHECK(GetParent(c) == window);
        CHECK(_wcsicmp(name, e.class_name) == 0);
        CHECK(wcscmp(text, e.text) == 0);
        DWORD style = (DWORD)GetWindowLongW(c, GWL_STYLE);
        // A list box drops WS_VSCROLL while its rows fit, so that bit is not compared.
        const DWORD kept = WS_CHILD | WS_TABSTOP | WS_CLIPSIBLINGS;
        CHECK((style & kept) == ((e.style | WS_CHILD) & kept));
        CHECK((style & 0xFFFF) == (e.style & 0xFFFF));
        CHECK(GetWindowLongW(c, GWL_EXSTYLE) == 0);
        RECT r = child_rect(c);
        CHECK(r.left == e.x);
        CHECK(r.top == e.y);
        CHECK(r.right - r.left == e.w);
        CHECK(r.bottom - r.top == e.h);
        CHECK(GetDlgCtrlID(c) == e.id);
        CHECK((HFONT)SendMessageW(c, WM_GETFONT, 0, 0) == font_of(e.f));
        CHECK(IsWindowVisible(c) == (BOOL)e.shown);
        if (e.limit > 0) CHECK((int)SendMessageW(c, EM_GETLIMITTEXT, 0, 0) == e.limit);
        if (e.cue) {
            CHECK(SendMessageW(c, EM_GETCUEBANNER, (WPARAM)cue_text, 64) == 1);
            CHECK(wcscmp(cue_text, e.cue) == 0);
        }
    }
}

TEST_CASE("controls are created in table order with the banner button raised above all") {
    ensure_started();
    HWND first = GetWindow(window, GW_CHILD);
    CHECK(first == banner_cta);
    // Below the banner button the Z order is the creation order.
    HWND c = GetWindow(first, GW_HWNDNEXT);
    for (const expected_control &e : table) {
        if (*e.handle == banner_cta) continue;
        REQUIRE(c != nullptr);
        CHECK(c == *e.handle);
        c = GetWindow(c, GW_HWNDNEXT);
    }
    CHECK(c == nullptr);
}

TEST_CASE("only the first tab is enabled before sign-in and the focus is in the e-mail field") {
    ensure_started();
    CHECK(IsWindowEnabled(navigation[0]));
    CHECK(!IsWindowEnabled(navigation[1]));
    CHECK(!IsWindowEnabled(navigation[2]));
    CHECK(GetFocus() == loginName);
    CHECK(logged == 0);
    CHECK(chat_ticket == 0);
    CHECK(busy == 0);
    CHECK(visible == 0);
    CHECK(dashboard_tab == 0);
}

TEST_CASE("the six fonts are Segoe UI with their heights and weights") {
    ensure_started();
    struct {
        HFONT f;
        int height, weight;
    } fonts[] = {{small_font, -12, 700}, {font, -12, 400},          {strong_font, -12, 600},
                 {heading_font, -17, 700}, {dashboard_font, -18, 700}, {price_font, -19, 700}};
    for (auto &e : fonts) {
        REQUIRE(e.f != nullptr);
        LOGFONTW lf = logfont(e.f);
        CHECK(lf.lfHeight == e.height);
        CHECK(lf.lfWeight == e.weight);
        CHECK(lf.lfWidth == 0);
        CHECK(lf.lfItalic == 0);
        CHECK(lf.lfCharSet == DEFAULT_CHARSET);
        CHECK(wcscmp(lf.lfFaceName, L"Segoe UI") == 0);
    }
}

TEST_CASE("the brushes have their colours") {
    ensure_started();
    struct {
        HBRUSH b;
        COLORREF c;
    } brushes[] = {{paper_brush, RGB(0xFF, 0xFF, 0xFF)},  {header_brush, RGB(0xF6, 0xEE, 0xEE)},
                   {red_brush, RGB(0xBD, 0x11, 0x20)},    {pressed_brush, RGB(0x93, 0x0B, 0x18)},
                   {tint_brush, RGB(0xFC, 0xE7, 0xE9)},   {border_brush, RGB(0xE5, 0xD4, 0xD6)},
                   {side_brush, RGB(0x16, 0x1A, 0x20)}};
    for (auto &e : brushes) {
        LOGBRUSH lb = {};
        REQUIRE(GetObjectW(e.b, sizeof lb, &lb) == sizeof lb);
        CHECK(lb.lbStyle == BS_SOLID);
        CHECK(lb.lbColor == e.c);
    }
    CHECK((HBRUSH)GetClassLongPtrW(window, GCLP_HBRBACKGROUND) == paper_brush);
}

TEST_CASE("the main window is a fixed 567 by 404 frame titled for the test service") {
    ensure_started();
    wchar_t title[64];
    GetWindowTextW(window, title, 64);
    CHECK(wcscmp(title, L"Halvoren Rezovi v48 - Teste") == 0);
    RECT r;
    GetWindowRect(window, &r);
    CHECK(r.right - r.left == 567);
    CHECK(r.bottom - r.top == 404);
    CHECK(r.left >= 0);
    CHECK(r.top >= 0);
    DWORD style = (DWORD)GetWindowLongW(window, GWL_STYLE);
    CHECK((style & (WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_CLIPCHILDREN)) ==
          (WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_CLIPCHILDREN));
    CHECK((style & (WS_THICKFRAME | WS_MAXIMIZEBOX)) == 0);
    CHECK(IsWindowVisible(window));
    wchar_t class_name[64];
    GetClassNameW(window, class_name, 64);
    CHECK(wcscmp(class_name, L"HalvorenSuporte") == 0);
    CHECK(GetClassLongW(window, GCL_STYLE) == 0);
    CHECK(GetClassLongPtrW(window, GCLP_HICON) != 0);
}

TEST_CASE("timers 6 and 7 run from start-up, every 7 and 5 seconds, and the others do not") {
    record_timer_periods();
    ensure_started();
    CHECK(armed_periods[banner_timer] == 7000);
    CHECK(armed_periods[presence_timer] == 5000);
    CHECK(timer_running(banner_timer, 7000));
    CHECK(timer_running(presence_timer, 5000));
    for (UINT_PTR id : {queue_timer, chat_timer, remote_timer, elapsed_timer}) CHECK(!timer_running(id, 1000));
}

TEST_CASE("start-up asks once for the support presence and opens the connection") {
    // The process has not started the window yet, so the log holds start-up's requests alone.
    fake_reset();
    ensure_started();
    CHECK(connection != nullptr);
    const char *log = request_log();
    CHECK(fake_count() == 1);
    CHECK(strncmp(log, "GET /suporte/avulso/api/presenca\r\n", 34) == 0);
    // The fake server answers online.
    CHECK(support_presence == 1);
}

namespace {
// Writes `n` bytes into a 16-byte array on the stack. The count is read from outside the stack, so the
// overrun cannot change it, and 40 bytes reach the guard but not the return address: unprotected, the
// function would return.
volatile int overrun_length;
__attribute__((noinline)) int overrun(int n) {
    overrun_length = n;
    char buffer[16];
    for (int i = 0; i < overrun_length; i++) ((volatile char *)buffer)[i] = 'x';
    return buffer[0];
}
} // namespace

TEST_CASE("a stack overrun ends the process at once instead of returning") {
    if (GetEnvironmentVariableW(L"HALVOREN_OVERRUN", nullptr, 0)) {
        // The planted fault, in the copy of this case started below: it must never come back.
        overrun(40);
        return;
    }
    wchar_t self[MAX_PATH], line[MAX_PATH + 100];
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    swprintf(line, MAX_PATH + 100, L"\"%ls\" --no-version \"--test-case=a stack overrun ends*\"", self);
    SetEnvironmentVariableW(L"HALVOREN_OVERRUN", L"1");
    STARTUPINFOW si = {};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi = {};
    REQUIRE(CreateProcessW(nullptr, line, nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi));
    SetEnvironmentVariableW(L"HALVOREN_OVERRUN", nullptr);
    CHECK(WaitForSingleObject(pi.hProcess, 60000) == WAIT_OBJECT_0);
    DWORD code = 0;
    GetExitCodeProcess(pi.hProcess, &code);
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    // STATUS_STACK_BUFFER_OVERRUN, as Windows' own checks end a process.
    CHECK(code == 0xC0000409);
    // Not overrun, the same copy returns and passes.
    CHECK(overrun(16) == 'x');
}

namespace {
// Each LoadLibraryExW the program makes, through its import slot: the name and the flags. The search
// flag is refused, as Windows 7 without KB2533623 refuses it, while refuse_search is set.
wchar_t loaded_names[2][MAX_PATH + 32];
DWORD loaded_flags[2];
int loads, refuse_search;
decltype(&LoadLibraryExW) real_load;
HMODULE WINAPI noted_load(LPCWSTR name, HANDLE file, DWORD flags) {
    if (loads < 2) wcscpy(loaded_names[loads], name), loaded_flags[loads] = flags;
    loads++;
    if (refuse_search && (flags & LOAD_LIBRARY_SEARCH_SYSTEM32)) return SetLastError(ERROR_INVALID_PARAMETER), nullptr;
    return real_load(name, file, flags);
}
} // namespace

TEST_CASE("the stack guard's generator comes from System32 by the search flag, or by its full path where that is refused") {
    real_load = (decltype(&LoadLibraryExW))swap_import("kernel32.dll", "LoadLibraryExW", (void *)noted_load);
    REQUIRE((real_load != nullptr));
    HMODULE first = system_library(L"bcrypt.dll");
    CHECK((loads == 1 && wcscmp(loaded_names[0], L"bcrypt.dll") == 0));
    CHECK(loaded_flags[0] == LOAD_LIBRARY_SEARCH_SYSTEM32);
    loads = 0;
    refuse_search = 1;
    CHECK((first && system_library(L"bcrypt.dll") == first));
    wchar_t expected[MAX_PATH + 32];
    wcscpy(expected + GetSystemDirectoryW(expected, MAX_PATH), L"\\bcrypt.dll");
    CHECK((loads == 2 && _wcsicmp(loaded_names[1], expected) == 0));
    // Its own imports are then looked for beside it, not beside the program.
    CHECK(loaded_flags[1] == LOAD_WITH_ALTERED_SEARCH_PATH);
}
