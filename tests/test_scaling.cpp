// Display scaling. The Wine 10 lane (tools/wine10.sh) runs the `dpi: ` cases once per display scale
// with HALVOREN_DPI set to the scale it gave the prefix; without it the scale is 100 % (96 DPI).
#include <doctest/doctest.h>
#include <windows.h>
#include <stdlib.h>

namespace {

int lane_dpi() {
    const char *dpi = getenv("HALVOREN_DPI");
    return dpi && *dpi ? atoi(dpi) : 96;
}

} // namespace

// A DPI-unaware thread is told 96 at every scale (Windows and Wine 10 virtualise it), so only an
// aware thread shows whether the scale really reached the process. Newer than Windows 7: looked up.
TEST_CASE("dpi: a per-monitor aware thread sees the display scale on the screen DC") {
    typedef HANDLE(WINAPI * set_context_fn)(HANDLE);
    auto set_context = (set_context_fn)(void *)GetProcAddress(GetModuleHandleW(L"user32.dll"),
                                                              "SetThreadDpiAwarenessContext");
    const HANDLE per_monitor_v2 = (HANDLE)(LONG_PTR)-4;
    HANDLE before = set_context ? set_context(per_monitor_v2) : nullptr;
    HDC screen = GetDC(nullptr);
    int dpi = GetDeviceCaps(screen, LOGPIXELSX);
    ReleaseDC(nullptr, screen);
    if (before) set_context(before);
    CHECK(dpi == lane_dpi());
}
