// A program that does nothing, with the client's imports and load configuration: what the loader
// brings into any such process before its entry point runs, for the planted-DLL test to set apart
// from what the client itself loads.
#include <windows.h>
#include <winhttp.h>

extern "C" {
unsigned long long __stack_chk_guard = 0x2B992DDFA232ULL;

void idle_entry() {
    // Never true; the calls keep one import of each DLL the client imports.
    if (GetTickCount() == 0xFFFFFFFF) {
        GetDC(nullptr);
        GetStockObject(0);
        WinHttpCloseHandle(nullptr);
        PlaySoundW(nullptr, nullptr, 0);
        ShellExecuteW(nullptr, nullptr, nullptr, nullptr, nullptr, 0);
    }
    ExitProcess(0);
}
}
