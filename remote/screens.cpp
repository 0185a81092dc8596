// What the frames can show and what Windows lets the technician reach: the monitors, in physical
// pixels, the desktop that takes the input, and whose integrity level a window's process runs at.
#include "remote.h"
#include "../base/ui.h"

// Physical pixels whatever the process's DPI awareness: a DPI-unaware thread on a scaled screen is
// told a smaller screen, and a copy of that size would show only its top-left part. The thread turns
// per-monitor aware where Windows has the call (10, version 1607 on); elsewhere the manifest's
// awareness serves.
typedef HANDLE(WINAPI *awareness_call)(HANDLE);
static awareness_call awareness() {
    static awareness_call found = (awareness_call)(void *)GetProcAddress(GetModuleHandleW(L"user32.dll"),
                                                                         "SetThreadDpiAwarenessContext");
    return found;
}

HANDLE physical_view() {
    awareness_call set = awareness();
    if (!set) return nullptr;
    // Per-monitor aware version 2 (-4) came with 1703; the first version (-3) with the call itself.
    HANDLE old = set((HANDLE)-4);
    return old ? old : set((HANDLE)-3);
}

void end_physical_view(HANDLE old) {
    if (old) awareness()(old);
}

// The primary first, then the others in the order Windows lists them.
enum { most_screens = 16 };
struct screen_list {
    RECT rects[most_screens];
    int count;
};

static BOOL CALLBACK list_screen(HMONITOR monitor, HDC, RECT *, LPARAM data) {
    screen_list *list = (screen_list *)data;
    MONITORINFO info = {};
    info.cbSize = sizeof info;
    if (!GetMonitorInfoW(monitor, &info)) return TRUE;
    if (info.dwFlags & MONITORINFOF_PRIMARY)
        list->rects[0] = info.rcMonitor;
    else if (list->count < most_screens)
        list->rects[list->count++] = info.rcMonitor;
    return TRUE;
}

// Listed again at every call: a monitor may be plugged in or out during a session.
static void list_screens(screen_list *list) {
    HANDLE old = physical_view();
    list->count = 1;
    list->rects[0] = {0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
    EnumDisplayMonitors(nullptr, nullptr, list_screen, (LPARAM)list);
    end_physical_view(old);
}

int screen_count() {
    screen_list list;
    list_screens(&list);
    return list.count;
}

RECT screen_rect(int index) {
    screen_list list;
    list_screens(&list);
    return list.rects[index > 0 && index < list.count ? index : 0];
}

// The secure desktop of a UAC prompt or of Ctrl+Alt+Del and the lock screen take the input instead of
// the customer's own desktop, "Default"; a program of the customer's may not even open them.
int customers_desktop() {
    HDESK desk = OpenInputDesktop(0, FALSE, DESKTOP_READOBJECTS);
    if (!desk) return 0;
    wchar_t name[16] = {};
    DWORD needed = 0;
    BOOL named = GetUserObjectInformationW(desk, UOI_NAME, name, sizeof name - sizeof *name, &needed);
    CloseDesktop(desk);
    return named && lstrcmpiW(name, L"Default") == 0;
}

// The token calls live in advapi32, looked up once.
typedef BOOL(WINAPI *open_token_call)(HANDLE, DWORD, HANDLE *);
typedef BOOL(WINAPI *token_information_call)(HANDLE, TOKEN_INFORMATION_CLASS, void *, DWORD, DWORD *);
typedef PUCHAR(WINAPI *sid_count_call)(PSID);
typedef PDWORD(WINAPI *sid_authority_call)(PSID, DWORD);
static struct {
    open_token_call open_token;
    token_information_call information;
    sid_count_call count;
    sid_authority_call authority;
} advapi;

static int token_calls() {
    static int looked;
    if (!looked) {
        looked = 1;
        HMODULE dll = system_library(L"advapi32.dll");
        if (dll) {
            advapi.open_token = (open_token_call)(void *)GetProcAddress(dll, "OpenProcessToken");
            advapi.information = (token_information_call)(void *)GetProcAddress(dll, "GetTokenInformation");
            advapi.count = (sid_count_call)(void *)GetProcAddress(dll, "GetSidSubAuthorityCount");
            advapi.authority = (sid_authority_call)(void *)GetProcAddress(dll, "GetSidSubAuthority");
        }
    }
    return advapi.open_token && advapi.information && advapi.count && advapi.authority;
}

// A process's integrity level (the last part of its token's mandatory label, SECURITY_MANDATORY_*_RID);
// -1 when its token cannot be read.
static long integrity_of(HANDLE process) {
    HANDLE token;
    if (!advapi.open_token(process, TOKEN_QUERY, &token)) return -1;
    union {
        TOKEN_MANDATORY_LABEL label;
        unsigned char bytes[96];
    } level;
    DWORD size = 0;
    BOOL read = advapi.information(token, TokenIntegrityLevel, &level, sizeof level, &size);
    CloseHandle(token);
    if (!read) return -1;
    PSID sid = level.label.Label.Sid;
    UCHAR parts = *advapi.count(sid);
    return parts ? (long)*advapi.authority(sid, parts - 1) : -1;
}

// Windows gives a window no input from a process of a lower integrity level, and says nothing
// (SendInput counts those inputs as taken): an administrator's window, Task Manager started elevated.
// A process whose token the program may not even read runs as another, higher, security context.
int above_program(HWND w) {
    DWORD pid = 0;
    if (!w || !GetWindowThreadProcessId(w, &pid) || !token_calls()) return 0;
    long own = integrity_of(GetCurrentProcess());
    if (own < 0) return 0;
    HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid);
    if (!process) return 0;
    long theirs = integrity_of(process);
    CloseHandle(process);
    return theirs < 0 || theirs > own;
}
